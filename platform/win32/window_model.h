// The headless window: what the Win32 calls of win_api.h did to the program's windows and controls,
// kept so that tests (and a terminal user) can see it. Each control is keyed by its control id and
// keeps its class, text, enabled and checked state; the main window keeps the status line, the
// error line, the values its status area paints and the texts it drew in its last paint (WM_PAINT).
// The status and error lines are printed to standard output when they change.
//
// Thread-safe: every member takes the model's own mutex (innermost; never held while calling the
// program). Writers are the window thread and, through the Win32 calls, any thread.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "win32/win_types.h"

namespace win32 {

struct ControlState {
    int id = 0;
    HWND hwnd = nullptr;
    std::string className;  // as given to CreateWindowExW, e.g. "BUTTON", "EDIT", "STATIC"
    std::string text;       // UTF-8
    bool enabled = true;
    bool checked = false;
    DWORD style = 0;
    DWORD exStyle = 0;
};

// One text a window drew while it painted: its box in client coordinates, the text, its colour.
struct DrawnText {
    int left = 0, top = 0, right = 0, bottom = 0;
    std::string text;  // UTF-8
    DWORD colour = 0;  // 0x00BBGGRR
};

class WindowModel {
public:
    // Controls of every window, by control id (the first created wins on a duplicate id).
    std::optional<ControlState> control(int id) const;
    std::vector<ControlState> controls() const;
    bool enabled(int id) const;    // false for an unknown id
    bool checked(int id) const;    // false for an unknown id
    std::string text(int id) const;  // empty for an unknown id
    std::string windowTitle() const;  // text of the first top-level window
    HWND mainWindow() const;          // the first top-level window, null before one exists

    // Status area. The program's status and error line writers call these off Windows.
    void setStatusLine(std::string text);
    std::string statusLine() const;
    void setErrorLine(std::string text);
    std::string errorLine() const;
    std::vector<std::string> statusHistory() const;  // every distinct change, oldest first
    std::vector<std::string> errorHistory() const;
    // A value the status area paints (a count, an indicator, a name), by the program's own key.
    void setPainted(const std::string& key, std::string value);
    std::optional<std::string> painted(const std::string& key) const;
    std::map<std::string, std::string> paintedValues() const;
    int invalidations() const;  // InvalidateRect calls so far
    // What the main window drew in its last paint (BeginPaint to EndPaint), in drawing order.
    std::vector<DrawnText> drawnTexts() const;

    // Echo of status and error line changes to standard output (on by default).
    void setEcho(bool on);

    // Waits until cond() holds, re-checking after every change of the model; false on timeout.
    bool waitFor(const std::function<bool(const WindowModel&)>& cond,
                 std::chrono::milliseconds timeout) const;

    // Timer resolution requests in force (timeBeginPeriod minus timeEndPeriod).
    int timerPeriodDepth() const;

    // Forgets every window, control, line, painted value and queued message (tests).
    void reset();
};

WindowModel& windowModel();

}  // namespace win32
