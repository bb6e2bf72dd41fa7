// The park-airport choice. See park_choice.h.
//
// Thread: the main loop.
#include "parking/park_choice.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <optional>

#include "foundation/format.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/time_slots.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/dest_airport.h"
#include "parking/max_park.h"
#include "parking/park_airport_list.h"
#include "parking/placement.h"
#include "parking/stand_schedule.h"
#include "parking/stand_search.h"
#include "parking/static_plan.h"
#include "parking/traffic_containers.h"
#include "simulator/removal.h"
#include "simulator/user_aircraft.h"
#include "traffic_service/parked_traffic.h"
#include "traffic_service/traffic_client.h"
#include "win32/win_api.h"

LatLon g_lastUserPosition;
bool g_reloadParkFile = false;
bool g_staticPlanWaiting = false;
bool g_learnSoftAllowed = false;
ApfHeader g_apfHeader;
std::atomic<double> g_parkAirportDistanceNm{-1.0};

namespace {

// Real quality factor and stand count from which a parking file is good enough that soft stands
// are not learned there.
constexpr std::int32_t kNoLearnQuality = 45;
constexpr std::size_t kNoLearnStands = 20;

const ChoiceUser* g_choiceUser = nullptr;

ChoiceUser lf_user()
{
    if (g_choiceUser != nullptr)
        return *g_choiceUser;
    return ChoiceUser{gf_userAc(), g_userOnGround.load(), g_userOnGroundKnown.load()};
}

void lf_enableControl(const GuiControl& control, bool enable)
{
    EnableWindow(GetDlgItem(g_hWnd, control.controlId()), enable ? TRUE : FALSE);
}

// The DESTINATION box is disabled while a park airport is being loaded.
void lf_enableDestination(bool enable = true)
{
    lf_enableControl(g_optDestination, enable);
    gf_updatePainted([enable](PaintedValues& p) { p.destinationEnabled = enable; });
}

// In sight: within AIRPORT_RANGE nm and at most AIRPORT_HEIGHT ft above ground.
bool lf_inSight(double distanceNm, double aboveGroundFt)
{
    return distanceNm <= g_optAirportRange.value() && aboveGroundFt <= g_optAirportHeight.value();
}

// The load of the main check and of the immediate choice: reads the file, or shows the failure and
// leaves the airport. The service's parked aircraft are asked for once the stands are read (their
// stand names come from them) and fetched by the traffic reader meanwhile: the plan is built with
// them by the next main check or the adjustment's second turn, whichever comes first, so that they
// take their stands before the schedules' aircraft, and the main loop never waits for the service.
void lf_loadNow()
{
    const std::string failure = lf_readParkedFile();
    if (failure.empty()) {
        gf_requestParkedTraffic();
        gf_requestHistoryBuffers();
        gf_disableControls();
        g_staticPlanWaiting = true;
    } else {
        gf_setStatusLine(failure, true);
        gf_leaveParkAirport();
    }
    lf_enableDestination();
}

// Sets the reserved flag of the named stand (when it exists).
void lf_markReserved(const std::string& name, bool reserved)
{
    if (name.empty())
        return;
    const auto stand = gf_findStand(name);
    if (stand != g_parkPositions.end())
        stand->reserved = reserved;
}

}  // namespace

void lf_setChoiceUser(const ChoiceUser* user)
{
    g_choiceUser = user;
}

bool gf_setParkAirport(const std::string& code)
{
    const std::optional<AirportEntry> airport = gf_findAirport(code);
    if (!airport)
        return false;
    g_parkAirport = *airport;
    // The parked-traffic request asks for the box around this position.
    g_trafficClient.setParkAirportPosition(std::make_pair(airport->lat, airport->lon));
    gf_log("The park airport is {}", airport->text());
    return true;
}

void lf_startStaticCalculation(bool show)
{
    gf_disableControls();
    gf_requestHistoryBuffers();
    if (show)
        gf_setStatusLine("Calculating static parked aircraft ...", false);
}

void lf_loadParkAirport(bool immediate)
{
    if (!immediate) {
        g_reloadParkFile = true;
        lf_enableDestination(false);
        lf_startStaticCalculation(false);
        return;
    }
    g_reloadParkFile = false;
    lf_loadNow();
}

