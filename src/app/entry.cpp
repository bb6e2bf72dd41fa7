// The program's entry and its window: the single-instance guard, the log, the main window with one
// control per window setting (each edit box with its setting's name beside it), and the message
// loop. WM_APP+1 starts the start-up thread (also for an in-process restart), WM_APP+2 saves the
// window position and quits. Control notifications (WM_COMMAND) apply a changed setting at once and
// save it; an edit box's text is taken when it loses the focus (Tab, Enter, a click elsewhere).
// Everything here runs on the window thread.
#include "app/entry.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <curl/curl.h>

#include "app/exit.h"
#include "app/main_loop.h"
#include "app/real_subsystems.h"
#include "app/startup.h"
#include "app/window_commands.h"
#include "app/window_layout.h"
#include "app/window_paint.h"
#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/runtime_texts.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "frame/exit_request.h"
#include "frame/server_files.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "win32/win_api.h"

namespace {

constexpr const wchar_t* g_windowClass = L"TavixWindow";
constexpr const wchar_t* g_instanceMutexName = L"Local\\$Tavix$";
constexpr DWORD g_windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

WORD lf_loWord(WPARAM value)
{
    return static_cast<WORD>(value & 0xFFFF);
}

WORD lf_hiWord(WPARAM value)
{
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}

std::string lf_controlText(int controlId)
{
    wchar_t buffer[256] = {};
    GetDlgItemTextW(g_hWnd, controlId, buffer, 256);
    return win32::wideToUtf8(buffer);
}

// A child window in its box, with the dialog font.
HWND lf_createChild(const wchar_t* className, const std::string& text, DWORD style, const RECT& box, int id,
                    DWORD exStyle = 0)
{
    HWND hwnd = CreateWindowExW(exStyle, className, win32::utf8ToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                box.left, box.top, box.right - box.left, box.bottom - box.top, g_hWnd,
                                reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, nullptr);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return hwnd;
}

void lf_createControl(GuiControl& control, const wchar_t* className, const std::string& text, DWORD style,
                      const RECT& box, DWORD exStyle = 0)
{
    HWND hwnd = lf_createChild(className, text, style | WS_TABSTOP, box, control.controlId(), exStyle);
    control.setHwnd(hwnd);
    EnableWindow(hwnd, FALSE);  // the start-up enables the controls once it is ready
}

void lf_createControls()
{
    using namespace window_layout;
    for (Parameter* parameter : gf_allParameters()) {
        GuiControl* control = parameter->control();
        if (control == nullptr)
            continue;
        const int row = control->row();
        if (auto* box = dynamic_cast<CheckBoxParameter*>(parameter)) {
            lf_createControl(*control, L"BUTTON", box->key(), BS_AUTOCHECKBOX,
                             gf_controlBox(g_checkX, g_checkWidth, row));
        } else if (auto* button = dynamic_cast<ButtonParameter*>(parameter)) {
            lf_createControl(*control, L"BUTTON", button->label(), BS_PUSHBUTTON,
                             gf_controlBox(g_buttonX, g_buttonWidth, row));
        } else {
            lf_createChild(L"STATIC", parameter->key(), SS_LEFT | SS_CENTERIMAGE,
                           gf_controlBox(g_labelX, g_labelWidth, row), gf_labelId(*control));
            lf_createControl(*control, L"EDIT", "", ES_AUTOHSCROLL, gf_controlBox(g_editX, g_editWidth, row),
                             WS_EX_CLIENTEDGE);
        }
    }
    gf_showAllOptions();
}

// WINDOW_X and WINDOW_Y := the window's place on the screen; a minimised window's place when it
// is shown again, not the parking place Windows gives it meanwhile.
void lf_keepWindowPosition()
{
    RECT place{};
    if (IsIconic(g_hWnd)) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        if (!GetWindowPlacement(g_hWnd, &placement))
            return;
        place = placement.rcNormalPosition;
    } else if (!GetWindowRect(g_hWnd, &place)) {
        return;
    }
    g_optWindowX.setClamped(place.left);
    g_optWindowY.setClamped(place.top);
}

