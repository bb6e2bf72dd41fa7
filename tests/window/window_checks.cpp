// What the main window shows and does, checked through the Win32 calls alone, so that one set of
// checks drives both windows: the headless one (built natively, run by CTest) and Windows' own
// (cross-built as tavix-window-checks.exe, run under Wine and a virtual display by
// tests/windows/wine_run.sh). The program's frame runs unchanged with recording subsystems in a
// temporary folder; the user's settings are never touched.
//
// In order, as a user meets them: the window at its stored place with every control of the settings
// table (id, class, style, text, the edit boxes' labels, a layout where nothing overlaps and every
// text fits); WM_APP+1 starting the start-up, which enables the controls; check boxes clicked;
// edit boxes typed into and left (a click, Tab's focus move, Enter); the buttons; the painted status
// and error lines and values; then the window moved and minimised, an edit left unfinished, the
// window closed: the normal exit, WM_APP+2, the position and the unfinished value saved, the next
// window opening where the last one was, and one whose place is off every screen opening at the
// default place.
//
// Only reading the painted status area differs: Windows' picture is read as pixels (the window
// paints itself into a bitmap through WM_PRINTCLIENT), the headless one as the texts it drew.
// Prints each failed check and a summary; exits with 1 when a check failed.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/entry.h"
#include "app/exit.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "app/window_commands.h"
#include "app/window_layout.h"
#include "app/window_paint.h"
#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "frame/server_files.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "win32/win_api.h"
#ifndef _WIN32
#include "win32/window_model.h"
#endif

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

int g_checks = 0;
int g_failures = 0;
bool g_quitSeen = false;
fs::path g_work;

void lf_expect(bool ok, const std::string& what)
{
    ++g_checks;
    if (!ok) {
        ++g_failures;
        std::printf("  FAIL %s\n", what.c_str());
        std::fflush(stdout);
    }
}

template <typename A, typename B>
void lf_expectEq(const A& actual, const B& expected, const std::string& what)
{
    std::ostringstream text;
    text << what << ": " << actual << " (expected " << expected << ")";
    lf_expect(actual == expected, text.str());
}

void lf_case(const char* name)
{
    std::printf("-- %s\n", name);
    std::fflush(stdout);
}

// The subsystems as a window sees them without a simulator: calls recorded, no flight, the user on
// the ground, readers and traffic there at once.
class RecordingSubsystems : public Subsystems {
public:
    std::vector<std::string> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    bool called(const std::string& name) const
    {
        const auto all = calls();
        return std::find(all.begin(), all.end(), name) != all.end();
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }

    void startUpStep(StartUpStep step) override
    {
        if (step == StartUpStep::Controls)
            add("controls");
    }
    bool requestUserAc(UserAcRequest) override { return true; }
    LoginOutcome login() override { return LoginOutcome::Session; }
    void runSimClient(std::stop_token) override {}
    void runReader(Reader) override {}
    bool ask(Question question) override
    {
        switch (question) {
        case Question::UserOnGround:
        case Question::UserPositionSet:
        case Question::FirstTrafficReceived:
        case Question::WeatherReaderRunning:
        case Question::TrafficReaderRunning:
        case Question::RemovalQueueEmpty:
            return true;
        default:
            return false;
        }
    }
    void acceptTraffic(bool) override {}
    void flightWake() override {}
    void idleWake(bool) override {}
    void everySecond(const SecondWork&) override {}
    void periodic(Periodic) override {}
    void applyParkTrafficChanges(bool) override {}
    void checkForParkAirportUpdates(bool) override {}
    void windowCommand(const WindowCommand& command) override
    {
        switch (command.kind) {
        case WindowCommand::AddParkAirport: return add("addParkAirport " + command.text);
        case WindowCommand::NavLights: return add(command.on ? "navLights on" : "navLights off");
        case WindowCommand::RescanAirports: return add("rescanAirports");
        case WindowCommand::RereadParkAirports: return add("rereadParkAirports");
        case WindowCommand::ParkParamsChanged: return add("parkParamsChanged");
        case WindowCommand::TrimLiveToMaxLive: return add("trimLiveToMaxLive");
        }
    }
    AutoRangeInput autoRangeInput() override { return AutoRangeInput{true, 0.0, false, 0.0}; }
    void exitStep(ExitStep step) override
    {
        switch (step) {
        case ExitStep::StopReaders: return add("stopReaders");
        case ExitStep::Logout: return add("logout");
        case ExitStep::RemoveAllTraffic: return add("removeAllTraffic");
        case ExitStep::CleanUp: return add("cleanUp");
        }
    }

private:
    void add(std::string name)
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(name));
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

