// Aircraft removal and selection, stand lookups, the parking controls and the configuration
// commands. Main loop thread (the exit sequence also runs the live-aircraft walk); see removal.h.
#include "simulator/removal.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "foundation/format.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "foundation/runtime_texts.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/sim_ids.h"
#include "win32/win_api.h"

std::vector<std::pair<std::uint32_t, std::uint32_t>> g_arrivedLiveAc;
std::atomic<std::uint32_t> g_selectedObjectId{0};
std::atomic<bool> g_controlsBusy{false};
std::atomic<std::int32_t> g_wantedParkedShown{0};
std::atomic<std::int32_t> g_parkingPercentageShown{0};
std::atomic<std::int32_t> g_firstCountdown{0};

namespace {

constexpr std::uint32_t kSlotsPerDay = 48;
constexpr std::uint32_t kGateSlots = 3;
constexpr double kFartherMarginNm = 0.1;
constexpr std::int32_t kCountdownAfterParking = 19;
// An airport of up to this many stands gets one parked aircraft, unless at least this share of
// its stands is wanted (percent).
constexpr std::size_t kFewStands = 3;
constexpr std::int32_t kFewStandsFullPercentage = 50;

void lf_repaint() { InvalidateRect(g_hWnd, nullptr, TRUE); }

void lf_setSelectedText(const std::string& text)
{
    gf_updatePainted([&](PaintedValues& painted) { painted.selectedText = text; });
}

void lf_enable(const GuiControl& control, bool enable) { EnableWindow(control.hwnd(), enable ? TRUE : FALSE); }

// Takes every request out of the queue; those of the callsign are dropped and their aircraft
// erased from the container (last element moved into its place); the others go back in order.
template <typename Container>
bool lf_dropQueuedCreations(std::deque<CreateAcCmd>& queue, Container& aircraft, const std::string& callsign)
{
    bool matched = false;
    std::deque<CreateAcCmd> kept;
    while (!queue.empty()) {
        CreateAcCmd cmd = std::move(queue.front());
        queue.pop_front();
        if (cmd.callsign != callsign) {
            kept.push_back(std::move(cmd));
            continue;
        }
        matched = true;
        const auto it = std::find_if(aircraft.begin(), aircraft.end(),
                                     [&](const auto& ac) { return ac.hexid == cmd.hexid; });
        if (it != aircraft.end()) {
            if (it != aircraft.end() - 1)
                *it = std::move(aircraft.back());
            aircraft.pop_back();
        }
    }
    queue = std::move(kept);
    return matched;
}

}  // namespace

void gf_removeAct(StaticAc& ac)
{
    if (ac.state == AcState::Buffering) {
        ac.removeMark = 1;
        return;
    }
    if (ac.standId != 0) {
        const auto stand = std::find_if(g_parkPositions.begin(), g_parkPositions.end(),
                                        [&](const ParkPos& p) { return p.standId == ac.standId; });
        if (stand != g_parkPositions.end())
            stand->occupied = false;
    }
    // The creation is already with the simulator: the object is removed as soon as it exists.
    if (ac.state == AcState::CreationRequested)
        ac.removeOnCreation = 1;
    ac.state = AcState::BeingRemoved;

    if (ac.objectId != 0 && ac.objectId == g_selectedObjectId.load()) {
        g_selectedObjectId.store(0);
        lf_setSelectedText("");
        if (!g_optCallsign2Objectid.value().empty()) {
            g_optCallsign2Objectid.set("");
            gf_showTextOption(g_optCallsign2Objectid);
        }
    }

    // An object is asked to go once: several rules (the plan, the collision rules, the ends of a
    // stream) can each remove the same aircraft, and the simulator refuses a second request for an
    // object it has removed (an unknown-id exception).
    if (ac.objectId != 0) {
        if (ac.removalAskedFor != ac.objectId) {
            ac.removalAskedFor = ac.objectId;
            g_removeRequests.push_back(ac.objectId);
        }
    } else
        gf_logError("removing act {} with objectid=0 ?", gf_acText(ac));
}

bool gf_dropQueuedStaticCreations(const std::string& callsign)
{
    return lf_dropQueuedCreations(g_staticCreateRequests, g_staticAc, callsign);
}

