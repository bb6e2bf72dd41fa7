// The window model: the settings controls as the program drives them, the range values of the
// traffic query, and the painted values of the status area. Window commands (the handlers of the
// settings controls) run on the window thread and call into the subsystems through g_hooks; the
// painted values are written from the main loop and the simulator thread under the painted mutex
// (innermost after the status-line mutex), and every change asks the window for a repaint.
#include "app/window_model.h"

#include <mutex>
#include <vector>

#include "app/status.h"
#include "app/subsystem_hooks.h"
#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/units.h"
#include "win32/win_api.h"
#ifndef _WIN32
#include "win32/window_model.h"
#endif

HWND g_hWnd = nullptr;
std::atomic<double> g_rangeNm{40.0};
std::atomic<bool> g_autoRangeGround{false};
std::int32_t g_manualLateralRange = 40;
std::atomic<std::int32_t> g_maxLiveOutsidePark{-1};
std::atomic<bool> g_notYetConnected{true};

namespace {

std::mutex g_paintedMutex;  // guards g_painted
PaintedValues g_painted;
std::atomic<bool> g_flushStaticRequested{false};
std::mutex g_windowCommandsMutex;  // guards g_windowCommands (window thread -> main loop)
std::vector<std::function<void()>> g_windowCommands;

// Queues the hook call for the main loop when the hook is set.
template <typename Hook, typename... Args>
void lf_postHook(const Hook& hook, Args... args)
{
    if (hook)
        gf_postWindowCommand([&hook, args...] { hook(args...); });
}

void lf_repaint()
{
    InvalidateRect(g_hWnd, nullptr, TRUE);
}

void lf_setControlText(const GuiControl& control, const std::string& text)
{
    SetDlgItemTextW(g_hWnd, control.controlId(), win32::utf8ToWide(text).c_str());
}

void lf_enableControl(const GuiControl& control, bool enable)
{
    EnableWindow(GetDlgItem(g_hWnd, control.controlId()), enable ? TRUE : FALSE);
}

#ifndef _WIN32
// The headless window keeps the painted values by key so that terminal users and e2e tests see them.
void lf_mirrorHeadless(const PaintedValues& p)
{
    auto& model = win32::windowModel();
    if (model.statusLine() != p.statusLine)
        model.setStatusLine(p.statusLine);
    if (model.errorLine() != p.errorLine)
        model.setErrorLine(p.errorLine);
    model.setPainted("stands", std::to_string(p.standCount));
    model.setPainted("publisher", p.publisherText);
    model.setPainted("quality", p.qualityText);
    model.setPainted("parked", std::to_string(p.parkedCount));
    model.setPainted("tblo", p.tbloText);
    model.setPainted("flight", p.flightIndicator ? "1" : "0");
    model.setPainted("userAc", p.userAcText);
    model.setPainted("userStand", p.userStandText);
    model.setPainted("selected", p.selectedText);
}
#endif

// Controls of the parked-traffic plan that only matter when the plan is not taken from the
// service's parked list alone.
struct ParkControl {
    GuiControl* control;
    std::function<std::string()> text;  // empty for check boxes
};

std::vector<ParkControl> lf_parkControls()
{
    return {
        {&g_optParkingPercentage, [] { return tvx::format("{}", g_optParkingPercentage.value()); }},
        {&g_optMaxFit, [] { return tvx::format("{}", g_optMaxFit.value()); }},
        {&g_optMaxFitFl, [] { return tvx::format("{:.1f}", g_optMaxFitFl.value()); }},
        {&g_optParkSoft, nullptr},
        {&g_optParkFake, nullptr},
        {&g_optWeek, nullptr},
    };
}

}  // namespace

void gf_updatePainted(const std::function<void(PaintedValues&)>& change)
{
    PaintedValues copy;
    {
        std::lock_guard lock(g_paintedMutex);
        change(g_painted);
        copy = g_painted;
    }
#ifndef _WIN32
    lf_mirrorHeadless(copy);
#endif
    lf_repaint();
}