std::string lf_readParkedFile()
{
    // However the read ends (a failure or an exception keeps what was read so far), the nearest-
    // stand search of the other threads gets the stands as they are now.
    struct PublishAtEnd {
        ~PublishAtEnd() { gf_publishStands(); }
    } publish;
    g_parkPositions.clear();
    const std::string code = g_parkAirport.code;

    const std::string text = gf_findApfFile(g_parkAirport);
    if (text.empty())
        return tvx::format("{} {} not found", "lf_readParkedFile", code);
    if (text.find("unknown") != std::string::npos)
        return tvx::format("{} {} has publisher:{}, {}", "lf_readParkedFile", code, "unknown", text);

    g_apfHeader = ApfHeader{};
    QualityPair quality{-1, -1};
    const std::string result = gf_readApf(text, g_apfHeader, quality);
    gf_publishStands();  // the user's stand below is looked up among the new stands
    if (result.empty()) {
        // A good file at a large airport: soft stands are not learned there.
        if (quality.first >= kNoLearnQuality && g_parkPositions.size() >= kNoLearnStands) {
            g_learnSoftAllowed = false;
            if (g_optLearnSoft.value()) {
                gf_setCheckBox(g_optLearnSoft, false);
                lf_enableControl(g_optLearnSoft, false);
                gf_updatePainted([](PaintedValues& p) { p.learnSoftEnabled = false; });
                g_parkParamsChanged.store(true);
            }
        } else {
            g_learnSoftAllowed = true;
            lf_enableControl(g_optLearnSoft, true);
            gf_updatePainted([](PaintedValues& p) { p.learnSoftEnabled = true; });
        }

        const ChoiceUser user = lf_user();
        if (user.onGroundKnown) {
            const std::string name = gf_nearestStandName(user.state.latitude, user.state.longitude);
            if (!g_parkAirports.empty() && g_parkAirports.front().code == code) {
                ParkAirport& front = g_parkAirports.front();
                if (!name.empty() && name != front.stand) {
                    front.stand = name;
                    gf_updateMyParkAirports();
                }
            } else {
                // The list never holds a code twice: a listed park airport comes to the front.
                auto listed = std::find_if(g_parkAirports.begin(), g_parkAirports.end(),
                                           [&code](const ParkAirport& e) { return e.code == code; });
                if (listed != g_parkAirports.end()) {
                    g_parkAirports.splice(g_parkAirports.begin(), g_parkAirports, listed);
                    if (!name.empty())
                        g_parkAirports.front().stand = name;
                } else {
                    g_parkAirports.push_front(ParkAirport{code, name, g_parkAirport.lat, g_parkAirport.lon, 0.0});
                }
                gf_updateMyParkAirports();
            }
        }

        g_parkPositions.shrink_to_fit();

        const bool reserved = !g_parkAirports.empty() && g_parkAirports.front().code == code &&
                              !g_parkAirports.front().stand.empty() &&
                              gf_findStand(g_parkAirports.front().stand) != g_parkPositions.end();
        g_reservedStand = reserved ? g_parkAirports.front().stand : std::string();
        lf_markReserved(g_reservedStand, true);
        gf_updatePainted([reserved](PaintedValues& p) { p.reservedStandMark = reserved; });
    }

    const bool warning = !result.empty();
    const std::string publisher = g_apfHeader.publisher;
    gf_updatePainted([&publisher, warning](PaintedValues& p) {
        p.publisherText = publisher;
        p.publisherWarning = warning;
    });
    g_parkUpdates = 0;
    return result;
}

void lf_chooseParkAirport(double lat, double lon, bool immediate)
{
    const ChoiceUser user = lf_user();
    if (user.onGround) {
        const std::optional<AirportEntry> airport = gf_closestAirportByStand(lat, lon);
        if (!airport) {
            gf_setStatusLine("User aircraft on the ground, no airport in sight", true);
        } else if (gf_hasApfFile(*airport)) {
            gf_log("User aircraft on the ground at {}", airport->code);
            if (gf_setParkAirport(airport->code))
                lf_loadParkAirport(immediate);
        } else {
            gf_setStatusLine(tvx::format("User aircraft on the ground at {}, no airport file found", airport->code),
                             true);
        }
        return;
    }

    lf_enableDestination();
    if (g_parkAirports.empty())
        return;
    const ParkAirport& first = g_parkAirports.front();
    if (lf_inSight(first.distance, user.state.altAboveGround) && gf_setParkAirport(first.code)) {
        gf_setStatusLine(tvx::format("{} in sight at {:.1F} nm", first.code, first.distance), true);
        g_reloadParkFile = true;
        lf_enableDestination(false);
        lf_startStaticCalculation(false);
    }
}

void lf_checkParkAirportInSight(double lat, double lon)
{
    const ChoiceUser user = lf_user();
    if (user.onGround)
        return;
    const double aboveGround = user.state.altAboveGround;
    const double distance = gf_distanceNm(lat, lon, g_parkAirport.lat, g_parkAirport.lon);
    if (!lf_inSight(distance, aboveGround)) {
        gf_log("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed", gf_clockText(),
               g_parkAirport.text(), distance);
        gf_removeParkedTraffic();
        return;
    }
    if (g_parkAirports.empty() || g_parkAirports.front().code == g_parkAirport.code)
        return;
    const ParkAirport& first = g_parkAirports.front();
    if (lf_inSight(first.distance, aboveGround) && first.distance <= distance) {
        gf_log("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first", gf_clockText(),
               first.code, first.distance, g_parkAirport.text());
        gf_removeParkedTraffic();
    }
}

