// The real implementation of the frame interface: every call goes straight to the subsystem that
// does the work. The calls run on the threads the interface names (start-up thread, main loop,
// window thread, exit thread); the locks they take are the subsystems' own.
#include "app/real_subsystems.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "frame/exit_request.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "liveries/aircraft_db.h"
#include "liveries/livery_scan.h"
#include "liveries/packages.h"
#include "liveries/regcodes.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/addon_scan.h"
#include "parking/collision.h"
#include "parking/dest_airport.h"
#include "parking/max_park.h"
#include "parking/park_airport_list.h"
#include "parking/park_choice.h"
#include "parking/park_read.h"
#include "parking/parking_services.h"
#include "parking/placement.h"
#include "parking/stand_schedule.h"
#include "parking/stand_search.h"
#include "parking/static_plan.h"
#include "parking/callsign_listing.h"
#include "parking/traffic_containers.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/duplicates.h"
#include "simulator/feed_handover.h"
#include "simulator/flight_plan.h"
#include "simulator/live_lifecycle.h"
#include "simulator/refused_liveries.h"
#include "simulator/removal.h"
#include "simulator/sim_client.h"
#include "simulator/sim_events.h"
#include "simulator/stand_services.h"
#include "simulator/user_aircraft.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/key_file.h"
#include "traffic_service/parked_traffic.h"
#include "traffic_service/readers.h"
#include "traffic_service/traffic_client.h"
#include "win32/win_api.h"

namespace {

std::filesystem::path lf_shellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return std::filesystem::path(win32::wideToUtf8(path));
}

std::filesystem::path lf_liveriesScannedFile()
{
    return g_appFolder / "LiveriesScanned.xml";
}

// The real subsystems, and the ones a test chose in their place.
RealSubsystems g_realSubsystems;
std::atomic<Subsystems*> g_chosenSubsystems{nullptr};

bool lf_exiting()
{
    return g_exitRequested.load() || g_shuttingDown.load();
}

// Without a scan the livery table comes from LiveriesScanned.xml; a file that cannot be read
// makes the scan due.
bool lf_liveryScanDue()
{
    return gf_liveryScanDue(lf_liveriesScannedFile(), false, false) || !gf_readLiveriesScanned(lf_liveriesScannedFile());
}

// Start-up asks for the user aircraft as soon as the connection is open (waiting at most 5 s), so
// that the traffic reader has a position to query before the first-traffic wait. No call goes to
// a closed handle: a failed call would count as a simulator error.
void lf_requestUserAcState()
{
    const auto connected = [] {
        std::lock_guard lock(g_simConnectMutex);
        return g_hSimConnect != nullptr;
    };
    for (int step = 0; step < 50 && !connected() && !g_exitRequested.load(); ++step)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (connected())
        (void)gf_requestUserAcPosition();
}

// The window's counts: the live aircraft placed in the simulator, the parked ones live and static,
// and the wanted number of parked aircraft while the park airport has stands.
void lf_showAircraftCounts(int liveParked, int staticParked)
{
    const auto live = static_cast<int>(std::count_if(g_liveAc.begin(), g_liveAc.end(),
                                                     [](const LiveAc& ac) { return ac.state == AcState::Placed; }));
    const int wanted = g_parkPositions.empty() ? 0 : g_wantedParkedShown.load();
    const PaintedValues shown = gf_paintedValues();
    if (shown.liveCount == live && shown.liveParkedCount == liveParked && shown.staticParkedCount == staticParked &&
        shown.parkedCount == wanted)
        return;
    gf_updatePainted([=](PaintedValues& p) {
        p.liveCount = live;
        p.liveParkedCount = liveParked;
        p.staticParkedCount = staticParked;
        p.parkedCount = wanted;
    });
}

// Every placed aircraft follows the navigation-lights option.
void lf_setNavLights(bool on)
{
    for (const LiveAc& ac : g_liveAc) {
        if (ac.state == AcState::Placed)
            gf_setNavLights(ac.objectId, on);
    }
    for (const StaticAc& ac : g_staticAc) {
        if (ac.state == AcState::Placed)
            gf_setNavLights(ac.objectId, on);
    }
}

}  // namespace

