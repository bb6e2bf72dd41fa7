// Fills the frame's hooks with the subsystems of this build. The simulator client, the traffic
// service and the liveries are wired here from their public calls; the live traffic and the airport list plug
// themselves in through their own install functions, called last so that what they set wins.
// A subsystem not in the build leaves its hooks empty and the frame skips those calls. Runs once
// on the window thread before the first start-up.
#include "app/subsystem_hooks.h"

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/exit.h"
#include "app/status.h"
#include "foundation/errors.h"
#include "foundation/settings.h"
#include "liveries/aircraft_db.h"
#include "liveries/livery_scan.h"
#include "liveries/packages.h"
#include "liveries/regcodes.h"
#include "parking/addon_scan.h"
#include "parking/choice_install.h"
#include "parking/dest_airport.h"
#include "parking/park_read.h"
#include "parking/parking_install.h"
#include "parking/parking_services.h"
#include "parking/placement_install.h"
#include "parking/schedule_install.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/ground_install.h"
#include "simulator/live_install.h"
#include "simulator/live_lifecycle.h"
#include "simulator/removal.h"
#include "simulator/sim_client.h"
#include "simulator/sim_events.h"
#include "simulator/user_aircraft.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/key_file.h"
#include "traffic_service/readers.h"
#include "traffic_service/traffic_client.h"
#include "win32/win_api.h"

SubsystemHooks g_hooks;

namespace {

// The simulator client thread, its queues and the user aircraft.
void lf_registerSimulatorLink()
{
    g_hooks.simClient = [](std::stop_token stop) { SimClient(stop); };
    g_hooks.resetSimQueues = [] { gf_resetSimQueues(); };
    g_hooks.flightRunning = [] { return g_flightRunning.load(); };
    g_hooks.takeTickFlag = [] { return g_tickFlag.exchange(false); };
    g_hooks.requestUserAcOnGround = [] { return gf_requestUserAcOnGround(); };
    g_hooks.requestUserAcPosition = [] { (void)gf_requestUserAcPosition(); };
    // Start-up asks for the user aircraft as soon as the connection is open (waiting at most 5 s),
    // so that the traffic reader has a position to query before the first-traffic wait. No call
    // goes to a closed handle: a failed call would count as a simulator error.
    g_hooks.requestUserAcState = [] {
        const auto connected = [] {
            std::lock_guard lock(g_simConnectMutex);
            return g_hSimConnect != nullptr;
        };
        for (int step = 0; step < 50 && !connected() && !g_exitRequested.load(); ++step)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (connected())
            (void)gf_requestUserAcPosition();
    };
    g_hooks.requestUserAcTitle = [] { gf_requestUserAcTitle(); };
    g_hooks.userAcPositionSet = [] {
        const UserAcState user = gf_userAc();
        return !gf_isNoFlightPosition(user.latitude, user.longitude);
    };
    g_hooks.userOnGround = [] { return g_userOnGround.load(); };
    g_hooks.simCommands = [] { gf_SimCommands(); };
    g_hooks.clearAcPosUpdates = [] {
        std::lock_guard lock(g_simConnectMutex);
        g_acPosUpdates.write.clear();
        g_acPosUpdates.send.clear();
    };
    g_hooks.removalQueueEmpty = [] {
        std::lock_guard lock(g_simConnectMutex);
        return g_removeAcCmds.empty();
    };
    g_hooks.simHasQuit = [] { return gf_simHasQuit(); };
    // The error count of the last run (three errors restart the program) and the user aircraft.
    g_hooks.resetSimState = [] {
        g_simErrorCount.store(0);
        g_simConnectFailed.store(false);
        gf_resetSimClientState();
        gf_resetUserAc();
    };
    g_hooks.staticAcExist = [] { return !g_staticAc.empty(); };
    g_hooks.disableControls = [] { gf_disableControls(); };
    g_hooks.enableControls = [] { gf_enableControls(); };
    // Main loop (queued by the window): every placed aircraft follows the option.
    g_hooks.setNavLights = [](bool on) {
        for (const LiveAc& ac : g_liveAc) {
            if (ac.state == AcState::Placed)
                gf_setNavLights(ac.objectId, on);
        }
        for (const StaticAc& ac : g_staticAc) {
            if (ac.state == AcState::Placed)
                gf_setNavLights(ac.objectId, on);
        }
    };
}

// The traffic service: key file, session and the two readers.
void lf_registerTrafficService()
{
    g_hooks.writeKeyFileTemplate = [] { gf_writeKeyFileTemplate(g_appFolder); };
    g_hooks.login = [] {
        g_trafficClient.resetSession();
        g_trafficClient.resetStop();
        return gf_loginTrafficService();
    };
    g_hooks.logout = [] { gf_logoutTrafficService(); };
    g_hooks.weatherReader = [] { gf_weatherReader(); };
    g_hooks.trafficReader = [] { gf_trafficReader(); };
    g_hooks.weatherReaderRunning = [] { return gf_readersRunning() >= 1; };
    g_hooks.trafficReaderRunning = [] { return gf_readersRunning() >= 2; };
    g_hooks.firstTrafficReceived = [] {
        return g_trafficClient.trafficDataTime() > 0.0 || g_trafficClient.buffersFetched();
    };
    g_hooks.stopReaders = [] { gf_stopReaders(std::chrono::seconds(5)); };
    g_hooks.queryRangeChanged = [](double rangeNm) { gf_setTrafficQueryRangeNm(rangeNm); };
    gf_feedSink().setErrorLine = [](std::string_view text) { gf_setErrorLine(text); };
}

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

// The aircraft database, the simulator's package folders and the livery scan.
void lf_registerLiveries()
{
    g_hooks.loadAircraftDatabase = [] {
        gf_loadAircraftDb(std::filesystem::path("input") / "aircraftdb.xml");
        gf_loadRegcodePacks(std::filesystem::path("input") / "regcodes");
    };
    g_hooks.detectCommunityFolder = [] {
        gf_detectCommunityFolders(lf_shellFolder(CSIDL_APPDATA), lf_shellFolder(CSIDL_LOCAL_APPDATA));
    };
    g_hooks.detectInstallPath = [] {
        gf_detectInstallPath(g_simIs2020.load(), lf_shellFolder(CSIDL_APPDATA), lf_shellFolder(CSIDL_LOCAL_APPDATA));
    };
    // Without a scan the livery table comes from LiveriesScanned.xml; a file that cannot be read
    // makes the scan due.
    g_hooks.liveryScanDue = [] {
        return gf_liveryScanDue(lf_liveriesScannedFile(), false, false) ||
               !gf_readLiveriesScanned(lf_liveriesScannedFile());
    };
    g_hooks.scanLiveries = [] {
        gf_scanLiveries(gf_liveryScanRoots());
        gf_writeLiveriesScanned(lf_liveriesScannedFile());
        gf_writeLiveryReports(std::filesystem::path("output") / "info");
    };
}

}  // namespace

void gf_registerSubsystems()
{
    lf_registerSimulatorLink();
    lf_registerTrafficService();
    lf_registerLiveries();
    // The simulator's calls into the park airport's stands.
    gf_setStandServices(&gf_parkingStandServices());
    gf_installLiveTraffic();
    gf_installLiveLifecycle();
    gf_registerGroundMotion();
    gf_installAirportList();
    gf_installAddonScan();
    gf_installParkFileState();
    gf_installSchedule();
    gf_installPlacement();
    gf_installChoice();
}