RecordingSubsystems g_subsystems;

// Handles the window thread's messages, as the program's loop does, until the condition holds;
// false when the limit passed first. Other threads' calls that send to the window are served too.
bool lf_pumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        MSG msg{};
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                g_quitSeen = true;
            else
                gf_dispatchWindowMessage(msg);
        }
        if (cond())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

void lf_pump()
{
    lf_pumpUntil([] { return true; }, 0ms);
}

std::string lf_text(HWND hwnd)
{
    wchar_t buffer[512] = {};
    GetWindowTextW(hwnd, buffer, 512);
    return win32::wideToUtf8(buffer);
}

void lf_setText(HWND hwnd, const std::string& text)
{
    SetWindowTextW(hwnd, win32::utf8ToWide(text).c_str());
}

std::string lf_className(HWND hwnd)
{
    wchar_t buffer[64] = {};
    GetClassNameW(hwnd, buffer, 64);
    std::string name = win32::wideToUtf8(buffer);
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

HWND lf_control(const GuiControl& control)
{
    return GetDlgItem(g_hWnd, control.controlId());
}

bool lf_checked(const GuiControl& control)
{
    return IsDlgButtonChecked(g_hWnd, control.controlId()) == BST_CHECKED;
}

bool lf_enabled(const GuiControl& control)
{
    return IsWindowEnabled(lf_control(control)) != FALSE;
}

// A child's box in its parent's client coordinates.
RECT lf_clientBox(HWND child)
{
    RECT box{};
    GetWindowRect(child, &box);
    MapWindowPoints(nullptr, g_hWnd, reinterpret_cast<POINT*>(&box), 2);
    return box;
}

bool lf_overlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool lf_inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::string lf_boxText(const RECT& r)
{
    return tvx::format("({},{})-({},{})", r.left, r.top, r.right, r.bottom);
}

std::string lf_readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// parameters.xml holds the key with that value.
bool lf_saved(const std::string& key, const std::string& value)
{
    return lf_readFile(gf_settingsPath()).find(tvx::format("name=\"{}\" value=\"{}\"", key, value)) !=
           std::string::npos;
}

// The user types into an edit box and leaves it: the focus goes in, the text changes, the focus
// moves on (here to the window, as a click beside the controls does).
void lf_typeAndLeave(const GuiControl& box, const std::string& text)
{
    HWND edit = lf_control(box);
    SetFocus(edit);
    lf_setText(edit, text);
    SendMessageW(g_hWnd, WM_LBUTTONDOWN, 0, 0);
    lf_pump();
}

void lf_click(const GuiControl& control)
{
    SendMessageW(lf_control(control), BM_CLICK, 0, 0);
    lf_pump();
}

// ---- reading the painted status area --------------------------------------------------------------

#ifdef _WIN32

// The client area as the window paints it, one 0x00RRGGBB value per pixel, row by row, on the
// window's own background.
class Picture {
public:
    Picture()
    {
        RECT client{};
        GetClientRect(g_hWnd, &client);
        m_width = client.right;
        m_height = client.bottom;
        HDC windowDc = GetDC(g_hWnd);
        HDC dc = CreateCompatibleDC(windowDc);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = m_width;
        info.bmiHeader.biHeight = -m_height;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bitmap);
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
        SendMessageW(g_hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        GdiFlush();
        const auto* pixels = static_cast<const DWORD*>(bits);
        m_pixels.assign(pixels, pixels + static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height));
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(g_hWnd, windowDc);
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        m_background = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    }

    // Some pixel in the box is not the background; with a tone, some pixel has the tone's hue.
    bool inked(const RECT& box, std::optional<PaintTone> tone = std::nullopt) const
    {
        const int top = std::max(0, static_cast<int>(box.top));
        const int bottom = std::min(m_height, static_cast<int>(box.bottom));
        const int left = std::max(0, static_cast<int>(box.left));
        const int right = std::min(m_width, static_cast<int>(box.right));
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const DWORD p = m_pixels[static_cast<std::size_t>(y * m_width + x)] & 0xFFFFFF;
                if (p == m_background)
                    continue;
                const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                if (!tone || (*tone == PaintTone::Error && r > 140 && g < 90 && b < 90) ||
                    (*tone == PaintTone::Success && g > 90 && r < 70 && b < 70) ||
                    (*tone == PaintTone::Normal && r + g + b < 300))
                    return true;
            }
        return false;
    }
    // The texts cannot be read back from pixels.
    std::optional<std::string> text(const RECT&) const { return std::nullopt; }

