// The program's entry: single-instance guard, log, window, and the window's own messages
// WM_APP+1 (start the start-up thread) and WM_APP+2 (save the window position and quit).
// Runs on the window thread.
#pragma once

#include "win32/win_api.h"

class GuiControl;

inline constexpr UINT g_msgStartUp = WM_APP + 1;  // 0x8001
inline constexpr UINT g_msgQuit = WM_APP + 2;     // 0x8002

// The whole program: -1 when another instance runs, else the message loop's exit code.
int gf_runTavix();
// Creates the main window and its controls (headless off Windows).
bool initInstance();
// The id of the label beside an edit box.
int gf_labelId(const GuiControl& editBox);
// One message of the window thread's loop to its window: the keyboard's dialog navigation, then
// the window procedure.
void gf_dispatchWindowMessage(const MSG& msg);
// The window procedure's handling of the program's own messages; true when handled.
bool gf_handleAppMessage(UINT message);