// A check box was clicked: take its state into the setting, save it and act on it.
void lf_onCheckBox(CheckBoxParameter& box)
{
    const bool on = IsDlgButtonChecked(g_hWnd, box.controlId()) == BST_CHECKED;
    if (&box == &g_optAutoRange) {
        gf_onAutoRangeChanged(on);
        return;
    }
    if (&box == &g_optNavLightsWhileParked) {
        gf_onNavLightsChanged(on);
        return;
    }
    gf_setCheckBox(box, on);
    if (&box == &g_optRtParktrafficOnly) {
        gf_enableParkControls();
        if (on)
            gf_requestRenew();
    }
    gf_onParkingSettingChanged();
}

// An edit box lost the focus: take its text into the setting (clamped), save it and show the result.
void lf_onEditBox(Parameter& parameter)
{
    const int id = parameter.control()->controlId();
    const std::string text = lf_controlText(id);
    if (auto* box = dynamic_cast<TextBoxParameter*>(&parameter)) {
        if (box->value() == text)
            return;
        if (box == &g_optDestination) {
            gf_onNewDestination(text);
            return;
        }
        box->set(text);
        box->save();
        return;
    }
    try {
        if (auto* box = dynamic_cast<FloatBoxParameter*>(&parameter)) {
            box->setClamped(tvx::stod(text));
            box->save();
            gf_showFloatOption(*box);
        } else if (auto* box = dynamic_cast<IntBoxParameter*>(&parameter)) {
            std::size_t used = 0;
            const long long parsed = std::stoll(text, &used);
            if (text.find_first_not_of(' ', used) != std::string::npos)
                throw std::invalid_argument("not a whole number");
            const auto value = static_cast<std::int32_t>(std::clamp<long long>(parsed, INT32_MIN, INT32_MAX));
            if (box == &g_optMaxLive)
                gf_onMaxLiveChanged(value);
            else if (box == &g_optLateralRange)
                gf_onLateralRangeChanged(value);
            else {
                box->setClamped(value);
                box->save();
            }
            gf_showIntOption(*box);
        }
        gf_onParkingSettingChanged();
    } catch (const std::exception&) {
        // Not a number: the box shows the current value again.
        if (auto* box = dynamic_cast<IntBoxParameter*>(&parameter))
            gf_showIntOption(*box);
        else if (auto* box = dynamic_cast<FloatBoxParameter*>(&parameter))
            gf_showFloatOption(*box);
    }
}

void lf_onCommand(WPARAM wParam)
{
    const int id = lf_loWord(wParam);
    const WORD code = lf_hiWord(wParam);
    if (id == IDOK) {
        SetFocus(g_hWnd);  // Enter: the edit box with the focus takes its text
        return;
    }
    if (id == g_btnFlushStatic.controlId())
        return gf_requestFlushStatic();
    if (id == g_btnRescanAirports.controlId())
        return gf_onRescanAirports();
    if (id == g_btnRereadParkAirports.controlId())
        return gf_onRereadParkAirports();
    for (Parameter* parameter : gf_allParameters()) {
        GuiControl* control = parameter->control();
        if (control == nullptr || control->controlId() != id)
            continue;
        if (auto* box = dynamic_cast<CheckBoxParameter*>(parameter)) {
            if (code == BN_CLICKED)
                lf_onCheckBox(*box);
        } else if (code == EN_KILLFOCUS) {
            lf_onEditBox(*parameter);
        }
        return;
    }
}

LRESULT CALLBACK lf_windowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (gf_handleAppMessage(message))
        return 0;
    switch (message) {
    case WM_COMMAND:
        lf_onCommand(wParam);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        if (HDC dc = BeginPaint(hWnd, &paint)) {
            gf_paintStatusArea(dc);
            EndPaint(hWnd, &paint);
        }
        return 0;
    }
    case WM_PRINTCLIENT:
        gf_paintStatusArea(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        SetFocus(hWnd);  // a click beside the controls ends an edit
        return 0;
    case WM_CLOSE:
        gf_exit(ExitReason::USER_CLOSED_SIM, 0);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hWnd, message, wParam, lParam);
    }
}

}  // namespace

