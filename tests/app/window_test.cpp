// The window model: status and error lines, the lateral range and the automatic range, and the
// settings controls applied and saved when the user changes them.
#include <gtest/gtest.h>

#include "app/entry.h"
#include "app/main_loop.h"
#include "app/window_commands.h"
#include "app/window_paint.h"
#include "foundation/errors.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "support/app_sandbox.h"
#include "traffic_service/feed_sink.h"
#include "win32/win_api.h"
#include "win32/window_model.h"

namespace {

using tvxtest::AppSandbox;
using tvxtest::CallRecorder;

TEST(StatusLine, ErrorTextHoldsTheLineUntilCleared)
{
    AppSandbox box;
    gf_setStatusLine("loading", false);
    EXPECT_EQ(gf_statusLineText(), "loading");
    EXPECT_EQ(box.logText().find("loading"), std::string::npos);
    gf_setStatusLine("logged line", true);
    EXPECT_NE(box.logText().find("logged line"), std::string::npos);

    gf_setErrorLine("no licence");
    EXPECT_EQ(gf_errorLineText(), "Error no licence");
    EXPECT_NE(box.logText().find("Error no licence"), std::string::npos);
    gf_setStatusLine("hidden", true);  // not shown while the error shows, but still logged
    EXPECT_EQ(gf_statusLineText(), "logged line");
    EXPECT_NE(box.logText().find("hidden"), std::string::npos);
    EXPECT_EQ(gf_paintedValues().errorLine, "Error no licence");
    EXPECT_EQ(win32::windowModel().errorLine(), "Error no licence");

    gf_clearErrorLine();
    gf_setStatusLine("shown", false);
    EXPECT_EQ(gf_paintedValues().statusLine, "shown");
    EXPECT_EQ(win32::windowModel().statusLine(), "shown");
    gf_clearStatusLine();
    EXPECT_EQ(gf_statusLineText(), "");
}

TEST(WindowModel, LateralRangeSetsTheQueryRange)
{
    AppSandbox box;
    struct Case {
        std::int32_t value;
        std::int32_t stored;
    };
    for (const Case& c : {Case{40, 40}, Case{10, 10}, Case{1, 2}, Case{500, 100}}) {
        gf_setLateralRange(c.value);
        EXPECT_EQ(g_optLateralRange.value(), c.stored);
        EXPECT_DOUBLE_EQ(g_rangeNm.load(), c.stored);
        EXPECT_EQ(g_rangeMeters.load(), static_cast<std::uint32_t>(c.stored) * 1852u + 10000u);
        EXPECT_DOUBLE_EQ(gf_trafficQueryRangeNm(), c.stored) << "the traffic readers query the window's range";
    }
    gf_setLateralRange(40);
    EXPECT_EQ(g_rangeMeters.load(), 84080u);
}

TEST(WindowModel, AutoRangeChoice)
{
    struct Case {
        AutoRangeInput input;
        double range;
    };
    const Case cases[] = {
        {{true, 0.0, false, 0.0}, 10.0},
        {{false, 9999.0, false, 0.0}, 40.0},
        {{false, 10000.0, false, 0.0}, 100.0},
        {{true, 0.0, true, 6.0}, 10.0},     // 6 + 3 does not exceed 10
        {{true, 0.0, true, 7.5}, 10.5},     // the park airport's distance + 3
        {{false, 5000.0, true, 50.0}, 53.0},
        {{false, 20000.0, true, 20.0}, 100.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(gf_chooseAutoRange(c.input), c.range);
}

TEST(WindowModel, AutoRangeGroundFlagAndManualRangeSetAside)
{
    AppSandbox box;
    box.subsystems().autoRange = AutoRangeInput{true, 0.0, false, 0.0};
    gf_setLateralRange(25);
    gf_onAutoRangeChanged(true);
    EXPECT_EQ(g_manualLateralRange.load(), 25);
    EXPECT_DOUBLE_EQ(g_rangeNm.load(), 10.0);
    EXPECT_TRUE(g_autoRangeGround.load());
    EXPECT_EQ(g_rangeMeters.load(), 10u * 1852u + 10000u);

    gf_updateAutoRange(AutoRangeInput{false, 3000.0, false, 0.0});
    EXPECT_DOUBLE_EQ(g_rangeNm.load(), 40.0);
    EXPECT_FALSE(g_autoRangeGround.load());

    gf_onAutoRangeChanged(false);
    EXPECT_EQ(g_optLateralRange.value(), 25);
    EXPECT_DOUBLE_EQ(g_rangeNm.load(), 25.0);
    EXPECT_FALSE(g_autoRangeGround.load());
    EXPECT_FALSE(g_optAutoRange.value());
}

TEST(WindowModel, MaxLiveOutsideAndInsideAParkingFile)
{
    AppSandbox box;
    CallRecorder& calls = box.subsystems().calls;
    bool fileLoaded = false;
    box.subsystems().answers[Question::ParkFileLoaded] = [&] { return fileLoaded; };
    gf_onMaxLiveChanged(50);
    EXPECT_TRUE(calls.calls().empty());  // main-loop work: done at the next wake
    gf_runWindowCommands();
    EXPECT_EQ(g_maxLiveOutsidePark.load(), 50);
    EXPECT_EQ(calls.calls(), std::vector<std::string>{"trimLiveToMaxLive"});
    fileLoaded = true;
    gf_onMaxLiveChanged(900);  // clamped to the setting's maximum
    gf_runWindowCommands();
    EXPECT_EQ(g_optMaxLive.value(), 300);
    EXPECT_EQ(g_maxLiveOutsidePark.load(), 50);
    EXPECT_EQ(calls.calls(), (std::vector<std::string>{"trimLiveToMaxLive", "parkParamsChanged", "trimLiveToMaxLive"}));
}

TEST(WindowModel, ControlChangesAreAppliedAndSavedAtOnce)
{
    AppSandbox box;
    ASSERT_TRUE(gf_initAppFolder());
    ASSERT_TRUE(gf_loadSettings());
    ASSERT_TRUE(initInstance());
    CallRecorder& calls = box.subsystems().calls;

    auto command = [](const GuiControl& control, WORD code) {
        SendMessageW(g_hWnd, WM_COMMAND, static_cast<WPARAM>(control.controlId()) | (static_cast<WPARAM>(code) << 16),
                     0);
    };
    auto setText = [](const GuiControl& control, const std::string& text) {
        SetDlgItemTextW(g_hWnd, control.controlId(), win32::utf8ToWide(text).c_str());
    };

    // An edit box: the text is taken when the box loses the focus, clamped and shown again.
    setText(g_optAirportRange, "99");
    command(g_optAirportRange, 0x0200);
    EXPECT_EQ(g_optAirportRange.value(), 30);
    EXPECT_EQ(win32::windowModel().text(g_optAirportRange.controlId()), "30");
    setText(g_optAirportRange, "abc");
    command(g_optAirportRange, 0x0200);
    EXPECT_EQ(g_optAirportRange.value(), 30);
    EXPECT_EQ(win32::windowModel().text(g_optAirportRange.controlId()), "30");

    // A check box: clicked state taken and saved.
    CheckDlgButton(g_hWnd, g_optWeek.controlId(), BST_CHECKED);
    command(g_optWeek, 0);
    EXPECT_TRUE(g_optWeek.value());
    CheckDlgButton(g_hWnd, g_optNavLightsWhileParked.controlId(), BST_CHECKED);
    command(g_optNavLightsWhileParked, 0);

    // RT_PARKTRAFFIC_ONLY disables the schedule-based parking controls and clears their texts.
    CheckDlgButton(g_hWnd, g_optRtParktrafficOnly.controlId(), BST_CHECKED);
    command(g_optRtParktrafficOnly, 0);
    EXPECT_FALSE(win32::windowModel().enabled(g_optParkingPercentage.controlId()));
    EXPECT_EQ(win32::windowModel().text(g_optParkingPercentage.controlId()), "");
    CheckDlgButton(g_hWnd, g_optRtParktrafficOnly.controlId(), BST_UNCHECKED);
    command(g_optRtParktrafficOnly, 0);
    EXPECT_TRUE(win32::windowModel().enabled(g_optParkingPercentage.controlId()));
    EXPECT_EQ(win32::windowModel().text(g_optParkingPercentage.controlId()), "30");

    setText(g_optDestination, "EHAM");
    command(g_optDestination, 0x0200);
    command(g_btnRescanAirports, 0);
    command(g_btnRereadParkAirports, 0);
    command(g_btnFlushStatic, 0);
    EXPECT_TRUE(gf_takeFlushStaticRequest());
    EXPECT_TRUE(calls.calls().empty());  // queued for the main loop
    gf_runWindowCommands();
    EXPECT_EQ(calls.calls(), (std::vector<std::string>{"navLights on", "addParkAirport EHAM", "rescanAirports",
                                                       "rereadParkAirports"}));
    EXPECT_TRUE(g_optScanAirports.value());
    EXPECT_NE(box.logText().find("New destination: EHAM"), std::string::npos);

    // Everything above reached parameters.xml at once: a fresh load reads it back.
    gf_resetSettingsStore();
    for (Parameter* p : gf_allParameters())
        p->resetToDefault();
    ASSERT_TRUE(gf_loadSettings());
    EXPECT_EQ(g_optAirportRange.value(), 30);
    EXPECT_TRUE(g_optWeek.value());
    EXPECT_TRUE(g_optNavLightsWhileParked.value());
    EXPECT_EQ(g_optDestination.value(), "EHAM");
    EXPECT_FALSE(g_optRtParktrafficOnly.value());
}

TEST(WindowModel, PaintedValuesRepaintTheWindow)
{
    AppSandbox box;
    const int before = win32::windowModel().invalidations();
    gf_updatePainted([](PaintedValues& p) {
        p.standCount = 76;
        p.tbloText = "3 airports in TBLO folder";
    });
    EXPECT_GT(win32::windowModel().invalidations(), before);
    EXPECT_EQ(gf_paintedValues().standCount, 76);
    EXPECT_EQ(win32::windowModel().painted("stands"), std::optional<std::string>("76"));
    gf_resetPainted();
    EXPECT_EQ(gf_paintedValues().standCount, 0);
}


// What the Windows window paints in its value column, in order and colour, from the painted values.
TEST(WindowModel, PaintedValueLinesInTheirPlacesAndColours)
{
    PaintedValues p;
    const auto empty = gf_paintedValueLines(p);
    ASSERT_EQ(empty.size(), 12u);
    EXPECT_EQ(empty[0].text, "Stands: 0");
    EXPECT_EQ(empty[1].text, "");  // no publisher yet: the line keeps its place
    EXPECT_EQ(empty[3].text, "Live aircraft: 0");
    EXPECT_EQ(empty[4].text, "Parked: 0 live, 0 static of 0");
    EXPECT_EQ(empty[8].text, "Flight: none");
    EXPECT_EQ(empty[8].tone, PaintTone::Warning);

    p.standCount = 76;
    p.handmadeMark = true;
    p.planMark = true;
    p.publisherText = "Publisher: Example Sceneries";
    p.publisherWarning = true;
    p.parkedCount = 41;
    p.liveCount = 12;
    p.liveParkedCount = 3;
    p.staticParkedCount = 37;
    p.softPlanned = 1;
    p.avgParkHoursLive = 2.25;
    p.avgParkHoursStatic = 11.0;
    p.fitOffset = -1.5;
    p.realFitOffset = 0.04;
    p.tbloText = "3 airports in TBLO folder";
    p.flightIndicator = true;
    p.selectedText = "KLM1234";
    const auto lines = gf_paintedValueLines(p);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0].text, "Stands: 76  handmade  plan");
    EXPECT_EQ(lines[1].text, "Publisher: Example Sceneries");
    EXPECT_EQ(lines[1].tone, PaintTone::Warning);
    EXPECT_EQ(lines[3].text, "Live aircraft: 12");
    EXPECT_EQ(lines[4].text, "Parked: 3 live, 37 static of 41  soft");
    EXPECT_EQ(lines[5].text, "Parked hours: live 2.2, static 11.0");
    EXPECT_EQ(lines[6].text, "Fit offset: -1.5 (real 0.0)");
    EXPECT_EQ(lines[7].text, "3 airports in TBLO folder");
    EXPECT_EQ(lines[8].text, "Flight: running");
    EXPECT_EQ(lines[8].tone, PaintTone::Success);
    EXPECT_EQ(lines[11].text, "KLM1234");
    p.publisherWarning = false;
    EXPECT_EQ(gf_paintedValueLines(p)[1].tone, PaintTone::Success);
}

}  // namespace
