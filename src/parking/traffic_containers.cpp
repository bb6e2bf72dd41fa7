// The traffic containers over the life of the process: reserving them, leaving the park airport
// and the exit reset. See traffic_containers.h.
//
// Thread: the main loop; gf_removeParkedTraffic and gf_clearTrafficState also on the exit thread
// after the main loop has ended.
#include "parking/traffic_containers.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <list>
#include <mutex>
#include <string_view>
#include <system_error>
#include <vector>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/text_file.h"
#include "foundation/time_slots.h"
#include "frame/window_model.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/max_park.h"
#include "parking/callsign_listing.h"
#include "parking/learned_save.h"
#include "parking/park_airport_list.h"
#include "parking/park_choice.h"
#include "parking/park_read.h"
#include "parking/parking_file.h"
#include "parking/placement.h"
#include "parking/placement_stands.h"
#include "parking/stand_schedule.h"
#include "parking/stand_search.h"
#include "parking/static_plan.h"
#include "simulator/ai_tick.h"
#include "simulator/duplicates.h"
#include "simulator/feed_handover.h"
#include "simulator/live_lifecycle.h"
#include "simulator/refused_liveries.h"
#include "simulator/removal.h"
#include "simulator/sim_events.h"
#include "traffic_service/parked_traffic.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/weather.h"
#include "win32/win_api.h"

namespace {

namespace fs = std::filesystem;

// Reserved capacities (elements).
constexpr std::size_t kLiveStayers = 64;
constexpr std::size_t kParkKeeps = 256;
constexpr std::size_t kLiveAc = 512;
constexpr std::size_t kStaticAc = 256;
constexpr std::size_t kParkPositions = 512;
constexpr std::size_t kSimEvents = 256;
constexpr std::size_t kPendingObjects = 128;
constexpr std::size_t kSpawnQueue = 64;
constexpr std::size_t kStaticParkQueue = 512;
constexpr std::size_t kParkRemovals = 256;
constexpr std::size_t kGhostCallsigns = 64;

std::atomic<bool> g_reservedOnce{false};

void lf_enableControl(const GuiControl& control, bool enable)
{
    EnableWindow(GetDlgItem(g_hWnd, control.controlId()), enable ? TRUE : FALSE);
}

// The live aircraft that stand at or leave the park airport's stands.
bool lf_atParkAirport(const LiveAc& ac)
{
    return ac.phase == AcPhase::Parked || static_cast<std::uint32_t>(ac.phase) <= static_cast<std::uint32_t>(AcPhase::TakeOff);
}

}  // namespace

void lf_resetReservedOnce()
{
    g_reservedOnce.store(false);
}

void gf_reserveTrafficContainers()
{
    if (g_reservedOnce.load())
        return;
    g_liveStayers.reserve(kLiveStayers);
    g_parkKeeps.reserve(kParkKeeps);
    g_liveAc.reserve(kLiveAc);
    g_staticAc.reserve(kStaticAc);
    g_parkPositions.reserve(kParkPositions);
    {
        std::lock_guard lock(g_simEventMutex);
        g_simEvents.reserve(kSimEvents);
        g_pendingObjects.reserve(kPendingObjects);
    }
    g_spawnQueue.reserve(kSpawnQueue);
    g_staticParkQueue.reserve(kStaticParkQueue);
    g_parkRemovals.reserve(kParkRemovals);
    g_ghostCallsigns.reserve(kGhostCallsigns);
    gf_removeCallsignListing();
    g_reservedOnce.store(true);
}

void gf_removeParkedTraffic()
{
    g_staticParkQueue.clear();
    gf_removeAllStaticAc();

    // Dropping a queued creation erases aircraft from g_liveAc, so the walk goes by hexid over a
    // snapshot and looks each aircraft up again.
    std::vector<std::uint32_t> hexids;
    for (const LiveAc& ac : g_liveAc) {
        if (lf_atParkAirport(ac))
            hexids.push_back(ac.hexid);
    }
    for (const std::uint32_t hexid : hexids) {
        const auto it = std::find_if(g_liveAc.begin(), g_liveAc.end(), [hexid](const LiveAc& ac) { return ac.hexid == hexid; });
        if (it == g_liveAc.end() || !lf_atParkAirport(*it))
            continue;
        LiveAc& ac = *it;
        ac.standLat = 0.0;
        ac.standLon = 0.0;
        ac.standHeading = 0.0;
        ac.standId = 0;
        ac.cargoStand = 0;
        if (ac.state == AcState::Placed) {
            gf_removeAct(ac);
        } else if (ac.state == AcState::CreationRequested) {
            const std::string callsign = ac.callsign;
            if (!gf_dropQueuedLiveCreations(callsign)) {
                // The request already went to the simulator: the object goes as soon as it exists.
                ac.removeOnCreation = 1;
            }
        }
    }

    gf_leaveParkAirport();

    const std::int32_t outside = g_maxLiveOutsidePark.load();
    if (g_optMaxLive.value() != outside) {
        g_optMaxLive.setClamped(outside);
        gf_showIntOption(g_optMaxLive);
        gf_trimLiveToMaxLive();
    }
}