bool gf_dropQueuedLiveCreations(const std::string& callsign)
{
    return lf_dropQueuedCreations(g_liveCreateRequests, g_liveAc, callsign);
}

void gf_removeAllLiveAc()
{
    // Dropping a queued creation erases aircraft by moving the last one into the gap, anywhere in
    // the vector; walking a snapshot of the hexids visits every aircraft exactly once.
    std::vector<std::uint32_t> hexids;
    hexids.reserve(g_liveAc.size());
    for (const auto& ac : g_liveAc)
        hexids.push_back(ac.hexid);
    for (const std::uint32_t hexid : hexids) {
        const auto it = std::find_if(g_liveAc.begin(), g_liveAc.end(),
                                     [hexid](const LiveAc& ac) { return ac.hexid == hexid; });
        if (it == g_liveAc.end())
            continue;  // erased with a dropped request
        if (it->state == AcState::Placed)
            gf_removeAct(*it);
        else if (it->state == AcState::CreationRequested && !gf_dropQueuedLiveCreations(it->callsign))
            it->removeOnCreation = 1;
    }
}

void gf_flushRemoveRequests()
{
    std::lock_guard lock(g_simConnectMutex);
    g_removeAcCmds.insert(g_removeAcCmds.end(), g_removeRequests.begin(), g_removeRequests.end());
    g_removeRequests.clear();
}

void gf_rememberArrival(std::uint32_t hexid, std::uint32_t slot)
{
    for (auto& pair : g_arrivedLiveAc) {
        if (pair.first == hexid) {
            pair.second = slot;
            return;
        }
    }
    g_arrivedLiveAc.emplace_back(hexid, slot);
}

bool gf_allowOncePer3Slots(std::uint64_t clock, std::uint32_t id, bool force)
{
    const std::uint32_t slot = gf_slotOf(clock);
    const auto it = std::find_if(g_arrivedLiveAc.begin(), g_arrivedLiveAc.end(),
                                 [id](const auto& pair) { return pair.first == id; });
    if (it == g_arrivedLiveAc.end()) {
        g_arrivedLiveAc.emplace_back(id, slot);
        return true;
    }
    if (!force && (slot + kSlotsPerDay - it->second) % kSlotsPerDay < kGateSlots)
        return false;
    it->second = slot;
    return true;
}

std::vector<ParkPos>::iterator gf_findStand(const std::string& name)
{
    return std::find_if(g_parkPositions.begin(), g_parkPositions.end(),
                        [&](const ParkPos& p) { return p.name == name; });
}

ParkPos* gf_standById(std::uint32_t standId)
{
    for (ParkPos& stand : g_parkPositions)
        if (stand.standId == standId)
            return &stand;
    return nullptr;
}

void gf_forgetStand(StaticAc& ac)
{
    ac.standLat = 0.0;
    ac.standLon = 0.0;
    ac.standHeading = 0.0;
    ac.standId = 0;
    ac.cargoStand = 0;
}

void gf_blockStands(ParkPos& stand)
{
    stand.taken = true;
    for (const std::uint32_t id : stand.overlapping) {
        if (ParkPos* other = gf_standById(id))
            other->blocked = true;
    }
}

std::string gf_standName(std::uint32_t standId)
{
    if (standId == 0)
        return "sid==0?";
    const ParkPos* stand = gf_standById(standId);
    return stand ? stand->name : std::string("unknown");
}

void gf_selectAcByCallsign()
{
    const std::string callsign = g_optCallsign2Objectid.value();
    const auto it = callsign.empty()
                        ? g_liveAc.end()
                        : std::find_if(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& ac) {
                              return ac.callsign == callsign && ac.state == AcState::Placed;
                          });
    if (it != g_liveAc.end()) {
        g_selectedObjectId.store(it->objectId);
        lf_setSelectedText(tvx::format("= {}", it->objectId));
        return;
    }
    g_selectedObjectId.store(0);
    lf_setSelectedText("");
    // Nothing asked for: nothing to report (the check runs every second).
    if (!callsign.empty())
        gf_setStatusLine(tvx::format("callsign \"{}\" is unknown", callsign), true);
}