private:
    int m_width = 0;
    int m_height = 0;
    DWORD m_background = 0;
    std::vector<DWORD> m_pixels;
};

// The text's width in the control's own font.
int lf_textWidth(HWND control, const std::string& text)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring wide = win32::utf8ToWide(text);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

#else

// The texts the window drew in its last paint.
class Picture {
public:
    Picture() : m_drawn(win32::windowModel().drawnTexts()) {}

    bool inked(const RECT& box, std::optional<PaintTone> tone = std::nullopt) const
    {
        const win32::DrawnText* drawn = find(box);
        return drawn && !drawn->text.empty() && (!tone || drawn->colour == gf_toneColour(*tone));
    }
    std::optional<std::string> text(const RECT& box) const
    {
        const win32::DrawnText* drawn = find(box);
        return drawn ? drawn->text : std::string();
    }

private:
    const win32::DrawnText* find(const RECT& box) const
    {
        for (const auto& drawn : m_drawn)
            if (drawn.left == box.left && drawn.top == box.top && drawn.right == box.right &&
                drawn.bottom == box.bottom)
                return &drawn;
        return nullptr;
    }
    std::vector<win32::DrawnText> m_drawn;
};

// No fonts here: the dialog font's widest letters, 7 pixels each.
int lf_textWidth(HWND, const std::string& text)
{
    return static_cast<int>(text.size()) * 7;
}

#endif

// ---- the checks -------------------------------------------------------------------------------