void gf_leaveParkAirport()
{
    if (g_apfLoaded.load() && (g_parkParamsChanged.load() || g_parkUpdates > 0)) {
        gf_saveParkFile();
        g_parkUpdates = 0;
    }

    g_handmadeOverruled.store(false);
    g_apfLoaded.store(false);
    g_rtTrafficWeek = 0;
    lf_enableControl(g_btnFlushStatic, false);
    lf_enableControl(g_optParkingPercentage, false);

    g_parkAirport = AirportEntry{};
    g_parkAirportDistanceNm.store(-1.0);
    g_trafficClient.setParkAirportPosition(std::nullopt);
    g_trafficClient.setReferenceElevation(std::nullopt);
    g_staticPlanWaiting = false;
    // The reserved stand belongs to the airport left.
    g_reservedStand.clear();

    g_parkRemovals.clear();
    g_staticParkQueue.clear();
    g_parkPositions.clear();
    gf_publishStands();

    gf_updatePainted([](PaintedValues& p) {
        p.flushStaticEnabled = false;
        p.parkingPercentageEnabled = false;
        p.parkedCount = 0;
        p.standCount = 0;
        p.publisherText.clear();
        p.qualityText.clear();
        p.publisherWarning = false;
        p.planMark = false;
        p.reservedStandMark = false;
    });
}

void gf_clearTrafficState()
{
    g_parkAirport = AirportEntry{};
    g_parkAirportDistanceNm.store(-1.0);
    g_trafficClient.setParkAirportPosition(std::nullopt);
    gf_updatePainted([](PaintedValues& p) {
        p.parkedCount = 0;
        p.standCount = 0;
        p.liveCount = 0;
        p.liveParkedCount = 0;
        p.staticParkedCount = 0;
    });

    {
        std::lock_guard lock(g_simEventMutex);
        g_simEvents.clear();
        g_pendingObjects.clear();
    }
    g_ghostCallsigns.clear();
    g_staticParkQueue.clear();
    g_liveryCache.clear();
    g_spawnQueue.clear();
    g_parkAirports.clear();
    g_removeRequests.clear();
    g_liveCreateRequests.clear();
    g_staticCreateRequests.clear();
    g_parkRemovals.clear();
    g_staticAc.clear();
    // The plan's other lists and maps start empty after a restart as well.
    g_parkKeeps.clear();
    g_liveStayers.clear();
    g_seenCallsigns.clear();
    g_seenHexids.clear();
    g_departedFlights.clear();

    // Empties the hand-over under g_udpMutex and forgets that the main loop had started.
    gf_resetFeedHandover();

    gf_removeCallsignListing();

    g_controlsBusy.store(false);
    InvalidateRect(g_hWnd, nullptr, TRUE);
    g_arrivedLiveAc.clear();
    g_reloadParkFile = false;
    g_staticPlanWaiting = false;
    g_learnSoftAllowed = false;
    g_reservedStand.clear();
    g_lastUserPosition.latitude = 0.0;
    g_lastUserPosition.longitude = 0.0;
    g_selectedObjectId.store(0);
    g_liveAc.clear();
    g_parkPositions.clear();
    gf_publishStands();

    g_qnh.store(1013);

    g_apfHeader.publisher.clear();
    g_apfHeader.airportName.clear();
    g_apfHeader.learnedPath.clear();
    g_apfHeader.altitude = -1;
    g_parkUpdates = 0;
    g_noMatchSet.clear();
}

void gf_clearBufferMaps()
{
    g_seenCallsigns.clear();
    g_seenHexids.clear();
    gf_takeBufferMaps(g_seenCallsigns, g_seenHexids);
}
