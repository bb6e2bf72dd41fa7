// The user aircraft: requests (main loop and start-up thread, under g_simConnectMutex), reply
// handlers (SimConnect thread), the model rewrite, the teleport test and the simulator's UTC
// time. See user_aircraft.h for the lock rules.
#include "simulator/user_aircraft.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <utility>

#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/time_slots.h"
#include "foundation/units.h"
#include "frame/exit_request.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "liveries/aircraft_db.h"
#include "model/ac_records.h"
#include "simulator/command_queues.h"
#include "simulator/sim_client.h"
#include "simulator/stand_services.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/traffic_client.h"

std::atomic<std::uint32_t> g_minObjectId{0};
std::atomic<bool> g_tickFlag{false};
std::atomic<bool> g_userOnGround{false};
std::atomic<bool> g_userOnGroundKnown{false};
std::atomic<std::int64_t> g_simUtcTime{0};
std::atomic<double> g_userHalfSpan{0.0};
std::atomic<bool> g_userHalfSpanValid{false};
std::atomic<int> g_userSizeClass{0};

namespace {

constexpr std::size_t kMaxTitleBytes = 48;
constexpr double kTeleportNm = 10.0;
constexpr std::size_t kDataOffset = 40;  // start of the data block (dwData)
// Without a flight the simulator holds the user aircraft just north-east of 0°N 0°E, within
// these degrees.
constexpr double kNoFlightLatDeg = 0.0009;
constexpr double kNoFlightLonDeg = 0.05;
// The simulator's date is taken between these years (the first the Unix epoch's); the days of a
// common and a leap year.
constexpr std::int64_t kEpochYear = 1970;
constexpr std::int64_t kLastYear = 9999;
constexpr std::int64_t kDaysPerYear = 365;
constexpr std::int64_t kDaysPerLeapYear = 366;
// An ICAO type designator is 2 to 4 characters long; a model text may carry one after this
// prefix.
constexpr unsigned kShortestTypeCode = 2;
constexpr unsigned kLongestTypeCode = 4;
constexpr std::string_view kTypeCodePrefix = "$$:";

// Guards every text and state below; innermost, nothing is called while it is held.
std::mutex g_userMutex;
UserAcState g_userAc;
LatLon g_prevUserPos;
std::string g_userTitle;
std::string g_userModel;
std::string g_userStandName;
std::optional<std::string> g_standForParkList;

// The data block of a reply and its length as far as the record reaches.
std::string_view lf_dataBlock(const SIMCONNECT_RECV_SIMOBJECT_DATA& data)
{
    if (data.dwSize <= kDataOffset)
        return {};
    return {reinterpret_cast<const char*>(&data.dwData), data.dwSize - kDataOffset};
}

bool lf_professionalAccount()
{
    return g_trafficClient.isProfessional();
}

std::string lf_nearestStandName(double lat, double lon)
{
    return gf_standServices().nearestStandName(lat, lon);
}

void lf_setSpanKnown(bool known)
{
    gf_updatePainted([known](PaintedValues& v) { v.spanKnown = known; });
}

void lf_setUserAcText(const std::string& text)
{
    gf_updatePainted([&text](PaintedValues& v) { v.userAcText = text; });
}

}  // namespace

bool gf_isNoFlightPosition(double latitude, double longitude)
{
    return latitude >= 0.0 && latitude <= kNoFlightLatDeg && longitude >= 0.0 && longitude <= kNoFlightLonDeg;
}

UserAcState gf_userAc()
{
    std::lock_guard lock(g_userMutex);
    return g_userAc;
}

std::string gf_userTitle()
{
    std::lock_guard lock(g_userMutex);
    return g_userTitle;
}

std::string gf_userModel()
{
    std::lock_guard lock(g_userMutex);
    return g_userModel;
}

std::string gf_userStandName()
{
    std::lock_guard lock(g_userMutex);
    return g_userStandName;
}

