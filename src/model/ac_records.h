// The aircraft records: AcData (an aircraft as the program keeps it), StaticAc (a parked aircraft
// placed in the simulator) and LiveAc (a live aircraft following the feed, with the motion flags of
// its legs), their size classes, phases and states, checked access to a live aircraft's stream,
// and the one-line texts with which log lines name an aircraft. A LiveAc begins with its StaticAc,
// which begins with its AcData, which begins with the FlightRecord head, so the operations on the
// shorter record serve the longer ones. The records live in g_staticAc and g_liveAc and belong to
// the main loop's thread; nothing here takes a lock.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <string_view>

#include "traffic_service/traffic_records.h"

// Size class of an aircraft type; keys the per-class tables.
enum class SizeClass : std::uint32_t {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5,
};

enum class AcPhase : std::uint32_t {
    Pushback = 0,    // pushing back out of the stand
    PushedBack = 1,  // pushed back and standing
    Taxiing = 2,
    TakeOff = 3,     // take-off roll and rotation
    Airborne = 4,
    TaxiIn = 5,      // taxiing in to a claimed stand
    Parked = 6,      // parked at a stand
    New = 7,         // set by the constructor, left when first spawned
};

enum class AcState : std::uint32_t {
    Buffering = 0,
    CreationRequested = 1,
    Placed = 2,
    Respawning = 3,
    BeingRemoved = 4,
};

// An aircraft as the program keeps it: identity, size, per-class motion values, livery, hexid.
struct AcData : FlightRecord {
    SizeClass sizeClass = SizeClass::Large;
    double size = 0.0;             // radius in nautical miles (half the wingspan)
    double staticCgHeight = 0.0;   // feet, reported by the simulator for the object
    double staticPitch = 0.0;      // radians, ground attitude reported with the CG height
    double rotationPitch = 0.0;    // radians, negative = nose up
    double climbPitch = 0.0;       // radians
    double baseTurnRate = 0.0;     // radians per tick (set by the live creation)
    double turnRate = 0.0;         // radians per tick, scaled by the ground movement
    double vertRateCap = 0.0;      // feet per tick
    double slowGroundSpeed = 0.0;  // knots
    std::string_view title;        // view into the livery tables; empty until matched
    std::uint32_t hexid = 0;       // ICAO address; 10000 or less for the program's parked aircraft
    std::uint32_t flareTicks = 0;
    std::uint32_t touchdownTicks = 0;
    std::uint32_t rotationTicks = 0;
    std::uint32_t climbOutPitchTicks = 0;
    std::uint8_t cargo = 0;
    std::uint8_t fsltl = 0;        // the livery belongs to an FSLTL model (title "FSLTL_...")

    AcData() = default;
    // The head with its type's class and size (radius, nm), the per-class values of that class,
    // rotation pitch +-2.5 % and climb pitch +-5 % at random. Throws std::out_of_range for a class
    // missing from the tables. gf_makeAcData (liveries/aircraft_db.h) looks the type up.
    AcData(const FlightRecord& head, SizeClass sizeClass, double sizeNm);
    AcData(const AcData&) = default;
    AcData& operator=(const AcData&) = default;
};

// A parked aircraft placed (or to be placed) in the simulator.
struct StaticAc : AcData {
    std::uint32_t objectId = 0;        // simulator object id, 0 while it has none
    double standLat = 0.0;             // degrees
    double standLon = 0.0;             // degrees
    double standHeading = 0.0;         // radians
    std::uint64_t stamp = 0;           // schedule-clock stamp at which it parked
    std::uint32_t serviceHexid = 0;    // hexid of the parked-traffic entry it was made from
    std::uint32_t standId = 0;         // ParkPos it occupies, 0 for none
    AcState state = AcState::Buffering;
    std::uint32_t throttleIndex = 5;   // last throttle step sent (0..4), 5 = none yet
    std::uint32_t flapsIndex = 4;      // last flaps step sent (0..4)
    std::uint8_t cargoStand = 0;       // the stand's cargo attribute when it was taken
    std::uint32_t planKind = 1;        // 1 stand schedule, 0 the service's parked list
    std::uint8_t removeOnCreation = 0; // remove as soon as the object exists
    std::uint8_t removeMark = 0;       // state 0 aircraft to be erased after the update walk
    std::uint32_t removalAskedFor = 0; // object id whose removal went to the queue (asked once)

    StaticAc() = default;
    StaticAc(const AcData& data, std::uint32_t standId, double lat, double lon, double heading,
             std::uint8_t cargoStand);
};

