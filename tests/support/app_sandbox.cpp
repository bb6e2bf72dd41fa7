// The frame's test sandbox (see app_sandbox.h).
#include "support/app_sandbox.h"

#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/exit.h"
#include "app/main_loop.h"
#include "app/startup.h"
#include "frame/server_files.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "win32/win_api.h"
#include "win32/window_model.h"

namespace tvxtest {

void CallRecorder::add(std::string name)
{
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(name));
    }
    m_changed.notify_all();
}

std::vector<std::string> CallRecorder::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

int CallRecorder::count(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count(m_calls.begin(), m_calls.end(), name));
}

int CallRecorder::indexOf(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    const auto it = std::find(m_calls.begin(), m_calls.end(), name);
    return it == m_calls.end() ? -1 : static_cast<int>(it - m_calls.begin());
}

void CallRecorder::clear()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

bool CallRecorder::waitFor(const std::string& name, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] {
        return std::find(m_calls.begin(), m_calls.end(), name) != m_calls.end();
    });
}

void RecordingSubsystems::call(const std::string& name)
{
    calls.add(name);
    if (const auto it = on.find(name); it != on.end() && it->second)
        it->second();
    if (onCall)
        onCall(name);
}

void RecordingSubsystems::startUpStep(StartUpStep step)
{
    switch (step) {
    case StartUpStep::SimulatorFolders: return call("simulatorFolders");
    case StartUpStep::SelectedSimulator: return call("selectedSimulator");
    case StartUpStep::AircraftData: return call("aircraftData");
    case StartUpStep::Airports: return call("airports");
    case StartUpStep::AddonAirports: return call("addonAirports");
    case StartUpStep::Parking: return call("parking");
    case StartUpStep::Controls: return call("controls");
    case StartUpStep::Traffic: return call("traffic");
    }
}

bool RecordingSubsystems::requestUserAc(UserAcRequest request)
{
    switch (request) {
    case UserAcRequest::State: call("userAc(state)"); break;
    case UserAcRequest::OnGround: call("userAc(onGround)"); break;
    case UserAcRequest::Position: call("userAc(position)"); break;
    case UserAcRequest::Title: call("userAc(title)"); break;
    }
    return userAcAnswer ? userAcAnswer(request) : true;
}

LoginOutcome RecordingSubsystems::login()
{
    {
        // A new start-up: its readers are yet to enter.
        std::lock_guard lock(m_readerMutex);
        m_readerEntered[0] = m_readerEntered[1] = false;
    }
    call("login");
    return loginAnswer ? loginAnswer() : LoginOutcome::Session;
}

void RecordingSubsystems::runSimClient(std::stop_token stop)
{
    call("simClient");
    if (simClient)
        simClient(stop);
}

void RecordingSubsystems::runReader(Reader reader)
{
    {
        std::lock_guard lock(m_readerMutex);
        ++m_readersInside;
        m_readerEntered[reader == Reader::Weather ? 0 : 1] = true;
    }
    call(reader == Reader::Weather ? "reader(weather)" : "reader(traffic)");
    // Notified under the lock: once the waiter holds it, this thread touches the object no more.
    std::lock_guard lock(m_readerMutex);
    --m_readersInside;
    m_readerLeft.notify_all();
}

bool RecordingSubsystems::waitReadersLeft(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_readerMutex);
    return m_readerLeft.wait_for(lock, limit, [this] { return m_readersInside == 0; });
}

bool RecordingSubsystems::ask(Question question)
{
    if (const auto it = answers.find(question); it != answers.end() && it->second)
        return it->second();
    switch (question) {
    case Question::UserOnGround:
    case Question::UserPositionSet:
    case Question::FirstTrafficReceived:
    case Question::RemovalQueueEmpty:
        return true;
    case Question::WeatherReaderRunning:
    case Question::TrafficReaderRunning: {
        std::lock_guard lock(m_readerMutex);
        return m_readerEntered[question == Question::WeatherReaderRunning ? 0 : 1];
    }
    default:
        return false;
    }
}

void RecordingSubsystems::acceptTraffic(bool accept)
{
    call(accept ? "accept(true)" : "accept(false)");
}

void RecordingSubsystems::flightWake()
{
    call("flightWake");
}

void RecordingSubsystems::idleWake(bool firstOfPause)
{
    call(firstOfPause ? "idleWake(first)" : "idleWake");
}