std::optional<std::string> gf_takeUserStandForParkList()
{
    std::lock_guard lock(g_userMutex);
    return std::exchange(g_standForParkList, std::nullopt);
}

void gf_resetUserAc()
{
    {
        std::lock_guard lock(g_userMutex);
        g_userAc = UserAcState{};
        g_prevUserPos = LatLon{};
        g_userStandName.clear();
        g_standForParkList.reset();
    }
    g_userOnGroundKnown = false;
    g_userHalfSpanValid = false;
    g_minObjectId = 0;  // as at program start, until the next run's first state reply
}

// ---- requests ----------------------------------------------------------------------------------

UserAcState gf_requestUserAcPosition()
{
    if (!g_simConnectFailed.load()) {
        std::lock_guard lock(g_simConnectMutex);
        if (FAILED(SimConnect_RequestDataOnSimObject(g_hSimConnect, simid::REQ_USER_STATE,
                                                     simid::DEF_USER_STATE, SIMCONNECT_OBJECT_ID_USER,
                                                     SIMCONNECT_PERIOD_ONCE))) {
            gf_logError("SimConnect request user ac position fails");
            gf_simConnectError();
        }
    }
    gf_exitOnSimConnectErrors();
    return gf_userAc();
}

void gf_requestUserAcTitle()
{
    {
        std::lock_guard lock(g_simConnectMutex);
        if (FAILED(SimConnect_RequestDataOnSimObject(g_hSimConnect, simid::REQ_USER_TITLE,
                                                     simid::DEF_USER_TITLE, SIMCONNECT_OBJECT_ID_USER,
                                                     SIMCONNECT_PERIOD_ONCE))) {
            gf_logError("SimConnect request user ac title fails");
            gf_simConnectError();
        }
        if (FAILED(SimConnect_RequestDataOnSimObject(g_hSimConnect, simid::REQ_USER_MODEL,
                                                     simid::DEF_USER_MODEL, SIMCONNECT_OBJECT_ID_USER,
                                                     SIMCONNECT_PERIOD_ONCE))) {
            gf_logError("SimConnect reques user ac model fails");
            gf_simConnectError();
        }
    }
    gf_exitOnSimConnectErrors();
}

bool gf_requestUserAcOnGround()
{
    bool ok = true;
    {
        std::lock_guard lock(g_simConnectMutex);
        if (FAILED(SimConnect_RequestDataOnSimObject(g_hSimConnect, simid::REQ_USER_ON_GROUND,
                                                     simid::DEF_USER_ON_GROUND, SIMCONNECT_OBJECT_ID_USER,
                                                     SIMCONNECT_PERIOD_SECOND))) {
            gf_logError("SimConnect request ac gnd/air fails");
            gf_simConnectError();
            ok = false;
        }
    }
    gf_exitOnSimConnectErrors();
    return ok;
}

// ---- computations --------------------------------------------------------------------------------

double gf_initialCourse(LatLon from, LatLon to)
{
    const double phi1 = from.latitude * kDegToRad;
    const double phi2 = to.latitude * kDegToRad;
    const double dLambda = (to.longitude - from.longitude) * kDegToRad;
    return gf_wrap2Pi(std::atan2(std::sin(dLambda) * std::cos(phi2),
                                 std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda)));
}

std::optional<std::int64_t> gf_daysSinceEpoch(std::int64_t year, std::int64_t dayOfYear)
{
    if (year < kEpochYear || year > kLastYear)
        return std::nullopt;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (dayOfYear < 1 || dayOfYear > (leap ? kDaysPerLeapYear : kDaysPerYear))
        return std::nullopt;
    const std::int64_t y = year - 1;
    const auto leapsBefore = [](std::int64_t n) { return n / 4 - n / 100 + n / 400; };
    return (year - kEpochYear) * kDaysPerYear + (leapsBefore(y) - leapsBefore(kEpochYear - 1)) + dayOfYear - 1;
}

std::string lf_cutUtf8(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return std::string(text);
    std::size_t end = maxBytes;
    // Step back over continuation bytes so the cut falls before a character's lead byte.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end));
}