void RealSubsystems::startUpStep(StartUpStep step)
{
    switch (step) {
    case StartUpStep::SimulatorFolders:
        gf_detectCommunityFolders(lf_shellFolder(CSIDL_APPDATA), lf_shellFolder(CSIDL_LOCAL_APPDATA));
        return;
    case StartUpStep::SelectedSimulator:
        gf_detectInstallPath(g_simIs2020.load(), lf_shellFolder(CSIDL_APPDATA), lf_shellFolder(CSIDL_LOCAL_APPDATA));
        gf_writeKeyFileTemplate(g_appFolder);
        return;
    case StartUpStep::AircraftData:
        gf_loadAircraftDb(std::filesystem::path("input") / "aircraftdb.xml");
        gf_loadRegcodePacks(std::filesystem::path("input") / "regcodes");
        if (lf_liveryScanDue() && !lf_exiting()) {
            gf_scanLiveries(gf_liveryScanRoots());
            gf_writeLiveriesScanned(lf_liveriesScannedFile());
            gf_writeLiveryReports(std::filesystem::path("output") / "info");
        }
        return;
    case StartUpStep::Airports:
        gf_trimLiveToMaxLive();
        gf_readAirports();  // read once per process; errors 87 and 88 go to the start-up handler
        return;
    case StartUpStep::AddonAirports:
        gf_scanAddonAirports();
        return;
    case StartUpStep::Parking:
        gf_prepareFlightPlanFolder();
        (void)lf_readMyParkAirports();
        return;
    case StartUpStep::Controls:
        gf_enableControls();
        return;
    case StartUpStep::Traffic:
        gf_reserveTrafficContainers();
        gf_resetSimQueues();
        return;
    }
}

bool RealSubsystems::requestUserAc(UserAcRequest request)
{
    switch (request) {
    case UserAcRequest::State:
        lf_requestUserAcState();
        return true;
    case UserAcRequest::OnGround:
        return gf_requestUserAcOnGround();
    case UserAcRequest::Position:
        (void)gf_requestUserAcPosition();
        return true;
    case UserAcRequest::Title:
        gf_requestUserAcTitle();
        return true;
    }
    return false;
}

LoginOutcome RealSubsystems::login()
{
    g_trafficClient.resetSession();
    g_trafficClient.resetStop();
    switch (gf_loginTrafficService()) {
    case ServiceLogin::LoggedIn:
        return LoginOutcome::Session;
    case ServiceLogin::NotAnswering:
        return LoginOutcome::NotYet;
    case ServiceLogin::Refused:
        break;
    }
    return LoginOutcome::Refused;
}

void RealSubsystems::runSimClient(std::stop_token stop)
{
    SimClient(stop);
}

void RealSubsystems::runReader(Reader reader)
{
    if (reader == Reader::Weather)
        gf_weatherReader();
    else
        gf_trafficReader();
}

bool RealSubsystems::ask(Question question)
{
    switch (question) {
    case Question::FlightRunning:
        return g_flightRunning.load();
    case Question::TakeTick:
        return g_tickFlag.exchange(false);
    case Question::UserOnGround:
        return g_userOnGround.load();
    case Question::UserPositionSet: {
        const UserAcState user = gf_userAc();
        return !gf_isNoFlightPosition(user.latitude, user.longitude);
    }
    case Question::FirstTrafficReceived:
        return g_trafficClient.trafficDataTime() > 0.0 || g_trafficClient.buffersFetched();
    case Question::WeatherReaderRunning:
        return gf_readersRunning() >= 1;
    case Question::TrafficReaderRunning:
        return gf_readersRunning() >= 2;
    case Question::StaticAcExist:
        return !g_staticAc.empty();
    case Question::ReservedStand:
        return !g_parkAirport.code.empty() && !g_reservedStand.empty();
    case Question::ParkAdjustmentsEnabled:
        // INITIAL_LOAD_ONLY keeps the parked traffic as first placed ("Flush static" switches it
        // on so that the flushed aircraft do not come back with the next adjustment).
        return g_apfLoaded.load() && !g_parkAirport.code.empty() && !g_optInitialLoadOnly.value();
    case Question::ParkAirportHasStands:
        return !g_parkAirport.code.empty() && !g_parkPositions.empty();
    case Question::ParkFileLoaded:
        return g_apfLoaded.load();
    case Question::RemovalQueueEmpty: {
        std::lock_guard lock(g_simConnectMutex);
        return g_removeAcCmds.empty();
    }
    case Question::SimHasQuit:
        return gf_simHasQuit();
    }
    return false;
}

void RealSubsystems::acceptTraffic(bool accept)
{
    gf_acceptUdpMessages(accept);
}

void RealSubsystems::flightWake()
{
    gf_updateAI();
}

void RealSubsystems::idleWake(bool firstOfPause)
{
    gf_SimCommands();
    if (!firstOfPause)
        return;
    // Positions written before the pause would move the aircraft when the flight resumes.
    std::lock_guard lock(g_simConnectMutex);
    g_acPosUpdates.write.clear();
    g_acPosUpdates.send.clear();
}

void RealSubsystems::everySecond(const SecondWork& work)
{
    if (work.selectAcByCallsign)
        gf_selectAcByCallsign();
    gf_searchCoupledCallsignsOfNewLiveAc();
    gf_checkOneDuplicate();
    if (work.removeAllStaticAc)
        gf_removeAllStaticAc();
    if (work.collisionUserGround)
        gf_collisionAvoidanceUserGround();
    if (work.collisionUserAir) {
        for (LiveAc& ac : g_liveAc) {
            if (gf_collisionAvoidanceUserAir(ac))
                break;
        }
    }
    if (work.collisionLiveParked)
        gf_checkTaxiingLiveAgainstParked();
    // Counts and averages of the parked aircraft, live then static.
    const std::uint32_t liveParked = gf_countLiveParked(true);
    const std::uint32_t staticParked = gf_countStaticParked(true);
    lf_showAircraftCounts(static_cast<int>(liveParked), static_cast<int>(staticParked));
}

