// A sandbox for tests of the application frame: a temporary working folder (the process changes
// into it), settings and Log.txt in it, short exit waits, the run's exit thread, and recording
// subsystems in place of the real ones: every call of the frame interface is recorded by name,
// runs what the test put under that name, and queries give the test's answers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/subsystems.h"
#include "support/settings_fixture.h"

namespace tvxtest {

// Names of hook calls in the order they happened; thread-safe.
class CallRecorder {
public:
    void add(std::string name);
    std::vector<std::string> calls() const;
    int count(const std::string& name) const;
    // Index of the first call of that name, -1 when none.
    int indexOf(const std::string& name) const;
    void clear();
    // Waits until a call of that name was recorded; false on timeout.
    bool waitFor(const std::string& name, std::chrono::milliseconds limit) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_calls;
};

// The frame interface as the frame's tests see it. Call names:
//   startUpStep   "simulatorFolders" "selectedSimulator" "aircraftData" "airports" "addonAirports"
//                 "parking" "controls" "traffic"
//   requestUserAc "userAc(state)" "userAc(onGround)" "userAc(position)" "userAc(title)"
//   login "login", runSimClient "simClient", runReader "reader(weather)" "reader(traffic)"
//   acceptTraffic "accept(true)" "accept(false)", flightWake "flightWake",
//   idleWake "idleWake" "idleWake(first)", everySecond "everySecond" then one name per work flag
//                 set: "selectAcByCallsign" "removeAllStaticAc" "collisionUserGround"
//                 "collisionUserAir" "collisionLiveParked"
//   periodic      "clearReservedStand" "startParkAdjustment" "removeStaticTwins"
//                 "callsign2ObjectId" "logNoMatchList" "dailyReset"
//   applyParkTrafficChanges "apply" "apply(renew)", checkForParkAirportUpdates "parkUpdates(true)"
//                 "parkUpdates(false)"
//   windowCommand "addParkAirport <code>" "navLights on" "navLights off" "rescanAirports"
//                 "rereadParkAirports" "parkParamsChanged" "trimLiveToMaxLive"
//   exitStep      "stopReaders" "logout" "removeAllTraffic" "cleanUp"
// Questions are not recorded. Unanswered questions, login and the user-aircraft requests answer
// as a frame without subsystems would: no flight, no tick, on the ground, position set, traffic
// received, a reader running once its thread has entered runReader, no static aircraft, no reserved stand, no adjustments, no stands, no
// parking file, removal queue empty, simulator not quit; login and requests succeed.
class RecordingSubsystems : public Subsystems {
public:
    CallRecorder calls;
    // Run after the call of that name was recorded (from the calling thread).
    std::map<std::string, std::function<void()>> on;
    // Run after every recorded call, with its name.
    std::function<void(const std::string&)> onCall;
    std::map<Question, std::function<bool()>> answers;
    std::function<LoginOutcome()> loginAnswer;
    std::function<bool(UserAcRequest)> userAcAnswer;
    std::function<void(std::stop_token)> simClient;  // body of the simulator client thread
    AutoRangeInput autoRange;

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

    // The reader threads run detached: waits until every one that entered runReader has left it,
    // so none still reads this object when it goes away. False when the limit passed first.
    bool waitReadersLeft(std::chrono::milliseconds limit);

private:
    void call(const std::string& name);

    std::mutex m_readerMutex;  // guards the two values below
    std::condition_variable m_readerLeft;
    int m_readersInside = 0;
    bool m_readerEntered[2] = {false, false};  // weather, traffic
};

class AppSandbox {
public:
    AppSandbox();
    ~AppSandbox();
    AppSandbox(const AppSandbox&) = delete;
    AppSandbox& operator=(const AppSandbox&) = delete;

    const std::filesystem::path& path() const { return m_settings.folder().path(); }
    RecordingSubsystems& subsystems() { return m_subsystems; }
    std::string logText() const { return m_settings.logText(); }
    // file:// URL of a folder, ending in '/'.
    static std::string fileUrl(const std::filesystem::path& folder);

private:
    SettingsSandbox m_settings;
    RecordingSubsystems m_subsystems;
    std::filesystem::path m_previousDir;
};

}  // namespace tvxtest
