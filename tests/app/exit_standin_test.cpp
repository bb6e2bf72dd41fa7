// FinalExit against the stand-in simulator: the program's own objects are all removed before the
// simulator client is stopped, and the settings are saved. The start-up thread runs for real with
// the program's own subsystems (simulator client, removal walk, removal queue), without AI ticks.
#include <gtest/gtest.h>

#include <thread>

#include "app/entry.h"
#include "app/exit.h"
#include "app/real_subsystems.h"
#include "app/startup.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "frame/window_model.h"
#include "simconnect/standin_sim.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/sim_client.h"
#include "support/app_sandbox.h"
#include "win32/win_api.h"

namespace {

using namespace std::chrono_literals;
using tvxtest::AppSandbox;

template <typename Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

std::size_t ownObjects()
{
    std::size_t count = 0;
    for (const auto& object : simstandin::sim().objects())
        count += object.own ? 1 : 0;
    return count;
}

// The program's own subsystems, less what needs the traffic service, the airport list, the
// aircraft database or feed records: the main loop runs no AI ticks here, so the aircraft stay as
// the test places them.
class StandInRun : public RealSubsystems {
public:
    void startUpStep(StartUpStep step) override
    {
        if (step == StartUpStep::SelectedSimulator || step == StartUpStep::AircraftData || step == StartUpStep::Airports)
            return;
        RealSubsystems::startUpStep(step);
    }
    LoginOutcome login() override { return LoginOutcome::Refused; }
    // The main loop learns the stand-in's own objects as placed aircraft when the test asks.
    void flightWake() override
    {
        if (!placeRequested.exchange(false))
            return;
        for (const auto& object : simstandin::sim().objects()) {
            if (!object.own)
                continue;
            LiveAc ac;
            ac.hexid = 0x484000 + static_cast<std::uint32_t>(g_liveAc.size());
            ac.objectId = object.id;
            ac.state = AcState::Placed;
            g_liveAc.push_back(std::move(ac));
        }
        placed = true;
    }
    void idleWake(bool) override {}

    std::atomic<bool> placeRequested{false};
    std::atomic<bool> placed{false};
};

TEST(ExitStandIn, EveryObjectRemovedBeforeTheClientStopsAndSettingsSaved)
{
    StandInRun subsystems;  // outlives the sandbox, which joins the threads that use it
    AppSandbox box;
    simstandin::Config config;
    config.mode = simstandin::Mode::FreeRunning;
    config.flightRunning = true;
    config.acceptAnyTitle = true;
    config.removeObjectsOnClose = false;  // what is removed, the program removed
    config.appName = "KittyHawk";
    g_optMsfs2020.set(true);
    simstandin::sim().reset(config);
    simstandin::UserAc user;
    user.pos = {52.3086, 4.7639, 0.0};
    simstandin::sim().setUser(user);
    ASSERT_TRUE(gf_initAppFolder());

    gf_connectSubsystems();
    gf_setSubsystems(&subsystems);

    gf_handleAppMessage(g_msgStartUp);
    ASSERT_TRUE(waitUntil([] { return g_mainLoopRunning.load() && g_flightRunning.load(); }, 10s));

    // Three aircraft created through the program's own queue, as the live traffic does.
    static const std::string titles[] = {"Stand-in A320 KLM", "Stand-in B738 TRA", "Stand-in E190 KLC"};
    for (int i = 0; i < 3; ++i) {
        CreateAcCmd cmd;
        cmd.initPos.Latitude = 52.30 + 0.01 * i;
        cmd.initPos.Longitude = 4.76;
        cmd.initPos.Altitude = 3000;
        cmd.callsign = "TST" + std::to_string(i);
        cmd.title = titles[i];
        cmd.hexid = 0x484000 + i;
        gf_queueCreateAc(cmd);
    }
    ASSERT_TRUE(waitUntil([] { return ownObjects() == 3; }, 10s)) << simstandin::sim().lastError();

    // The main loop learns their object ids (here: straight from the stand-in) and keeps them.
    subsystems.placeRequested = true;
    ASSERT_TRUE(waitUntil([&] { return subsystems.placed.load(); }, 10s));

    gf_exit(ExitReason::SIM_WAS_CLOSED, 0);
    ASSERT_TRUE(gf_waitFinalExitDone(20s));
    gf_joinStartUpThread();

    EXPECT_EQ(ownObjects(), 0u);
    std::size_t removed = 0;
    for (const auto& removal : simstandin::sim().removals())
        removed += (removal.packet != 0 && removal.exception == 0) ? 1 : 0;
    EXPECT_EQ(removed, 3u) << box.logText();
    EXPECT_FALSE(gf_simClientRunning());
    EXPECT_TRUE(std::filesystem::exists(gf_settingsPath()));
    EXPECT_NE(box.logText().find("Exiting: SIM WAS CLOSED"), std::string::npos);
    // FinalExit posts WM_APP+2 right after it has finished.
    bool quitPosted = false;
    EXPECT_TRUE(waitUntil(
        [&] {
            MSG msg{};
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                quitPosted = quitPosted || msg.message == g_msgQuit;
            return quitPosted;
        },
        5s));
    g_liveAc.clear();
}

}  // namespace