// The simulator state sent with every position update, in the update record's order.
struct AcSimState {
    double lat = 0.0;        // degrees
    double lon = 0.0;        // degrees
    double pitch = 0.0;      // radians, negative = nose up
    double bank = 0.0;       // radians
    double heading = 0.0;    // radians 0..2pi
    double alt = 0.0;        // feet
    double vertSpeed = 0.0;  // feet per second
    double tas = 0.0;        // knots (signed: negative while pushing back)
};

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The motion flags and values of a live aircraft's legs: heading step, curve step and turn angle,
// touchdown heading, ground altitude, the take-off, landing and stand-leaving flags, the flare
// stage, the spare turn record of a running pushback and the angle of a turn in place.
struct LiveMotion {
    double headingStep = 0.0;       // radians per tick
    double curveStep = 0.0;         // curve parameter per tick
    // A taxi curve passes its control record at that record's time: the curve parameter nearest
    // the record (0: no such pass, an even step), the share of the leg's ticks before it and the
    // step per tick after it.
    double curveCorner = 0.0;
    double curveCornerShare = 0.0;
    double curveStepAfter = 0.0;
    double curveTurnAngle = 0.0;    // degrees
    double touchdownHeading = 0.0;  // radians
    double groundAlt = 0.0;         // feet, static CG height + reported ground altitude
    std::uint32_t flareStage = 0;   // 0..4
    std::uint8_t groundAltKnown = 0;
    std::uint8_t landed = 0;        // set at touchdown
    std::uint8_t spoilersOut = 0;   // landing roll-out
    std::uint8_t deRotation = 0;    // nose coming down after touchdown
    std::uint8_t towed = 0;
    std::uint8_t turnInPlace = 0;
    std::uint8_t climbConfigDone = 0;
    std::uint8_t lightsAbove10k = 0;
    std::uint8_t lightsBelow10k = 0;
    std::uint8_t movingOff = 0;     // the records move away from the stand: leave it
    std::uint8_t pushbackSpareSet = 0;
    PosRecord pushbackSpare{};      // the pushback's turn to the other side
    double turnInPlaceDeg = 0.0;    // course-heading difference of a turn in place
    std::int32_t rotationTick = 0;  // take-off roll: the tick its rotation starts (0: none planned)
};

// The newest flying altitudes heard from the feed, taken or swallowed, oldest overwritten first (a
// flying record's altitude is taken from those of the last seconds; cleared by a ground row).
struct HeardAltitudes {
    // More than a feed of one row a second gives over the seconds the altitude is taken from.
    static constexpr std::size_t kRows = 16;
    struct Row {
        double time = 0.0;      // feed seconds
        double alt = 0.0;       // feet
        double vertRate = 0.0;  // feet per minute (0: level or none given)
    };
    std::array<Row, kRows> rows{};
    std::uint32_t count = 0;  // rows held
    std::uint32_t next = 0;   // the slot the next row goes to

    // Keeps a flying row's altitude and vertical rate; a ground row clears the rows.
    void hear(double time, const PosRecord& pos);
};

// A live aircraft: a StaticAc following its stream of feed positions.
struct LiveAc : StaticAc {
    AcSimState sim;
    std::deque<PosRecord> stream;      // front = record flown to or stood at, back = newest
    double lastRecordTime = 0.0;       // feed seconds of the last accepted record
    double lastFeedLat = 0.0;          // the feed's position of that record (degrees), before the
    double lastFeedLon = 0.0;          // stream rules moved or merged it
    double lastFeedSpeed = 0.0;        // the feed's own ground speed there (knots; 0: none given)
    double olderFeedTime = 0.0;        // the accepted record before it: feed seconds (0: none)
    double olderFeedLat = 0.0;         // and position
    double olderFeedLon = 0.0;
    PosRecord heard{};                 // the newest feed record heard whose altitude was in reach,
    double heardTime = 0.0;            // taken or swallowed: the next altitude is judged from it
    HeardAltitudes heardAltitudes;     // the flying altitudes heard in the last seconds
    std::chrono::steady_clock::time_point parkingTime{};
    std::int32_t holdCounter = 0;      // >0 extensions allowed, 0 none, -1 used up
    std::uint32_t waitingStartTick = 0;
    AcPhase phase = AcPhase::New;
    AcPhase prevPhase = AcPhase::New;
    std::uint8_t standApproachSeen = 0;
    std::uint8_t onGround = 0;
    std::uint8_t flightPlanSet = 0;
    std::uint8_t heldNearUser = 0;
    std::uint8_t waiting = 0;          // ground hold at the end of the stream

