// The window model: what the main window shows and what its controls hold, kept apart from the
// window itself so that the headless build and the tests read the same values the Windows window
// paints. Owns the range values of the traffic query (read by the traffic readers), the live limit
// used outside a parking file, and the painted values that the simulator link and the parking code
// set (guarded by the painted mutex; each change asks for a repaint of the status area). The
// controls are driven from the window thread and the start-up thread; the painted values are set
// from the main loop and the simulator thread. The window's command handlers live with the frame
// (app/window_commands.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "win32/win_types.h"

class CheckBoxParameter;
class IntBoxParameter;
class FloatBoxParameter;
class TextBoxParameter;
class GuiControl;

// The main window (headless off Windows). Set once on the window thread; the signal watcher and
// other threads read it.
extern std::atomic<HWND> g_hWnd;

// Current lateral range of the traffic query in nautical miles; the traffic readers query this range.
extern std::atomic<double> g_rangeNm;
// AUTO_RANGE on and the current lateral range exactly 10 nm.
extern std::atomic<bool> g_autoRangeGround;
// The LATERAL_RANGE value set aside while AUTO_RANGE is on. Written by the window thread (the check
// box), the start-up thread (settings loaded) and the main loop (a parking file's AUTO_RANGE).
extern std::atomic<std::int32_t> g_manualLateralRange;
// The live-aircraft limit used while no parking file is loaded (equal to MAX_LIVE then).
extern std::atomic<std::int32_t> g_maxLiveOutsidePark;
// True until the first successful simulator connection (cleared by the simulator client).
extern std::atomic<bool> g_notYetConnected;

// Enables or disables one control of the window.
void gf_enableControl(const GuiControl& control, bool enable);
// Write the setting's current value into its edit box ("{}" for whole numbers) and repaint.
void gf_showTextOption(const TextBoxParameter& setting);
void gf_showIntOption(const IntBoxParameter& setting);
void gf_showFloatOption(const FloatBoxParameter& setting);
// Stores the value in the setting (saved at once) and sets the box's check state.
void gf_setCheckBox(CheckBoxParameter& setting, bool value);
// Shows every setting's current value in its control (after the settings are loaded).
void gf_showAllOptions();
// Enables or disables the parked-traffic option controls according to RT_PARKTRAFFIC_ONLY.
void gf_enableParkControls();
// LATERAL_RANGE := value clamped, g_rangeNm := that value, g_rangeMeters := value * 1852 + 10000.
void gf_setLateralRange(std::int32_t value);

// What gf_updateAutoRange needs to know of the user aircraft and the park airport.
struct AutoRangeInput {
    bool onGround = true;
    double heightAboveGroundFt = 0.0;
    bool parkAirportSet = false;
    double parkAirportDistanceNm = 0.0;
};
// With AUTO_RANGE on, chooses the lateral range from the user's height and the park airport's
// distance (gf_chooseAutoRange) and shows it; with it off, only clears g_autoRangeGround.
void gf_updateAutoRange(const AutoRangeInput& input);
// The range gf_updateAutoRange chooses: 10 on the ground, 40 below 10000 ft above ground, else 100;
// when a park airport is set and its distance + 3 exceeds that choice, the distance + 3.
double gf_chooseAutoRange(const AutoRangeInput& input);

// Values the window paints (status area), set by the frame, the simulator link and the parking code.
struct PaintedValues {
    std::string statusLine;
    std::string errorLine;
    int standCount = 0;               // stands of the park airport
    std::string publisherText;        // publisher line
    bool publisherWarning = false;    // warning colour instead of success colour
    std::string qualityText;
    bool handmadeMark = false;
    bool reservedStandMark = false;
    bool planMark = false;
    int parkedCount = 0;              // wanted parked aircraft (gf_wantedParkedCount), 0 without stands
    int liveCount = 0;                // live aircraft placed in the simulator
    int liveParkedCount = 0;          // of them parked at a stand (gf_countLiveParked)
    int staticParkedCount = 0;        // static parked aircraft in the simulator (gf_countStaticParked)
    double avgParkHoursLive = 0.0;    // g_avgParkHoursLive
    double avgParkHoursStatic = 0.0;  // g_avgParkHoursStatic
    double realFitOffset = 0.0;       // g_realFitOffset
    double fitOffset = 0.0;           // g_fitOffset
    int softPlanned = 0;              // g_softPlanned: the last soft plan found stands (0 or 1)
    std::string tbloText;             // "{} airport{} in {} folder"
    bool flightIndicator = false;
    std::string userAcText;
    std::string userStandText;
    bool spanKnown = false;
    std::string selectedText;         // g_selectedText
    // Enable states of controls the program switches itself.
    bool flushStaticEnabled = true;
    bool parkingPercentageEnabled = true;
    bool lateralRangeEnabled = true;
    bool destinationEnabled = true;
    bool learnSoftEnabled = true;
    bool parkControlsEnabled = true;
    bool controlsEnabled = false;     // settings controls (disabled until the start-up enables them)
};

// Applies a change to the painted values under the painted mutex and repaints the status area.
void gf_updatePainted(const std::function<void(PaintedValues&)>& change);
// A copy of the painted values (window painter, tests).
PaintedValues gf_paintedValues();
// Resets every painted value except the status and error lines (exit).
void gf_resetPainted();

// Enables or disables every settings control and button of the window (start-up enables them once
// the folders and lists are ready; they stay disabled while the start-up works).
void gf_enableAllControls(bool enable);