void RealSubsystems::periodic(Periodic work)
{
    switch (work) {
    case Periodic::ClearReservedStand:
        gf_clearReservedStand();
        return;
    case Periodic::StartParkAdjustment:
        gf_disableControls();
        gf_requestHistoryBuffers();
        // Fetched by the traffic reader for the adjustment of the next turn.
        gf_requestParkedTraffic();
        return;
    case Periodic::RemoveStaticTwins:
        for (LiveAc& ac : g_liveAc)
            gf_removeStaticTwinOfLiveAc(ac);
        return;
    case Periodic::WriteCallsign2ObjectId:
        gf_writeCallsign2ObjectIdFile();
        return;
    case Periodic::LogNoMatchList:
        gf_logNoMatchList();
        return;
    case Periodic::DailyReset:
        g_noMatchSet.clear();
        return;
    }
}

void RealSubsystems::applyParkTrafficChanges(bool renew)
{
    // The park airport's first plan, when it still waits for the service's parked list, comes first.
    if (g_staticPlanWaiting) {
        g_staticPlanWaiting = false;
        gf_buildStaticPlan();
        return;
    }
    gf_applyParkTrafficChanges(renew);
}

void RealSubsystems::checkForParkAirportUpdates(bool first)
{
    gf_takeUserStandIntoParkList();
    gf_checkForParkAirportUpdates(first);
}

void RealSubsystems::windowCommand(const WindowCommand& command)
{
    switch (command.kind) {
    case WindowCommand::AddParkAirport:
        gf_addParkAirportByCode(command.text);
        return;
    case WindowCommand::NavLights:
        lf_setNavLights(command.on);
        return;
    case WindowCommand::RescanAirports:
        g_addonAirportFound.store(false);
        return;
    case WindowCommand::RereadParkAirports: {
        std::string message;
        if (gf_checkReservedStands(true, message))
            gf_setStatusLine(message, true);
        return;
    }
    case WindowCommand::ParkParamsChanged:
        g_parkParamsChanged.store(true);
        return;
    case WindowCommand::TrimLiveToMaxLive:
        gf_trimLiveToMaxLive();
        return;
    }
}

AutoRangeInput RealSubsystems::autoRangeInput()
{
    return gf_autoRangeInput();
}

void RealSubsystems::exitStep(ExitStep step)
{
    switch (step) {
    case ExitStep::StopReaders:
        gf_stopReaders(std::chrono::seconds(5));
        return;
    case ExitStep::Logout:
        gf_logoutTrafficService();
        return;
    case ExitStep::RemoveAllTraffic:
        gf_removeAllLiveAc();
        gf_removeAllStaticAc();
        gf_removeAnnouncedObjects();  // created, not yet placed: the simulator would keep them
        gf_flushRemoveRequests();     // every removal request into the simulator's queue
        return;
    case ExitStep::CleanUp:
        gf_takeUserStandIntoParkList();
        gf_removeParkedTraffic();
        gf_logNoMatchList();
        gf_removeFlightPlanFolder();
        // What record acceptance swallowed this run, rule by rule (cleared with the traffic state).
        gf_log("{}", gf_swallowCountsText());
        gf_clearTrafficState();
        // The error count of the last run (three errors restart the program) and the user aircraft.
        g_simErrorCount.store(0);
        g_simConnectFailed.store(false);
        gf_resetSimClientState();
        gf_resetUserAc();
        return;
    }
}

Subsystems& gf_subsystems()
{
    Subsystems* chosen = g_chosenSubsystems.load();
    return chosen != nullptr ? *chosen : g_realSubsystems;
}

void gf_setSubsystems(Subsystems* subsystems)
{
    g_chosenSubsystems.store(subsystems);
}

void gf_connectSubsystems()
{
    // The simulator's calls into the park airport's stands.
    gf_setStandServices(&gf_parkingStandServices());
    // The traffic client's reader threads hand their batches, stand-name questions and error lines on.
    TrafficFeedSink& sink = gf_feedSink();
    sink.handleBatch = [](TrafficClient& client, std::uint32_t delay) { gf_handleTrafficBatch(client, delay); };
    sink.nearestStandName = [](double lat, double lon) { return gf_nearestStandName(lat, lon); };
    sink.setErrorLine = [](std::string_view text) { gf_setErrorLine(text); };
    sink.setStatusLine = [](std::string_view text) { gf_setStatusLine(text, true); };
    sink.clearStatusLine = [](std::string_view text) { gf_clearStatusLineIf(text); };
}