void lf_checkWindowAndControls()
{
    lf_case("the window at its stored place with every control of the settings table");
    using namespace window_layout;
    lf_expect(IsWindow(g_hWnd) != FALSE, "the main window exists");
    lf_expectEq(lf_text(g_hWnd), std::string(g_productName), "window title");
    RECT place{};
    GetWindowRect(g_hWnd, &place);
    lf_expectEq(place.left, 123, "window x from WINDOW_X");
    lf_expectEq(place.top, 77, "window y from WINDOW_Y");
    RECT client{};
    GetClientRect(g_hWnd, &client);
    lf_expectEq(client.right, g_clientWidth, "client width");
    lf_expectEq(client.bottom, g_clientHeight, "client height");

    // Every child with its place; the painted boxes must stay clear of them.
    std::vector<std::pair<std::string, RECT>> boxes;
    for (const PlacedLine& line : gf_statusAreaLines(PaintedValues{}))
        boxes.push_back({"painted line at " + lf_boxText(line.box), line.box});

    int controls = 0;
    for (Parameter* parameter : gf_allParameters()) {
        GuiControl* control = parameter->control();
        if (control == nullptr)
            continue;
        ++controls;
        const std::string& key = parameter->key();
        HWND hwnd = lf_control(*control);
        lf_expect(hwnd != nullptr, key + ": control exists");
        if (hwnd == nullptr)
            continue;
        lf_expectEq(GetDlgCtrlID(hwnd), control->controlId(), key + ": control id");
        lf_expect(IsWindowEnabled(hwnd) == FALSE, key + ": disabled until the start-up enables it");
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
        const RECT box = lf_clientBox(hwnd);
        const int width = box.right - box.left;
        if (auto* check = dynamic_cast<CheckBoxParameter*>(parameter)) {
            lf_expectEq(lf_className(hwnd), std::string("BUTTON"), key + ": class");
            lf_expectEq(style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX), key + ": an automatic check box");
            lf_expectEq(lf_text(hwnd), key, key + ": text");
            lf_expectEq(lf_checked(*control), check->value(), key + ": check state");
            lf_expect(lf_textWidth(hwnd, key) + 20 <= width, key + ": text fits beside the box");
        } else if (auto* button = dynamic_cast<ButtonParameter*>(parameter)) {
            lf_expectEq(lf_className(hwnd), std::string("BUTTON"), key + ": class");
            lf_expectEq(style & BS_TYPEMASK, static_cast<DWORD>(BS_PUSHBUTTON), key + ": a push button");
            lf_expectEq(lf_text(hwnd), button->label(), key + ": text");
            lf_expect(lf_textWidth(hwnd, key) + 8 <= width, key + ": text fits the button");
        } else {
            lf_expectEq(lf_className(hwnd), std::string("EDIT"), key + ": class");
            const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
            lf_expect((exStyle & WS_EX_CLIENTEDGE) != 0, key + ": edit box with a sunken edge");
            HWND label = GetDlgItem(g_hWnd, gf_labelId(*control));
            lf_expect(label != nullptr, key + ": label exists");
            if (label != nullptr) {
                const RECT labelBox = lf_clientBox(label);
                lf_expectEq(lf_className(label), std::string("STATIC"), key + ": label class");
                lf_expectEq(lf_text(label), key, key + ": label text");
                lf_expect(labelBox.right <= box.left && labelBox.top < box.bottom && box.top < labelBox.bottom,
                          key + ": label left of its box, on its row");
                lf_expect(lf_textWidth(label, key) <= labelBox.right - labelBox.left, key + ": label text fits");
                boxes.push_back({key + " label", labelBox});
            }
        }
        boxes.push_back({key, box});
    }
    lf_expectEq(controls, 35, "controls of the settings table (20 check boxes, 12 edit boxes, 3 buttons)");
    lf_expectEq(lf_text(lf_control(g_optParkingPercentage)), std::string("30"), "parking_percentage shows its value");
    lf_expectEq(lf_text(lf_control(g_optMaxFitFl)), std::string("24.0"), "MAX_FIT_FL shows one decimal");

    for (std::size_t i = 0; i < boxes.size(); ++i) {
        lf_expect(lf_inside(boxes[i].second, client), boxes[i].first + " lies inside the window " +
                                                          lf_boxText(boxes[i].second));
        for (std::size_t j = i + 1; j < boxes.size(); ++j)
            lf_expect(!lf_overlap(boxes[i].second, boxes[j].second),
                      boxes[i].first + " and " + boxes[j].first + " do not overlap");
    }
}

void lf_checkStartUp()
{
    lf_case("WM_APP+1 starts the start-up, which enables the controls");
    PostMessageW(g_hWnd, g_msgStartUp, 0, 0);
    const bool enabled = lf_pumpUntil([] { return g_subsystems.called("controls") && lf_enabled(g_optWeek); }, 30s);
    lf_expect(enabled, "the start-up reached the controls step with the controls enabled");
    for (Parameter* parameter : gf_allParameters()) {
        GuiControl* control = parameter->control();
        if (control == nullptr)
            continue;
        const bool expected = control != &g_optLateralRange;  // AUTO_RANGE chooses the range
        lf_expectEq(lf_enabled(*control), expected, parameter->key() + ": enabled after the start-up");
    }
    lf_expectEq(lf_text(lf_control(g_optLateralRange)), std::string("40"), "LATERAL_RANGE shows the loaded value");
}