std::string lf_rewriteModel(std::string_view model, std::string_view title)
{
    if (model == "A350-900")
        return "A359";
    if (model == "N738B")
        return "B38M";
    if (model == "777")
        return "772";
    if (model == "A330-200 (RR)")
        return "A332";
    if (const auto pos = model.find(".0.text"); pos != std::string_view::npos) {
        for (std::size_t n : {kLongestTypeCode, kLongestTypeCode - 1, kShortestTypeCode}) {  // longest first
            if (pos < n)
                continue;  // the candidate would start before the text
            const std::string candidate(model.substr(pos - n, n));
            if (gf_wingspan(candidate) != 0.0)
                return candidate;
        }
        return std::string(model);
    }
    if (model.size() >= kTypeCodePrefix.size() + kShortestTypeCode && model.starts_with(kTypeCodePrefix))
        return std::string(model.substr(kTypeCodePrefix.size()));
    if (model == "737") {
        static constexpr std::pair<std::string_view, std::string_view> kDg[] = {
            {"DG 737-800", "B738"}, {"DG 737-700", "B737"}, {"DG 737-600", "B736"}, {"DG 737-900", "B739"}};
        for (const auto& [key, type] : kDg)
            if (title.find(key) != std::string_view::npos)
                return std::string(type);
    }
    return std::string(model);
}

// ---- reply handlers (SimConnect thread) ------------------------------------------------------------

void lf_onUserAcState(const SIMCONNECT_RECV_SIMOBJECT_DATA& data)
{
    const std::string_view block = lf_dataBlock(data);
    UserAcState state;
    if (block.size() < sizeof state)
        return;
    std::memcpy(&state, block.data(), sizeof state);
    if (state.altitude < 0.0)
        state.altitude = 0.0;
    LatLon prev;
    {
        std::lock_guard lock(g_userMutex);
        g_userAc = state;
        prev = g_prevUserPos;
        g_prevUserPos = LatLon{state.latitude, state.longitude};
    }
    // The traffic reader asks for the aircraft around this position.
    if (!gf_isNoFlightPosition(state.latitude, state.longitude))
        gf_setTrafficQueryPosition(state.latitude, state.longitude, state.altitude);
    if (!gf_isNoFlightPosition(prev.latitude, prev.longitude) &&
        gf_distanceNm(prev.latitude, prev.longitude, state.latitude, state.longitude) > kTeleportNm) {
        gf_log("Teleport");
        gf_exit(ExitReason::RESTART, kNewSceneRestartSeconds);
    }

    const std::string name = lf_nearestStandName(state.latitude, state.longitude);
    std::string previous;
    {
        std::lock_guard lock(g_userMutex);
        previous = std::exchange(g_userStandName, name);
    }
    if (name != previous && (!name.empty() || !previous.empty()))
        gf_updatePainted([&name](PaintedValues& v) { v.userStandText = name; });

    if (lf_professionalAccount()) {
        // The simulator's date is checked before use: a nonsense year or day leaves the time.
        if (const auto days = gf_daysSinceEpoch(state.zuluYear, state.zuluDayOfYear);
            days && state.zuluTime >= 0 && state.zuluTime < kSecondsPerDay)
            g_simUtcTime = *days * kSecondsPerDay + state.zuluTime;
    }
    g_minObjectId = data.dwObjectID;
}

void lf_onUserAcOnGround(const SIMCONNECT_RECV_SIMOBJECT_DATA& data)
{
    const std::string_view block = lf_dataBlock(data);
    std::int64_t value = 0;
    if (block.size() < sizeof value)
        return;
    std::memcpy(&value, block.data(), sizeof value);
    const UserAcState user = gf_userAc();
    if (!gf_isNoFlightPosition(user.latitude, user.longitude)) {
        g_userOnGround = value != 0;
        g_userOnGroundKnown = true;
    }
    g_tickFlag = true;
}