int gf_labelId(const GuiControl& editBox)
{
    return editBox.controlId() + 1000;
}

void gf_dispatchWindowMessage(const MSG& msg)
{
    // Tab moves between the controls and Enter reaches the window as IDOK.
    if (g_hWnd != nullptr && IsDialogMessageW(g_hWnd, const_cast<MSG*>(&msg)))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

bool gf_handleAppMessage(UINT message)
{
    if (message == g_msgStartUp) {
        gf_startStartUpThread();
        return true;
    }
    if (message == g_msgQuit) {
        lf_keepWindowPosition();
        gf_saveSettings();
        DestroyWindow(g_hWnd);
        PostQuitMessage(0);
        return true;
    }
    return false;
}

bool initInstance()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = lf_windowProc;
    wc.lpszClassName = g_windowClass;
#ifdef _WIN32
    // Dialog-coloured, with the arrow cursor.
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::intptr_t>(COLOR_BTNFACE + 1));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
#endif
    RegisterClassExW(&wc);
    // The window's size follows from the client area the layout needs, title bar and frame added.
    RECT frame{0, 0, window_layout::g_clientWidth, window_layout::g_clientHeight};
    AdjustWindowRectEx(&frame, g_windowStyle, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    // A place kept from a screen that is no longer there (a monitor unplugged) would hide the
    // window: it opens at the default place then.
    int x = g_optWindowX.value();
    int y = g_optWindowY.value();
    const RECT place{x, y, x + width, y + height};
    if (MonitorFromRect(&place, MONITOR_DEFAULTTONULL) == nullptr) {
        x = g_optWindowX.defaultValue();
        y = g_optWindowY.defaultValue();
    }
    g_hWnd = CreateWindowExW(0, g_windowClass, win32::utf8ToWide(g_productName).c_str(), g_windowStyle, x, y, width,
                             height, nullptr, nullptr, nullptr, nullptr);
    if (g_hWnd == nullptr)
        return false;
    lf_createControls();
    ShowWindow(g_hWnd, SW_SHOWNORMAL);
    UpdateWindow(g_hWnd);
    return true;
}

int gf_runTavix()
{
    HANDLE instance = CreateMutexW(nullptr, FALSE, g_instanceMutexName);
    if (instance == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        // No log yet (it belongs to the running copy): the reason goes to standard error.
        if (instance != nullptr) {
            CloseHandle(instance);
            std::fprintf(stderr, "%s is already running\n", g_productName);
        } else {
            std::fprintf(stderr, "%s could not create its single-instance mutex\n", g_productName);
        }
        return -1;
    }
    // libcurl's global set-up is not thread-safe: once here, before any thread starts.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::error_code ec;
    gf_openLog(std::filesystem::current_path(ec), gf_versionText(gf_programVersion()));
    gf_initServerBaseUrl();
    gf_connectSubsystems();

    if (!initInstance()) {
        gf_logError("the main window could not be created");
        gf_closeLog();
        curl_global_cleanup();
        ReleaseMutex(instance);
        CloseHandle(instance);
        return 1;
    }
    if (!gf_initAppFolder())
        gf_setErrorLine("the program's settings folder could not be created");
    PostMessageW(g_hWnd, g_msgStartUp, 0, 0);

    MSG msg{};
    int exitCode = 0;
    while (true) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            exitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (got < 0)
            break;
        gf_dispatchWindowMessage(msg);
    }
    gf_joinStartUpThread();
    gf_joinExitThread();
    // A run that ended on an error says so to whoever started it.
    if (exitCode == 0 && g_exitReason.load() == ExitReason::SYSTEM_ERROR)
        exitCode = 1;
    gf_closeLog();
    curl_global_cleanup();
    ReleaseMutex(instance);
    CloseHandle(instance);
    return exitCode;
}