void gf_checkForParkAirportUpdates(bool immediate)
{
    try {
        if (g_staticPlanWaiting) {
            g_staticPlanWaiting = false;
            gf_buildStaticPlan();
            return;
        }
        if (g_controlsBusy.load() && g_staticParkQueue.empty()) {
            gf_enableControls();
            gf_clearStatusLine();
            gf_countStaticParked(true);
            gf_countLiveParked(true);
        }

        if (g_reloadParkFile) {
            gf_clearStatusLine();
            g_reloadParkFile = false;
            lf_loadNow();
            return;
        }

        const ChoiceUser user = lf_user();
        const double lat = user.state.latitude;
        const double lon = user.state.longitude;
        if (gf_isNoFlightPosition(lat, lon))
            return;

        if (!g_parkAirports.empty()) {
            if (lat == g_lastUserPosition.latitude && lon == g_lastUserPosition.longitude) {
                ParkAirport& first = g_parkAirports.front();
                first.distance = gf_distanceNm(lat, lon, first.lat, first.lon);
            } else {
                g_lastUserPosition.latitude = lat;
                g_lastUserPosition.longitude = lon;
                if (g_optDestination.value().empty()) {
                    for (ParkAirport& entry : g_parkAirports)
                        entry.distance = gf_distanceNm(lat, lon, entry.lat, entry.lon);
                    g_parkAirports.sort([](const ParkAirport& a, const ParkAirport& b) { return a.distance < b.distance; });
                } else {
                    // The destination keeps its place at the front; its distance must still be
                    // the current one, or a far destination would count as in sight.
                    ParkAirport& first = g_parkAirports.front();
                    first.distance = gf_distanceNm(lat, lon, first.lat, first.lon);
                }
            }
        }

        if (!g_parkAirport.code.empty())
            lf_checkParkAirportInSight(lat, lon);
        else
            lf_chooseParkAirport(lat, lon, immediate);

        g_parkAirportDistanceNm.store(g_parkAirport.code.empty()
                                          ? -1.0
                                          : gf_distanceNm(lat, lon, g_parkAirport.lat, g_parkAirport.lon));
    } catch (const std::exception& e) {
        gf_log("{}: {}", "gf_checkForParkAirportUpdates", e.what());
        throw;
    }
}

void gf_addParkAirport(const std::string& code, double lat, double lon)
{
    const auto listed = std::find_if(g_parkAirports.begin(), g_parkAirports.end(),
                                     [&code](const ParkAirport& e) { return e.code == code; });
    if (listed != g_parkAirports.end()) {
        g_parkAirports.splice(g_parkAirports.begin(), g_parkAirports, listed);
        return;
    }
    g_parkAirports.push_front(ParkAirport{code, {}, lat, lon, 0.0});
    gf_updateMyParkAirports();
}

bool gf_checkReservedStands(bool checkStand, std::string& message)
{
    if (!lf_readMyParkAirports())
        return false;
    // The list was rebuilt in file order with no distances: the next check sorts it again.
    g_lastUserPosition.latitude = std::numeric_limits<double>::quiet_NaN();
    g_lastUserPosition.longitude = std::numeric_limits<double>::quiet_NaN();

    const ChoiceUser user = lf_user();
    if (checkStand && user.onGroundKnown && !g_controlsBusy.load() && !g_parkAirports.empty() &&
        !g_parkAirport.code.empty() && g_parkAirports.front().code == g_parkAirport.code) {
        const std::string wanted = g_parkAirports.front().stand;
        if (!wanted.empty() && wanted != g_reservedStand) {
            message = tvx::format("reserved stand changed from \"{}\" to \"{}\"", g_reservedStand, wanted);
            lf_markReserved(g_reservedStand, false);
            g_reservedStand = wanted;
            gf_clearReservedStand();
            lf_markReserved(g_reservedStand, true);
            gf_updatePainted([](PaintedValues& p) { p.reservedStandMark = true; });
            InvalidateRect(g_hWnd, nullptr, TRUE);
        }
    }
    if (message.empty())
        message = "park airports and stands are okay";
    return true;
}

void gf_addParkAirportByCode(const std::string& code)
{
    const std::optional<AirportEntry> airport = gf_findAirport(code);
    if (!airport) {
        gf_setStatusLine(tvx::format("airport {} is unknown", code), true);
        return;
    }
    gf_addParkAirport(airport->code, airport->lat, airport->lon);
}

void gf_takeUserStandIntoParkList()
{
    const std::optional<std::string> name = gf_takeUserStandForParkList();
    if (!name || name->empty() || g_parkAirports.empty() || g_parkAirport.code.empty())
        return;
    ParkAirport& first = g_parkAirports.front();
    if (first.code != g_parkAirport.code || first.stand == *name)
        return;
    first.stand = *name;
    gf_updateMyParkAirports();
}

AutoRangeInput gf_autoRangeInput()
{
    AutoRangeInput input;
    input.onGround = g_userOnGround.load();
    input.heightAboveGroundFt = gf_userAc().altAboveGround;
    const double distance = g_parkAirportDistanceNm.load();
    input.parkAirportSet = distance >= 0.0;
    input.parkAirportDistanceNm = distance >= 0.0 ? distance : 0.0;
    return input;
}