void lf_checkCheckBoxes()
{
    lf_case("check boxes: a click toggles the setting, saved at once");
    for (Parameter* parameter : gf_allParameters()) {
        auto* box = dynamic_cast<CheckBoxParameter*>(parameter);
        if (box == nullptr)
            continue;
        for (int turn = 0; turn < 2; ++turn) {
            const bool before = box->value();
            lf_click(*box);
            const std::string what = box->key() + (before ? " unchecked" : " checked");
            lf_expectEq(box->value(), !before, what + ": setting");
            lf_expectEq(lf_checked(*box), !before, what + ": check state");
            lf_expect(lf_saved(box->key(), before ? "false" : "true"), what + ": saved in parameters.xml");
        }
    }

    lf_case("RT_PARKTRAFFIC_ONLY switches the schedule-based parking controls");
    const GuiControl* parkControls[] = {&g_optParkingPercentage, &g_optMaxFit, &g_optMaxFitFl,
                                        &g_optParkSoft, &g_optParkFake, &g_optWeek};
    lf_click(g_optRtParktrafficOnly);
    for (const GuiControl* control : parkControls)
        lf_expect(!lf_enabled(*control), tvx::format("park control {} disabled", control->controlId()));
    lf_expectEq(lf_text(lf_control(g_optParkingPercentage)), std::string(), "parking_percentage emptied");
    lf_expectEq(lf_text(lf_control(g_optMaxFitFl)), std::string(), "MAX_FIT_FL emptied");
    lf_click(g_optRtParktrafficOnly);
    for (const GuiControl* control : parkControls)
        lf_expect(lf_enabled(*control), tvx::format("park control {} enabled again", control->controlId()));
    lf_expectEq(lf_text(lf_control(g_optParkingPercentage)), std::string("30"), "parking_percentage shown again");
    lf_expectEq(lf_text(lf_control(g_optMaxFitFl)), std::string("24.0"), "MAX_FIT_FL shown again");

    lf_case("AUTO_RANGE sets the manual range aside and takes it back");
    lf_click(g_optAutoRange);  // off: the manual range again
    lf_expect(lf_enabled(g_optLateralRange), "LATERAL_RANGE enabled with AUTO_RANGE off");
    lf_expectEq(g_rangeNm.load(), 40.0, "the manual range queried");
    lf_click(g_optAutoRange);  // on: the user is on the ground
    lf_expect(!lf_enabled(g_optLateralRange), "LATERAL_RANGE disabled with AUTO_RANGE on");
    lf_expectEq(lf_text(lf_control(g_optLateralRange)), std::string("10"), "LATERAL_RANGE shows the automatic range");
    lf_expect(g_autoRangeGround.load(), "the ground range flag");
    lf_click(g_optAutoRange);
    lf_expectEq(lf_text(lf_control(g_optLateralRange)), std::string("40"), "LATERAL_RANGE shows the manual range");

    lf_case("NAV_LIGHTS_WHILE_PARKED reaches the placed aircraft through the main loop");
    gf_runWindowCommands();
    g_subsystems.clear();
    lf_click(g_optNavLightsWhileParked);
    lf_click(g_optNavLightsWhileParked);
    gf_runWindowCommands();
    lf_expect(g_subsystems.calls() == std::vector<std::string>{"navLights off", "navLights on"},
              "navLights off, then on");
}

