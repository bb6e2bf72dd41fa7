// The painted status area of the main window: the status and error lines across the window's
// foot, and the values the program repaints (stands, publisher, quality, parked traffic, add-on
// airports, flight, user aircraft and stand, selected aircraft) in the column below the buttons.
// The lines are composed from the painted values everywhere (tests read them); only Windows draws
// them, on WM_PAINT.
//
// Threads: the window thread.
#pragma once

#include <string>
#include <vector>

#include "win32/win_types.h"

struct PaintedValues;

enum class PaintTone { Normal, Error, Warning, Success };

struct PaintedLine {
    std::string text;
    PaintTone tone = PaintTone::Normal;
};

// The value column, top to bottom; a value not known yet gives an empty line that keeps its place.
std::vector<PaintedLine> gf_paintedValueLines(const PaintedValues& values);

// Paints the status area of the window (WM_PAINT). Windows only; elsewhere the headless window
// model keeps the same values and nothing is drawn.
void gf_paintStatusArea(HWND window);