void lf_onUserAcTitle(const SIMCONNECT_RECV_SIMOBJECT_DATA& data)
{
    // STRINGV: the text runs to its terminator or to the end of the record.
    const std::string_view block = lf_dataBlock(data);
    const std::string_view raw = block.substr(0, std::min(block.size(), block.find('\0')));
    if (raw.empty()) {
        gf_log("! title of your ac is empty?");
        return;
    }
    const std::string title = lf_cutUtf8(raw, kMaxTitleBytes);
    {
        std::lock_guard lock(g_userMutex);
        if (title == g_userTitle)
            return;
        g_userTitle = title;
    }
    lf_setUserAcText(title);
    gf_logIndented("SimConnect: User aircraft title: " + title);
}

void lf_onUserAcModel(const SIMCONNECT_RECV_SIMOBJECT_DATA& data)
{
    const std::string_view block = lf_dataBlock(data).substr(0, g_atcIdSize);
    const std::string raw(block.substr(0, std::min(block.size(), block.find('\0'))));
    const double largest = gf_maxHalfSpan();
    if (raw.empty()) {
        lf_setUserAcText("Unknown (encrypted?) aircraft");
        gf_setStatusLine(
            "171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead",
            true);
        const double span = gf_wingspan("CRJ7");
        g_userHalfSpan = span != 0.0 ? span : largest;
        g_userHalfSpanValid = true;
        return;
    }
    gf_logIndented(tvx::format("model raw: {} ", raw));
    std::string model = lf_rewriteModel(raw, gf_userTitle());
    std::string report = "SimConnect: User aircraft model: " + model;
    if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
        g_userHalfSpan = gf_wingspan("E190");
        g_userHalfSpanValid = true;
        lf_setSpanKnown(true);
        g_userSizeClass = static_cast<int>(SizeClass::Light);
        std::lock_guard lock(g_userMutex);
        g_userModel = model;
        return;
    }
    double span = model.size() <= kLongestTypeCode ? gf_wingspan(model) : largest;
    g_userHalfSpanValid = true;
    bool known = true;
    if (span == largest) {
        static constexpr std::pair<std::string_view, std::string_view> kTitles[] = {
            {"Aerosoft A319", "A319"}, {"Aerosoft A320", "A320"}, {"Aerosoft A321", "A321"}};
        constexpr std::size_t kTitleKeyLength = kTitles[0].first.size();  // each key's length
        const std::string title = gf_userTitle();
        known = false;
        if (title.size() >= kTitleKeyLength) {
            for (const auto& [key, type] : kTitles) {
                if (std::string_view(title).substr(0, kTitleKeyLength) != key)
                    continue;
                model = type;
                report = "SimConnect: User aircraft model deduced from title: " + model;
                const double deduced = gf_wingspan(model);
                span = deduced != 0.0 ? deduced : largest;
                known = deduced != 0.0;
                break;
            }
        }
        if (!known) {
            lf_setSpanKnown(false);
            gf_setStatusLine(
                "User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
        }
    }
    g_userHalfSpan = span;
    if (known) {
        lf_setSpanKnown(true);
        report += tvx::format(", half wing span: {:.1F} meter", span * kMetresPerNm);
    }
    const SizeClass sizeClass = gf_sizeClassOfType(model);
    g_userSizeClass = static_cast<int>(sizeClass);
    report += tvx::format(", category: {}", gf_sizeClassName(sizeClass));
    gf_logIndented(report);
    std::lock_guard lock(g_userMutex);
    g_userModel = model;
}

void lf_checkUserStand()
{
    if (!g_userOnGroundKnown.load())
        return;
    const UserAcState user = gf_userAc();
    if (user.groundVelocity > 2.0)
        return;
    const std::string name = lf_nearestStandName(user.latitude, user.longitude);
    if (name.empty())
        return;
    // The park-airport list belongs to the main loop: it takes the name from here.
    std::lock_guard lock(g_userMutex);
    g_standForParkList = name;
}