void lf_checkEditBoxes()
{
    lf_case("edit boxes: a value is taken when the box is left, limited, shown and saved");
    for (Parameter* parameter : gf_allParameters()) {
        auto* box = dynamic_cast<IntBoxParameter*>(parameter);
        if (box == nullptr)
            continue;
        const std::string& key = box->key();
        const std::int32_t before = box->value();
        struct Case {
            std::string typed;
            std::int32_t stored;
        };
        const Case cases[] = {{std::to_string(box->maximum() + 1000), box->maximum()},
                              {std::to_string(box->minimum() - 1000), box->minimum()},
                              {"abc", box->minimum()},
                              {"12x", box->minimum()},
                              {std::to_string(before), before}};
        for (const Case& c : cases) {
            lf_typeAndLeave(*box, c.typed);
            lf_expectEq(box->value(), c.stored, key + " typed \"" + c.typed + "\"");
            lf_expectEq(lf_text(lf_control(*box)), std::to_string(c.stored), key + " shows the value taken");
            lf_expect(lf_saved(key, std::to_string(c.stored)), key + " saved as " + std::to_string(c.stored));
        }
    }
    lf_typeAndLeave(g_optMaxFitFl, "7.5");
    lf_expectEq(g_optMaxFitFl.value(), 7.5, "MAX_FIT_FL typed 7.5");
    lf_typeAndLeave(g_optMaxFitFl, "99");
    lf_expectEq(lf_text(lf_control(g_optMaxFitFl)), std::string("24.0"), "MAX_FIT_FL limited and shown");
    lf_typeAndLeave(g_optCallsign2Objectid, "KLM1234");
    lf_expectEq(g_optCallsign2Objectid.value(), std::string("KLM1234"), "CALLSIGN_2_OBJECTID taken");
    lf_expect(lf_saved("CALLSIGN_2_OBJECTID", "KLM1234"), "CALLSIGN_2_OBJECTID saved");
    lf_typeAndLeave(g_optBlockCallsign, "");
    lf_expectEq(g_optBlockCallsign.value(), std::string(), "BLOCK_CALLSIGN emptied");

    lf_case("edit boxes: what the values drive");
    gf_runWindowCommands();
    g_subsystems.clear();
    lf_expect(!g_optAutoRange.value(), "AUTO_RANGE off: the range is the user's");
    lf_typeAndLeave(g_optLateralRange, "25");
    lf_expectEq(g_rangeNm.load(), 25.0, "LATERAL_RANGE is the query's range");
    lf_expectEq(g_rangeMeters.load(), 25u * 1852u + 10000u, "and its radius in metres");
    lf_typeAndLeave(g_optMaxLive, "50");
    lf_typeAndLeave(g_optDestination, "EHAM");
    gf_runWindowCommands();
    lf_expectEq(g_maxLiveOutsidePark.load(), 50, "MAX_LIVE is the limit outside a parking file");
    lf_expect(g_subsystems.called("trimLiveToMaxLive"), "MAX_LIVE trims the live aircraft");
    lf_expect(g_subsystems.called("addParkAirport EHAM"), "DESTINATION adds the park airport");
    lf_expect(lf_readFile(g_work / "Log.txt").find("New destination: EHAM") != std::string::npos,
              "\"New destination: EHAM\" logged");

    lf_case("edit boxes: Tab and Enter take the value as well");
    HWND range = lf_control(g_optAirportRange);
    SetFocus(range);
    lf_setText(range, "12");
    PostMessageW(range, WM_KEYDOWN, VK_TAB, 0);
    lf_pump();
    lf_expectEq(g_optAirportRange.value(), 12, "AIRPORT_RANGE after Tab");
    lf_expect(GetFocus() == lf_control(g_optMaxLive), "Tab moved on to the next box, MAX_LIVE");
    SetFocus(range);
    lf_setText(range, "14");
    PostMessageW(range, WM_KEYDOWN, VK_RETURN, 0);
    lf_pump();
    lf_expectEq(g_optAirportRange.value(), 14, "AIRPORT_RANGE after Enter");
    lf_expect(GetFocus() != range, "Enter left the box");
}

