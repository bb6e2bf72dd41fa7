// Shared inner state of the headless Win32 layer: the hooks between the window registry
// (window_model.cpp) and the message queue (win_api.cpp). Not for the program's use.
//
// Thread-safe; each side guards its own state with its own mutex and never calls the other's
// hooks while holding it.
#pragma once

#ifndef _WIN32

#include <atomic>
#include <string>
#include <string_view>

#include "win32/win_api.h"

namespace win32 {

// Window procedure of the window's class; null for unknown windows and plain controls.
WNDPROC gf_windowProcOf(HWND hWnd);
// Posts WM_PAINT for the window unless one is already waiting.
void gf_postPaintOnce(HWND hWnd);
// Drops every queued message (WindowModel::reset).
void gf_clearQueue();
// Whether a WM_PAINT for the window waits in the queue; gf_takePaint also removes it.
bool gf_paintPending(HWND hWnd);
bool gf_takePaint(HWND hWnd);
// Timer resolution requests in force.
extern std::atomic<int> g_timerPeriodDepth;
// UTF-8 <-> wide text (UTF-32 off Windows); invalid input becomes U+FFFD, never an error, since
// the Win32 calls cannot report one.
std::string gf_wideToUtf8(const wchar_t* text);
std::wstring gf_utf8ToWide(std::string_view text);
// Called by the model on every change, so waitFor() re-checks.
void gf_notifyModelChanged();

}  // namespace win32

#endif
