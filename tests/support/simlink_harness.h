// A GoogleTest fixture that runs the program's real SimConnect client thread against the embedded
// stand-in simulator in lockstep: the test thread plays the main loop and steps the simulator's
// frames by hand, so every run delivers the same records in the same order. Settings sit in a
// sandbox folder (Log.txt there too), an exit the simulator link asks for is only recorded (no
// exit thread runs here), and every test ends with the stand-in's sanity monitor free of
// undeclared violations.
//
// Header-only, so each test program links it against its own libraries.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/lock_order.h"
#include "foundation/settings.h"
#include "frame/exit_request.h"
#include "frame/frame_state.h"
#include "frame/status.h"
#include "simconnect/standin_sim.h"
#include "simulator/command_queues.h"
#include "simulator/sim_client.h"
#include "simulator/sim_events.h"
#include "simulator/simulator_state.h"
#include "simulator/user_aircraft.h"
#include "support/settings_fixture.h"

namespace tvxtest {

class SimLinkHarness : public ::testing::Test {
protected:
    // The stand-in's configuration for this test (lockstep, 50 fps unless changed).
    virtual simstandin::Config simConfig() const { return {}; }

    void SetUp() override
    {
        m_settings = std::make_unique<SettingsSandbox>();
        gf_resetFrameState();
        gf_clearMainLoopThread();
        gf_resetSimulatorState();
        sim().reset(simConfig());
        gf_resetSimQueues();
    }

    void TearDown() override
    {
        stopClient();
        gf_resetExitRequest();
        EXPECT_THAT(sim().takeUnexpectedViolations(), ::testing::IsEmpty());
        m_settings.reset();
    }

    static simstandin::Sim& sim() { return simstandin::sim(); }

    // Starts SimClient and waits until it polls the stand-in.
    void startClient()
    {
        m_client = std::jthread(SimClient);
        ASSERT_TRUE(sim().waitForDispatcher(std::chrono::seconds(5))) << sim().lastError();
    }

    void stopClient()
    {
        if (m_client.joinable()) {
            m_client.request_stop();
            m_client.join();
        }
    }

    // Starts the client and steps frames until the OPEN record is handled.
    void connect()
    {
        startClient();
        ASSERT_TRUE(frameUntil([] { return g_simConnectedIndicator.load(); }, 5)) << sim().lastError();
    }

    // Starts the flight, waits for "Sim" 1, then does what the start-up sequence does for the
    // user aircraft: request 108, the user state and the title and model.
    void startFlight()
    {
        sim().startFlight();
        ASSERT_TRUE(frameUntil([] { return g_flightRunning.load(); }, 5));
        ASSERT_TRUE(gf_requestUserAcOnGround());
        gf_requestUserAcPosition();
        gf_requestUserAcTitle();
        ASSERT_TRUE(sim().deliver()) << sim().lastError();
    }

    // Steps single frames until the condition holds; false when it never did within maxFrames.
    bool frameUntil(const std::function<bool()>& condition, int maxFrames)
    {
        for (int i = 0; i < maxFrames; ++i) {
            if (condition())
                return true;
            sim().frame();
        }
        return condition();
    }

    // The main loop's part of a tick: drain the simulator events (no live-traffic tick here).
    void ticks(int n, int ticksPerFrame = 2)
    {
        for (int i = 1; i <= n; ++i) {
            gf_SimCommands();
            if (i % ticksPerFrame == 0)
                sim().frame();
        }
    }

    std::string logText() const { return m_settings->logText(); }
    bool logHas(const std::string& text) const { return logText().find(text) != std::string::npos; }
    int logCount(const std::string& text) const
    {
        const std::string log = logText();
        int n = 0;
        for (auto pos = log.find(text); pos != std::string::npos; pos = log.find(text, pos + 1))
            ++n;
        return n;
    }

    std::unique_ptr<SettingsSandbox> m_settings;
    std::jthread m_client;
};

}  // namespace tvxtest
