// The frame's real subsystems: each call of the frame interface (subsystems.h) made with direct
// calls into the simulator link, the traffic-service client, the liveries and the parking code.
// Tests derive from it to leave out what needs the traffic service or recorded data.
#pragma once

#include "app/subsystems.h"

class RealSubsystems : public Subsystems {
public:
    void startUpStep(StartUpStep step) override;
    bool requestUserAc(UserAcRequest request) override;
    LoginOutcome login() override;
    void runSimClient(std::stop_token stop) override;
    void runReader(Reader reader) override;
    bool ask(Question question) override;
    void acceptTraffic(bool accept) override;
    void flightWake() override;
    void idleWake(bool firstOfPause) override;
    void everySecond(const SecondWork& work) override;
    void periodic(Periodic work) override;
    void applyParkTrafficChanges(bool renew) override;
    void checkForParkAirportUpdates(bool first) override;
    void windowCommand(const WindowCommand& command) override;
    AutoRangeInput autoRangeInput() override;
    void exitStep(ExitStep step) override;
};

// Connects what the subsystems cannot call directly: the parking code's stand services for the
// simulator and the traffic client's feed sink. Window thread, once before the first start-up.
void gf_connectSubsystems();
