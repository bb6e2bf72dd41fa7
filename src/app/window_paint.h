// The painted status area of the main window: the status and error lines across the window's
// foot, and the values the program repaints (stands, publisher, quality, parked traffic, add-on
// airports, flight, user aircraft and stand, selected aircraft) in the column below the buttons.
// The same painter runs everywhere: on Windows it draws with GDI, off Windows the headless layer
// keeps what was drawn (win32::WindowModel::drawnTexts).
//
// Threads: the window thread.
#pragma once

#include <string>
#include <vector>

#include "win32/win_api.h"

struct PaintedValues;

enum class PaintTone { Normal, Error, Warning, Success };

struct PaintedLine {
    std::string text;
    PaintTone tone = PaintTone::Normal;
};

// A line of the status area in its place: its box in client coordinates and its DrawText format.
struct PlacedLine {
    PaintedLine line;
    RECT box{};
    UINT format = 0;
};

// The value column, top to bottom; a value not known yet gives an empty line that keeps its place.
std::vector<PaintedLine> gf_paintedValueLines(const PaintedValues& values);
// Every line of the status area in its place: the value column, then the status and error lines.
std::vector<PlacedLine> gf_statusAreaLines(const PaintedValues& values);
// The colour a tone is drawn in.
COLORREF gf_toneColour(PaintTone tone);

// Paints the status area into the device context: the window's own in WM_PAINT, or the one a
// WM_PRINTCLIENT names.
void gf_paintStatusArea(HDC dc);
