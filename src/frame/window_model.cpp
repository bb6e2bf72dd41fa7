// The window model: the settings controls as the program drives them, the range values of the
// traffic query, and the painted values of the status area. The painted values are written from
// the main loop and the simulator thread under the painted mutex (innermost after the status-line
// mutex), and every change asks the window for a repaint.
#include "frame/window_model.h"

#include <mutex>
#include <vector>

#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/units.h"
#include "win32/win_api.h"
#ifndef _WIN32
#include "win32/window_model.h"
#endif

std::atomic<HWND> g_hWnd{nullptr};
std::atomic<double> g_rangeNm{40.0};
std::atomic<bool> g_autoRangeGround{false};
std::atomic<std::int32_t> g_manualLateralRange{40};
std::atomic<std::int32_t> g_maxLiveOutsidePark{-1};
std::atomic<bool> g_notYetConnected{true};

namespace {

std::mutex g_paintedMutex;  // guards g_painted
PaintedValues g_painted;
void lf_repaint()
{
    InvalidateRect(g_hWnd, nullptr, TRUE);
}

void lf_setControlText(const GuiControl& control, const std::string& text)
{
    SetDlgItemTextW(g_hWnd, control.controlId(), win32::utf8ToWide(text).c_str());
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
    model.setPainted("live", std::to_string(p.liveCount));
    model.setPainted("parked", tvx::format("{} live, {} static of {}", p.liveParkedCount, p.staticParkedCount,
                                           p.parkedCount));
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
    std::string (*text)();  // nullptr for check boxes
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

void gf_enableControl(const GuiControl& control, bool enable)
{
    EnableWindow(GetDlgItem(g_hWnd, control.controlId()), enable ? TRUE : FALSE);
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
        gf_enableControl(*park.control, enable);
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

void gf_updateAutoRange(const AutoRangeInput& input)
{
    if (!g_optAutoRange.value()) {
        g_autoRangeGround.store(false);
        return;
    }
    const double range = gf_chooseAutoRange(input);
    // The setting keeps whole miles within its limits; the query uses the exact range.
    const std::int32_t stored = g_optLateralRange.setClamped(static_cast<std::int64_t>(range + 0.5));
    g_rangeNm.store(range);
    g_rangeMeters.store(static_cast<std::uint32_t>(range * kMetresPerNm + 10000.0));
    g_autoRangeGround.store(range == 10.0);
    lf_setControlText(g_optLateralRange, tvx::format("{}", stored));
    lf_repaint();
}

void gf_enableAllControls(bool enable)
{
    for (Parameter* parameter : gf_allParameters()) {
        if (GuiControl* control = parameter->control())
            gf_enableControl(*control, enable);
    }
    gf_updatePainted([enable](PaintedValues& p) {
        p.controlsEnabled = enable;
        p.flushStaticEnabled = enable;
        p.lateralRangeEnabled = enable && !g_optAutoRange.value();
        p.destinationEnabled = enable;
        p.learnSoftEnabled = enable;
    });
    if (enable) {
        gf_enableControl(g_optLateralRange, !g_optAutoRange.value());
        gf_enableParkControls();
    }
}