    // Motion state of the air and ground legs.
    double latStep = 0.0;
    double lonStep = 0.0;
    double pitchStep = 0.0;
    double bankStep = 0.0;
    double altStep = 0.0;              // feet per tick
    double groundHeading = 0.0;        // radians
    double vertSpeedFpm = 0.0;         // shown vertical speed of the coming leg
    double legSpeed = 0.0;             // knots
    // Quadratic ground curve: reference lat, lon, t0, end north, end east, t1, control east,
    // control north (metres from the reference); unset = not a number.
    std::array<double, 8> curve{kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
    double curveT = 0.0;
    std::uint8_t takeOff = 0;
    std::uint8_t landing = 0;

    std::int32_t earlyLimit = 1000;    // ticks a record's play-out tick may move earlier
    std::int32_t lateLimit = 1000;     // ... or later
    std::int32_t rotationTickCounter = 1;
    std::uint32_t pushbackStep = 0;    // 1 engines started before moving off, 2 pushing back

    // Stand arrival and pushback.
    std::uint32_t recedingCount = 0;
    double course = 0.0;               // radians
    double heightAboveGround = 2500.0; // feet
    double forcedHeading = 0.0;
    std::uint8_t forcedHeadingSet = 0;
    std::int32_t pushbackTurnSide = 0;
    std::uint8_t pushbackTurnSideSet = 0;
    double farthestStandDist = 0.0;
    double firstStandDist = 0.0;
    double lastStandDist = 0.0;
    // The newest record's position at the aircraft's last stand claim on arrival (unset: not a
    // number): the claim is not tried again until a newer record has come.
    double lastClaimLat = kNaN;
    double lastClaimLon = kNaN;

    LiveMotion motion;

    LiveAc() = default;
    LiveAc(const PosRecord& first, const AcData& data, double firstTime);
    LiveAc(const LiveAc&) = default;
    LiveAc(LiveAc&&) = default;
    // Member-wise, the stream copied record by record (erasing marked aircraft from g_liveAc).
    LiveAc& operator=(const LiveAc&) = default;
    LiveAc& operator=(LiveAc&&) = default;
};

// Throws std::out_of_range "invalid deque<T> subscript": a stream record that is missing.
[[noreturn]] void gf_throwMissingRecord();

// Record i of the stream; std::out_of_range ("invalid deque<T> subscript") when it is missing.
// Inline: the AI tick reads a few records of every aircraft on every tick.
inline PosRecord& gf_rec(std::deque<PosRecord>& stream, std::size_t i)
{
    if (i >= stream.size()) [[unlikely]]
        gf_throwMissingRecord();
    return stream[i];
}
inline const PosRecord& gf_rec(const std::deque<PosRecord>& stream, std::size_t i)
{
    if (i >= stream.size()) [[unlikely]]
        gf_throwMissingRecord();
    return stream[i];
}
PosRecord& gf_last(std::deque<PosRecord>& stream);

// Phase change: the old phase goes to the previous phase.
void gf_setPhase(LiveAc& ac, AcPhase phase);
inline bool gf_isPhase(const LiveAc& ac, AcPhase phase) { return ac.phase == phase; }

// Texts naming an aircraft in log lines.
std::string gf_airlineTypeText(const FlightRecord& ac);           // "{:3} {:4}"
bool gf_sameAirlineType(const FlightRecord& a, const FlightRecord& b);
std::string lf_routeText(const FlightRecord& ac);                 // "{:3}->{:3}", 8 blanks if none
std::string lf_callsignText(const FlightRecord& ac);              // "{:8}"
std::string gf_routeRegCallsignText(const FlightRecord& ac);
std::string gf_acText(const FlightRecord& ac);
std::string gf_acIdText(const FlightRecord& ac);
std::string gf_airlineTypeRegText(const FlightRecord& ac);
// Name of a size class; any other value throws std::out_of_range ("invalid unordered_map<K, T> key").
std::string gf_sizeClassName(SizeClass sizeClass);
// Whether the user's settings let aircraft of this class be shown: light aircraft, high-performance
// aircraft and helicopters each have their own switch; the other classes always are.
bool gf_classWanted(SizeClass sizeClass);

// Not empty, not the feed's "@@@@@@@@", at most 8 characters.
bool gf_callsignValid(const FlightRecord& ac);
// Three capital letters and a digit: the airline code becomes those letters (true).
bool gf_airlineFromCallsign(FlightRecord& ac);