void lf_checkButtons()
{
    lf_case("buttons");
    lf_expect(!gf_takeFlushStaticRequest(), "no flush asked before the click");
    lf_click(g_btnFlushStatic);
    lf_expect(gf_takeFlushStaticRequest(), "\"Flush static\" asks the main loop to remove the static aircraft");
    lf_click(g_optScanAirports);
    lf_expect(!g_optScanAirports.value(), "SCAN_AIRPORTS off before the rescan");
    gf_runWindowCommands();
    g_subsystems.clear();
    lf_click(g_btnRescanAirports);
    lf_click(g_btnRereadParkAirports);
    gf_runWindowCommands();
    lf_expect(g_optScanAirports.value() && lf_checked(g_optScanAirports),
              "\"Rescan airports\" switches SCAN_AIRPORTS on");
    lf_expect(lf_saved("SCAN_AIRPORTS", "true"), "and saves it");
    lf_expect(g_subsystems.calls() == std::vector<std::string>{"rescanAirports", "rereadParkAirports"},
              "the rescan and the re-read of the park-airport list reach the main loop in order");
}

// After a change, the status area is marked for repainting; once painted, it is clean again.
void lf_expectRepainted(const std::string& what)
{
    lf_expect(GetUpdateRect(g_hWnd, nullptr, FALSE) != FALSE, what + ": repaint asked");
    UpdateWindow(g_hWnd);
    lf_pump();
    lf_expect(GetUpdateRect(g_hWnd, nullptr, FALSE) == FALSE, what + ": painted");
}

void lf_checkStatusArea()
{
    lf_case("the status and error lines and the painted values");
    using namespace window_layout;
    gf_clearErrorLine();
    lf_pump();
    UpdateWindow(g_hWnd);
    gf_setStatusLine("Waiting for MSFS ...", false);
    lf_expectRepainted("status line");
    {
        const Picture picture;
        lf_expect(picture.inked(g_statusLineBox, PaintTone::Normal), "the status line is painted");
        lf_expect(!picture.inked(g_errorLineBox), "no error line");
        if (auto text = picture.text(g_statusLineBox))
            lf_expectEq(*text, std::string("Waiting for MSFS ..."), "status line text");
    }
    gf_setErrorLine("no licence");
    lf_expectRepainted("error line");
    {
        const Picture picture;
        lf_expect(picture.inked(g_errorLineBox, PaintTone::Error), "the error line is painted in red");
        if (auto text = picture.text(g_errorLineBox))
            lf_expectEq(*text, std::string("Error no licence"), "error line text");
    }
    gf_clearErrorLine();
    gf_clearStatusLine();
    gf_updatePainted([](PaintedValues& p) {
        p.standCount = 76;
        p.flightIndicator = true;
        p.userAcText = "Stand-in Boeing 737-800";
    });
    lf_expectRepainted("painted values");
    {
        const Picture picture;
        lf_expect(!picture.inked(g_statusLineBox) && !picture.inked(g_errorLineBox), "both lines cleared");
        const auto lines = gf_statusAreaLines(gf_paintedValues());
        for (const PlacedLine& line : lines) {
            if (line.line.text.empty())
                continue;
            lf_expect(picture.inked(line.box, line.line.tone), "\"" + line.line.text + "\" painted in its tone");
            if (auto text = picture.text(line.box))
                lf_expectEq(*text, line.line.text, "painted text");
        }
        lf_expectEq(lines[0].line.text, std::string("Stands: 76"), "stands line");
        lf_expectEq(lines[8].line.text, std::string("Flight: running"), "flight line");
    }
}

