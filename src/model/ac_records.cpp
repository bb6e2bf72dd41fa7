// The aircraft records' constructors, the per-class values they take at construction, the texts
// that name an aircraft in log lines, and which size classes the settings let be shown. Runs on the
// main loop (and on the start-up thread for records built before it); no shared state apart from
// the read-only size-class name table.
#include "model/ac_records.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

#include "foundation/class_tables.h"
#include "foundation/format.h"
#include "foundation/random.h"
#include "foundation/runtime_texts.h"
#include "foundation/settings.h"
#include "foundation/units.h"

namespace {

constexpr const char* kInvalidDequeSubscript = "invalid deque<T> subscript";

}  // namespace

AcData::AcData(const FlightRecord& head, SizeClass sizeClass_, double sizeNm)
    : FlightRecord(head), sizeClass(sizeClass_), size(sizeNm)
{
    const auto cls = static_cast<std::uint32_t>(sizeClass);
    flareTicks = gf_flareTicks(cls);
    touchdownTicks = gf_touchdownTicks(cls);
    rotationTicks = gf_rotationTicks(cls);
    climbOutPitchTicks = gf_climbOutPitchTicks(cls);
    // Each aircraft rotates and climbs a little differently: exactly +-2.5 % and +-5 %.
    rotationPitch = gf_randomPercent(gf_rotationPitchDeg(cls), 2.5) * kDegToRad;
    climbPitch = gf_randomPercent(gf_climbPitchDeg(cls), 5.0) * kDegToRad;
}

StaticAc::StaticAc(const AcData& data, std::uint32_t standId_, double lat, double lon,
                   double heading, std::uint8_t cargoStand_)
    : AcData(data), standLat(lat), standLon(lon), standHeading(heading), standId(standId_),
      cargoStand(cargoStand_)
{
}

void HeardAltitudes::hear(double time, const PosRecord& pos)
{
    if (!pos.airborne) {
        count = 0;
        next = 0;
        return;
    }
    rows[next] = Row{time, pos.alt, pos.vertRate};
    next = static_cast<std::uint32_t>((next + 1) % kRows);
    count = std::min<std::uint32_t>(count + 1, kRows);
}

LiveAc::LiveAc(const PosRecord& first, const AcData& data, double firstTime)
    : lastRecordTime(firstTime), lastFeedLat(first.lat), lastFeedLon(first.lon), lastFeedSpeed(first.speed),
      heard(first), heardTime(firstTime)
{
    static_cast<AcData&>(*this) = data;
    stream.push_back(first);
    heardAltitudes.hear(firstTime, first);
}

// ---- Stream access and phase ---------------------------------------------------------------

void gf_throwMissingRecord()
{
    throw std::out_of_range(kInvalidDequeSubscript);
}

PosRecord& gf_last(std::deque<PosRecord>& stream)
{
    if (stream.empty())
        throw std::out_of_range(kInvalidDequeSubscript);
    return stream.back();
}

void gf_setPhase(LiveAc& ac, AcPhase phase)
{
    ac.prevPhase = ac.phase;
    ac.phase = phase;
}

// ---- Texts ---------------------------------------------------------------------------------

std::string gf_airlineTypeText(const FlightRecord& ac)
{
    return tvx::format("{:3} {:4}", ac.airline, ac.acType);
}

bool gf_sameAirlineType(const FlightRecord& a, const FlightRecord& b)
{
    return a.airline == b.airline && a.acType == b.acType;
}

std::string lf_routeText(const FlightRecord& ac)
{
    if (ac.origin.empty() && ac.destination.empty())
        return std::string(8, ' ');
    return tvx::format("{:3}->{:3}", ac.origin, ac.destination);
}

std::string lf_callsignText(const FlightRecord& ac)
{
    return tvx::format("{:8}", ac.callsign);
}

std::string gf_routeRegCallsignText(const FlightRecord& ac)
{
    return tvx::format("{} {:8} {}", lf_callsignText(ac), ac.registration, lf_routeText(ac));
}

std::string gf_acText(const FlightRecord& ac)
{
    return tvx::format("{} {}", gf_routeRegCallsignText(ac), gf_airlineTypeText(ac));
}

std::string gf_acIdText(const FlightRecord& ac)
{
    return tvx::format("{} {} {}", lf_callsignText(ac), ac.registration, gf_airlineTypeText(ac));
}

std::string gf_airlineTypeRegText(const FlightRecord& ac)
{
    return tvx::format("{} {}", gf_airlineTypeText(ac), ac.registration);
}

std::string gf_sizeClassName(SizeClass sizeClass)
{
    static const std::unordered_map<std::uint32_t, std::string> names{
        {0, "Light"}, {1, "Buzjets"}, {2, "Large"}, {3, "Heavy"}, {4, "HighPerf"}, {5, "Rotorcraft"},
    };
    return tvx::at(names, static_cast<std::uint32_t>(sizeClass));
}

bool gf_classWanted(SizeClass sizeClass)
{
    switch (sizeClass) {
    case SizeClass::Light:
        return g_optLightAircraft.value();
    case SizeClass::HighPerf:
        return g_optHighPerfAircraft.value();
    case SizeClass::Rotorcraft:
        return g_optHelicopters.value();
    default:
        return true;
    }
}

// ---- Identity rules ------------------------------------------------------------------------

bool gf_callsignValid(const FlightRecord& ac)
{
    return !ac.callsign.empty() && ac.callsign != "@@@@@@@@" && ac.callsign.size() <= 8;
}

bool gf_airlineFromCallsign(FlightRecord& ac)
{
    const std::string& cs = ac.callsign;
    if (cs.size() < 4)
        return false;
    for (int i = 0; i < 3; ++i)
        if (cs[i] < 'A' || cs[i] > 'Z')
            return false;
    if (cs[3] < '0' || cs[3] > '9')
        return false;
    ac.airline = cs.substr(0, 3);
    return true;
}