PaintedValues gf_paintedValues()
{
    std::lock_guard lock(g_paintedMutex);
    return g_painted;
}

void gf_resetPainted()
{
    gf_updatePainted([](PaintedValues& p) {
        PaintedValues fresh;
        fresh.statusLine = p.statusLine;
        fresh.errorLine = p.errorLine;
        p = fresh;
    });
}

void gf_showTextOption(const TextBoxParameter& setting)
{
    lf_setControlText(setting, setting.value());
    lf_repaint();
}

void gf_showIntOption(const IntBoxParameter& setting)
{
    lf_setControlText(setting, tvx::format("{}", setting.value()));
    lf_repaint();
}

void gf_showFloatOption(const FloatBoxParameter& setting)
{
    lf_setControlText(setting, tvx::format("{:.1f}", setting.value()));
    lf_repaint();
}

void gf_setCheckBox(CheckBoxParameter& setting, bool value)
{
    setting.set(value);
    setting.save();
    CheckDlgButton(g_hWnd, setting.controlId(), value ? BST_CHECKED : BST_UNCHECKED);
}

void gf_showAllOptions()
{
    for (Parameter* parameter : gf_allParameters()) {
        if (auto* box = dynamic_cast<CheckBoxParameter*>(parameter))
            CheckDlgButton(g_hWnd, box->controlId(), box->value() ? BST_CHECKED : BST_UNCHECKED);
        else if (auto* box = dynamic_cast<IntBoxParameter*>(parameter))
            lf_setControlText(*box, tvx::format("{}", box->value()));
        else if (auto* box = dynamic_cast<FloatBoxParameter*>(parameter))
            lf_setControlText(*box, tvx::format("{:.1f}", box->value()));
        else if (auto* box = dynamic_cast<TextBoxParameter*>(parameter))
            lf_setControlText(*box, box->value());
    }
    lf_repaint();
}

void gf_enableParkControls()
{
    const bool enable = !g_optRtParktrafficOnly.value();
    for (const auto& park : lf_parkControls()) {
        lf_enableControl(*park.control, enable);
        if (park.text)
            lf_setControlText(*park.control, enable ? park.text() : std::string());
    }
    gf_updatePainted([enable](PaintedValues& p) {
        p.parkControlsEnabled = enable;
        p.parkingPercentageEnabled = enable;
    });
}

void gf_setLateralRange(std::int32_t value)
{
    const std::int32_t stored = g_optLateralRange.setClamped(value);
    g_optLateralRange.save();
    g_rangeNm.store(static_cast<double>(stored));
    g_rangeMeters.store(gf_rangeMetersOf(stored));
    if (g_hooks.queryRangeChanged)
        g_hooks.queryRangeChanged(static_cast<double>(stored));
}

double gf_chooseAutoRange(const AutoRangeInput& input)
{
    double range = 100.0;
    if (input.onGround)
        range = 10.0;
    else if (input.heightAboveGroundFt < 10000.0)
        range = 40.0;
    if (input.parkAirportSet && input.parkAirportDistanceNm + 3.0 > range)
        range = input.parkAirportDistanceNm + 3.0;
    return range;
}

void gf_updateAutoRange()
{
    if (!g_optAutoRange.value()) {
        g_autoRangeGround.store(false);
        return;
    }
    const AutoRangeInput input = g_hooks.autoRangeInput ? g_hooks.autoRangeInput() : AutoRangeInput{};
    const double range = gf_chooseAutoRange(input);
    // The setting keeps whole miles within its limits; the query uses the exact range.
    const std::int32_t stored = g_optLateralRange.setClamped(static_cast<std::int64_t>(range + 0.5));
    g_rangeNm.store(range);
    g_rangeMeters.store(static_cast<std::uint32_t>(range * kMetresPerNm + 10000.0));
    g_autoRangeGround.store(range == 10.0);
    if (g_hooks.queryRangeChanged)
        g_hooks.queryRangeChanged(range);
    lf_setControlText(g_optLateralRange, tvx::format("{}", stored));
    lf_repaint();
}