void lf_checkCloseAndPosition()
{
    lf_case("closing: the normal exit, WM_APP+2, the position and an unfinished edit kept");
    RECT frame{};
    GetWindowRect(g_hWnd, &frame);
    MoveWindow(g_hWnd, 140, 90, frame.right - frame.left, frame.bottom - frame.top, TRUE);
    HWND height = lf_control(g_optAirportHeight);
    SetFocus(height);
    lf_setText(height, "25000");  // typed, the box not left
    ShowWindow(g_hWnd, SW_MINIMIZE);
    lf_pump();
    lf_expect(IsIconic(g_hWnd) != FALSE, "the window is minimised");
    g_subsystems.clear();
    PostMessageW(g_hWnd, WM_CLOSE, 0, 0);
    lf_expect(lf_pumpUntil([] { return g_quitSeen; }, 60s), "the program's loop ends (WM_QUIT)");
    lf_expect(IsWindow(g_hWnd) == FALSE, "the window is gone");
    lf_expect(g_subsystems.calls() ==
                  std::vector<std::string>{"stopReaders", "logout", "removeAllTraffic", "cleanUp"},
              "the exit's steps in order");
    lf_expect(lf_readFile(g_work / "Log.txt").find("Exiting: USER CLOSED SIM") != std::string::npos,
              "\"Exiting: USER CLOSED SIM\" logged");
    lf_expect(lf_saved("WINDOW_X", "140") && lf_saved("WINDOW_Y", "90"),
              "the window's place before it was minimised saved (WINDOW_X 140, WINDOW_Y 90)");
    lf_expect(lf_saved("AIRPORT_HEIGHT", "25000"), "the value typed before the close saved");

    lf_case("the next window opens where the last one was");
    gf_joinStartUpThread();
    gf_joinExitThread();
    gf_resetSettingsStore();
    for (Parameter* p : gf_allParameters())
        p->resetToDefault();
    gf_loadSettings();
    lf_expect(initInstance(), "the window is made again");
    RECT place{};
    GetWindowRect(g_hWnd, &place);
    lf_expectEq(place.left, 140, "window x");
    lf_expectEq(place.top, 90, "window y");
    lf_expectEq(lf_text(lf_control(g_optAirportHeight)), std::string("25000"), "AIRPORT_HEIGHT shows the saved value");
    DestroyWindow(g_hWnd);
    lf_pump();

    lf_case("a place off every screen (a monitor unplugged) gives the default place");
    g_optWindowX.setClamped(-20000);
    g_optWindowY.setClamped(300);
    lf_expect(initInstance(), "the window is made again");
    GetWindowRect(g_hWnd, &place);
    lf_expectEq(place.left, g_optWindowX.defaultValue(), "window x");
    lf_expectEq(place.top, g_optWindowY.defaultValue(), "window y");
    DestroyWindow(g_hWnd);
    lf_pump();
}

}  // namespace

int main()
{
    std::error_code ec;
    g_work = fs::temp_directory_path(ec) / tvx::format("tavix-window-checks-{}",
                                                       std::chrono::steady_clock::now().time_since_epoch().count());
    fs::create_directories(g_work / "roaming" / g_productName, ec);
    fs::current_path(g_work, ec);
    if (ec) {
        std::printf("window checks: no work folder %s\n", g_work.string().c_str());
        return 2;
    }
    gf_openLog(g_work, "window checks");
    g_appFolder = g_work / "roaming" / g_productName;
    g_serverBaseUrl = "file:///" + (g_work / "no-server").generic_string() + "/";
    gf_setSubsystems(&g_subsystems);
    g_exitTimings.readerStopWait = 0ms;
    g_exitTimings.countdownStep = 0ms;
    g_startUpSleep = [](std::chrono::milliseconds) { std::this_thread::sleep_for(10ms); };
#ifndef _WIN32
    win32::windowModel().setEcho(false);
#endif

    gf_loadSettings();
    g_optWindowX.setClamped(123);
    g_optWindowY.setClamped(77);
    gf_saveSettings();
    if (!initInstance()) {
        std::printf("window checks: the window could not be made\n");
        return 2;
    }
    lf_pump();
    lf_checkWindowAndControls();
    lf_checkStartUp();
    lf_checkCheckBoxes();
    lf_checkEditBoxes();
    lf_checkButtons();
    lf_checkStatusArea();
    lf_checkCloseAndPosition();

    gf_setSubsystems(nullptr);
    gf_closeLog();
    fs::current_path(g_work.parent_path(), ec);
    if (g_failures == 0)
        fs::remove_all(g_work, ec);
    std::printf("window checks: %d of %d failed%s\n", g_failures, g_checks,
                g_failures ? tvx::format(" (work folder {})", g_work.string()).c_str() : "");
    return g_failures == 0 ? 0 : 1;
}
