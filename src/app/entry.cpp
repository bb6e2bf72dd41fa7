// The program's entry and its window: the single-instance guard, the log, the main window with one
// control per window setting, and the message loop. WM_APP+1 starts the start-up thread (also for
// an in-process restart), WM_APP+2 saves the window position and quits. Control notifications
// (WM_COMMAND) apply a changed setting at once and save it. Everything here runs on the window
// thread.
#include "app/entry.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <curl/curl.h>

#include "app/downloads.h"
#include "app/exit.h"
#include "app/main_loop.h"
#include "app/startup.h"
#include "app/status.h"
#include "app/subsystem_hooks.h"
#include "app/window_model.h"
#include "app/window_paint.h"
#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/runtime_texts.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "win32/win_api.h"

namespace {

constexpr const wchar_t* g_windowClass = L"TavixWindow";
constexpr const wchar_t* g_instanceMutexName = L"Local\\$Tavix$";
constexpr WORD g_notifyClicked = 0;        // BN_CLICKED
constexpr WORD g_notifyKillFocus = 0x0200; // EN_KILLFOCUS
constexpr DWORD g_styleChild = 0x40000000;
constexpr DWORD g_styleVisible = 0x10000000;
constexpr DWORD g_styleAutoCheckBox = 0x00000003;
constexpr int g_rowHeight = 22;

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

void lf_createControl(GuiControl& control, const wchar_t* className, const std::string& label, DWORD style,
                      int column)
{
    HWND hwnd = CreateWindowExW(0, className, win32::utf8ToWide(label).c_str(), g_styleChild | g_styleVisible | style,
                                column * 220, control.row() * g_rowHeight, 210, g_rowHeight - 2, g_hWnd,
                                reinterpret_cast<HMENU>(static_cast<std::intptr_t>(control.controlId())), nullptr,
                                nullptr);
    control.setHwnd(hwnd);
    EnableWindow(hwnd, FALSE);  // the start-up enables the controls once it is ready
}

void lf_createControls()
{
    for (Parameter* parameter : gf_allParameters()) {
        GuiControl* control = parameter->control();
        if (control == nullptr)
            continue;
        if (auto* box = dynamic_cast<CheckBoxParameter*>(parameter)) {
            lf_createControl(*control, L"BUTTON", box->key(), g_styleAutoCheckBox, 0);
        } else if (auto* button = dynamic_cast<ButtonParameter*>(parameter)) {
            lf_createControl(*control, L"BUTTON", button->label(), 0, 2);
        } else {
            lf_createControl(*control, L"EDIT", "", 0, 1);
        }
    }
    gf_showAllOptions();
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
            if (code == g_notifyClicked)
                lf_onCheckBox(*box);
        } else if (code == g_notifyKillFocus) {
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
#ifdef _WIN32
    case WM_PAINT:
        gf_paintStatusArea(hWnd);
        return 0;
#endif
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

bool gf_handleAppMessage(UINT message)
{
    if (message == g_msgStartUp) {
        gf_startStartUpThread();
        return true;
    }
    if (message == g_msgQuit) {
        // The headless window has no position of its own; the stored one is kept and saved.
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
    DWORD style = 0;
#ifdef _WIN32
    // A real window: dialog-coloured, with a title bar that closes and minimises it.
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::intptr_t>(COLOR_BTNFACE + 1));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
#endif
    RegisterClassExW(&wc);
    g_hWnd = CreateWindowExW(0, g_windowClass, win32::utf8ToWide(g_productName).c_str(), style, g_optWindowX.value(),
                             g_optWindowY.value(), 700, 640, nullptr, nullptr, nullptr, nullptr);
    if (g_hWnd == nullptr)
        return false;
    lf_createControls();
    ShowWindow(g_hWnd, 1);
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
    gf_registerSubsystems();

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
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    gf_joinStartUpThread();
    gf_joinExitThread();
    gf_closeLog();
    curl_global_cleanup();
    ReleaseMutex(instance);
    CloseHandle(instance);
    return exitCode;
}
