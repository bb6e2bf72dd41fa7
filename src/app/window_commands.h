// The window's commands: the handlers of the settings controls and buttons that ask something of
// the subsystems. They run on the window thread; what they ask of the simulator link and the
// parking code touches main-loop state, so it is queued and run by the main loop at its next wake
// (gf_runWindowCommands).
#pragma once

#include <cstdint>
#include <string>

// Main loop: runs the queued window commands in order.
void gf_runWindowCommands();

// "Flush static" pressed: a pending request taken by the main loop's per-second work.
void gf_requestFlushStatic();
bool gf_takeFlushStaticRequest();
// MAX_LIVE box changed.
void gf_onMaxLiveChanged(std::int32_t value);
// AUTO_RANGE switched.
void gf_onAutoRangeChanged(bool on);
// LATERAL_RANGE box changed by the user.
void gf_onLateralRangeChanged(std::int32_t value);
// Destination text entered ("New destination: {}").
void gf_onNewDestination(const std::string& icao);
// Navigation-lights option switched.
void gf_onNavLightsChanged(bool on);
// Rescan of add-on airports requested.
void gf_onRescanAirports();
// Re-read of the park-airport list requested.
void gf_onRereadParkAirports();
// Any parking setting changed while a parking file is loaded.
void gf_onParkingSettingChanged();