void gf_enableAllControls(bool enable)
{
    for (Parameter* parameter : gf_allParameters()) {
        if (GuiControl* control = parameter->control())
            lf_enableControl(*control, enable);
    }
    gf_updatePainted([enable](PaintedValues& p) {
        p.controlsEnabled = enable;
        p.flushStaticEnabled = enable;
        p.lateralRangeEnabled = enable && !g_optAutoRange.value();
        p.destinationEnabled = enable;
        p.learnSoftEnabled = enable;
    });
    if (enable) {
        lf_enableControl(g_optLateralRange, !g_optAutoRange.value());
        gf_enableParkControls();
    }
}

void gf_postWindowCommand(std::function<void()> command)
{
    std::lock_guard lock(g_windowCommandsMutex);
    g_windowCommands.push_back(std::move(command));
}

void gf_runWindowCommands()
{
    std::vector<std::function<void()>> commands;
    {
        std::lock_guard lock(g_windowCommandsMutex);
        commands.swap(g_windowCommands);
    }
    for (auto& command : commands)
        command();
}

void gf_requestFlushStatic()
{
    g_flushStaticRequested.store(true);
}

bool gf_takeFlushStaticRequest()
{
    return g_flushStaticRequested.exchange(false);
}

void gf_onMaxLiveChanged(std::int32_t value)
{
    const std::int32_t stored = g_optMaxLive.setClamped(value);
    g_optMaxLive.save();
    gf_postWindowCommand([stored] {
        if (g_hooks.parkFileLoaded && g_hooks.parkFileLoaded()) {
            if (g_hooks.setParkParamsChanged)
                g_hooks.setParkParamsChanged();
        } else {
            g_maxLiveOutsidePark.store(stored);
        }
        if (g_hooks.trimLiveToMaxLive)
            g_hooks.trimLiveToMaxLive();
    });
}

void gf_onAutoRangeChanged(bool on)
{
    gf_setCheckBox(g_optAutoRange, on);
    if (on) {
        g_manualLateralRange = g_optLateralRange.value();
        gf_updateAutoRange();
        lf_enableControl(g_optLateralRange, false);
    } else {
        lf_enableControl(g_optLateralRange, true);
        gf_setLateralRange(g_manualLateralRange);
        gf_clearStatusLine();
    }
    gf_showIntOption(g_optLateralRange);
    g_autoRangeGround.store(on && g_rangeNm.load() == 10.0);
    gf_updatePainted([on](PaintedValues& p) { p.lateralRangeEnabled = !on; });
    gf_onParkingSettingChanged();
}

void gf_onLateralRangeChanged(std::int32_t value)
{
    if (g_optAutoRange.value())
        return;  // the box is disabled while AUTO_RANGE chooses the range
    gf_setLateralRange(value);
    gf_showIntOption(g_optLateralRange);
    gf_onParkingSettingChanged();
}

void gf_onNewDestination(const std::string& icao)
{
    g_optDestination.set(icao);
    g_optDestination.save();
    gf_log("New destination: {}", icao);
    lf_postHook(g_hooks.addParkAirport, icao);
}

void gf_onNavLightsChanged(bool on)
{
    gf_setCheckBox(g_optNavLightsWhileParked, on);
    lf_postHook(g_hooks.setNavLights, on);
}

void gf_onRescanAirports()
{
    gf_setCheckBox(g_optScanAirports, true);
    lf_postHook(g_hooks.clearAddonAirportFound);
}

void gf_onRereadParkAirports()
{
    lf_postHook(g_hooks.checkReservedStands);
}

void gf_onParkingSettingChanged()
{
    gf_postWindowCommand([] {
        if (g_hooks.parkFileLoaded && g_hooks.parkFileLoaded() && g_hooks.setParkParamsChanged)
            g_hooks.setParkParamsChanged();
    });
}