void RecordingSubsystems::everySecond(const SecondWork& work)
{
    call("everySecond");
    if (work.selectAcByCallsign)
        call("selectAcByCallsign");
    if (work.removeAllStaticAc)
        call("removeAllStaticAc");
    if (work.collisionUserGround)
        call("collisionUserGround");
    if (work.collisionUserAir)
        call("collisionUserAir");
    if (work.collisionLiveParked)
        call("collisionLiveParked");
}

void RecordingSubsystems::periodic(Periodic work)
{
    switch (work) {
    case Periodic::ClearReservedStand: return call("clearReservedStand");
    case Periodic::StartParkAdjustment: return call("startParkAdjustment");
    case Periodic::RemoveStaticTwins: return call("removeStaticTwins");
    case Periodic::WriteCallsign2ObjectId: return call("callsign2ObjectId");
    case Periodic::LogNoMatchList: return call("logNoMatchList");
    case Periodic::DailyReset: return call("dailyReset");
    }
}

void RecordingSubsystems::applyParkTrafficChanges(bool renew)
{
    call(renew ? "apply(renew)" : "apply");
}

void RecordingSubsystems::checkForParkAirportUpdates(bool first)
{
    call(first ? "parkUpdates(true)" : "parkUpdates(false)");
}

void RecordingSubsystems::windowCommand(const WindowCommand& command)
{
    switch (command.kind) {
    case WindowCommand::AddParkAirport: return call("addParkAirport " + command.text);
    case WindowCommand::NavLights: return call(command.on ? "navLights on" : "navLights off");
    case WindowCommand::RescanAirports: return call("rescanAirports");
    case WindowCommand::RereadParkAirports: return call("rereadParkAirports");
    case WindowCommand::ParkParamsChanged: return call("parkParamsChanged");
    case WindowCommand::TrimLiveToMaxLive: return call("trimLiveToMaxLive");
    }
}

AutoRangeInput RecordingSubsystems::autoRangeInput()
{
    return autoRange;
}

void RecordingSubsystems::exitStep(ExitStep step)
{
    switch (step) {
    case ExitStep::StopReaders: return call("stopReaders");
    case ExitStep::Logout: return call("logout");
    case ExitStep::RemoveAllTraffic: return call("removeAllTraffic");
    case ExitStep::CleanUp: return call("cleanUp");
    }
}

AppSandbox::AppSandbox()
{
    m_previousDir = std::filesystem::current_path();
    std::filesystem::current_path(path());
    std::filesystem::create_directories(path() / "roaming");
    std::filesystem::create_directories(path() / "local");
    setenv("TAVIX_ROAMING_DIR", (path() / "roaming").c_str(), 1);
    setenv("TAVIX_LOCAL_DIR", (path() / "local").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", path().c_str(), 1);
    gf_setSubsystems(&m_subsystems);
    g_exitTimings = ExitTimings{};
    g_exitTimings.readerStopWait = std::chrono::milliseconds(0);
    g_exitTimings.mainLoopStopLimit = std::chrono::milliseconds(5000);
    g_exitTimings.countdownStep = std::chrono::milliseconds(0);
    g_mainLoopSleep = [](std::chrono::milliseconds) {};
    g_startUpSleep = [](std::chrono::milliseconds) {};
    g_serverBaseUrl = fileUrl(path() / "server");
    gf_resetExitState();
    gf_startExitThread();
    gf_resetMainLoopState();
    lf_resetServiceHold();
    // Messages and windows of an earlier test in the same process are forgotten.
    win32::windowModel().reset();
    win32::windowModel().setEcho(false);
    g_hWnd = nullptr;
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    gf_clearErrorLine();
    gf_clearStatusLine();
}

AppSandbox::~AppSandbox()
{
    // An exit started by the test finishes before the sandbox (and its subsystems) goes away.
    gf_joinStartUpThread();
    gf_joinExitThread();
    if (!m_subsystems.waitReadersLeft(std::chrono::seconds(10)))
        ADD_FAILURE() << "a reader thread is still inside the recording subsystems";
    gf_setSubsystems(nullptr);
    std::error_code ec;
    std::filesystem::current_path(m_previousDir, ec);
}

std::string AppSandbox::fileUrl(const std::filesystem::path& folder)
{
    std::string url = "file://" + std::filesystem::absolute(folder).string();
    if (url.back() != '/')
        url += '/';
    return url;
}

}  // namespace tvxtest