bool gf_removeFarthestLiveAc(double distanceNm)
{
    if (std::isnan(distanceNm))
        return true;
    double best = distanceNm;
    LiveAc* candidate = nullptr;
    for (auto& ac : g_liveAc) {
        if (ac.state != AcState::Placed)
            continue;
        const double d = gf_distanceNm(ac.sim.lat, ac.sim.lon, g_userAcCopy.latitude, g_userAcCopy.longitude);
        if (d > best + kFartherMarginNm) {
            candidate = &ac;
            best = d;
        }
    }
    if (!candidate)
        return true;
    gf_removeAct(*candidate);
    return false;
}

int gf_wantedParkedCount()
{
    const std::int32_t custom = g_optCustomParkingPercentage.value();
    const std::int32_t percentage = custom >= 0 ? custom : g_optParkingPercentage.value();
    const std::size_t stands = g_parkPositions.size();

    int wanted = 1;
    if (stands > 1 && (stands > kFewStands || percentage >= kFewStandsFullPercentage))
        wanted = static_cast<int>(std::lround(percentage * static_cast<double>(stands) / 100.0));

    std::int32_t shownPercentage = percentage;
    const std::int32_t maxPark = g_optCustomMaxPark.value();
    if (maxPark != g_optCustomMaxPark.defaultValue()) {
        wanted = std::min(maxPark, wanted);
        shownPercentage = stands == 0
                              ? 0
                              : static_cast<std::int32_t>(std::lround(wanted * 100.0 / static_cast<double>(stands)));
    }
    g_parkingPercentageShown.store(shownPercentage);
    g_wantedParkedShown.store(wanted);
    lf_repaint();
    return wanted;
}

void gf_disableControls()
{
    g_controlsBusy.exchange(true);
    const GuiControl* const parkingControls[] = {
        &g_optParkingPercentage, &g_optInitialLoadOnly, &g_optParkFake, &g_optParkSoft,
        &g_optCustomMaxPark,     &g_optRtParktrafficOnly, &g_optMaxFitFl, &g_optWeek,
        &g_btnFlushStatic,       &g_btnRereadParkAirports,
    };
    for (const GuiControl* control : parkingControls)
        lf_enable(*control, false);
    gf_clearStatusLine();
    lf_repaint();
}

void gf_enableControls()
{
    g_controlsBusy.store(false);
    g_firstCountdown.store(kCountdownAfterParking);
    lf_repaint();
    lf_enable(g_optCustomMaxPark, true);
    lf_enable(g_optRtParktrafficOnly, true);
    gf_enableParkControls();
    lf_enable(g_btnFlushStatic, true);
    lf_enable(g_btnRereadParkAirports, true);
    gf_clearStatusLine();
    lf_repaint();
}

void gf_setFlaps(StaticAc& ac, std::uint32_t index)
{
    if (index >= g_flapsValues.size())
        tvx::throwInvalidArraySubscript();
    if (index == ac.flapsIndex || ac.sizeClass == SizeClass::Rotorcraft)
        return;
    gf_queueClientEvent(ac.objectId, simid::FLAPS_SET, g_flapsValues[index]);
    ac.flapsIndex = index;
}

void gf_setGear(StaticAc& ac, bool down)
{
    if (ac.sizeClass == SizeClass::Rotorcraft)
        return;
    gf_queueClientEvent(ac.objectId, simid::GEAR_SET, down ? 1u : 0u);
}

void gf_setThrottle(StaticAc& ac, std::uint32_t index)
{
    if (index > kThrottleNone)
        tvx::throwInvalidArraySubscript();
    if (index == ac.throttleIndex)
        return;
    if (index != kThrottleNone)
        gf_queueClientEvent(ac.objectId, simid::THROTTLE_SET, g_throttleValues[index]);
    ac.throttleIndex = index;
}

void gf_parkConfiguration(StaticAc& ac)
{
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 0);
    gf_queueClientEvent(ac.objectId, simid::ENGINE_AUTO_SHUTDOWN, 0);
    const std::uint8_t cabin = ac.cargoStand ? 0 : (g_rng()() % 10 < 9 ? 1 : 0);
    const LightSet lights{static_cast<std::uint8_t>(g_optNavLightsWhileParked.value() ? 1 : 0),
                          0,      // beacon
                          0,      // landing
                          0,      // taxi
                          0,      // strobes
                          1,      // logo
                          cabin};
    gf_queueLights(ac.objectId, lights);
}
