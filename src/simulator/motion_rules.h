// The thresholds a live aircraft goes by, each named once with its unit and the physical reason:
// the time base, record acceptance, the stream's append rules, the motion in the air and on the
// ground, the configuration and the lifecycle. The values per size class are in one table
// (foundation/class_tables.h); the tables of extension speeds, throttle steps and flare stages
// stay beside the code that walks them.
//
// Units: ticks of the AI tick (one 10 ms wake of the main loop), feed seconds, nautical miles
// (distances in metres are written beside them), knots, feet, feet per minute, degrees.
// Constants only: any thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "foundation/units.h"

// ---- Time base ----------------------------------------------------------------------------------

// A leg of d nm at v kt lasts d × kTicksPerHourNm / v ticks.
inline constexpr std::int32_t kTicksPerSecond = 100;
inline constexpr std::int32_t kTicksPerMinute = 60 * kTicksPerSecond;
inline constexpr double kTicksPerHourNm = 360000.0;
inline constexpr double kSecondsPerHour = 3600.0;
// A parked aircraft's extension record lies one week ahead.
inline constexpr std::int32_t kWeekTicks = 604800 * kTicksPerSecond;
// The shortest leg (ticks): a leg time or a gap between two play-out slots is never shorter, so
// that no step jumps across a fix the feed sent twice within a quarter second.
inline constexpr std::int32_t kMinLegTicks = 25;
// A live record plays out this many seconds after its own feed time: the feed's next fixes are
// then known before the aircraft reaches the one it flies to.
inline constexpr std::uint32_t kLiveDelay = 30;

// How far a leg's end may move off its record's play-out slot (ticks): the early and late limits
// start at the raised values after a wait (the late one longer on a take-off, whose records trail
// the acceleration), are widened to kTurnLimitTicks for a sharp ground turn, and step back by
// kLimitStepTicks a leg down to kLimitFloorTicks while the aircraft keeps pace.
inline constexpr std::int32_t kLimitFloorTicks = 10 * kTicksPerSecond;
inline constexpr std::int32_t kLimitStepTicks = kTicksPerSecond;
inline constexpr std::int32_t kRaisedLimitTicks = 30 * kTicksPerSecond;
inline constexpr std::int32_t kTakeOffLateLimitTicks = 50 * kTicksPerSecond;
inline constexpr std::int32_t kTurnLimitTicks = 20 * kTicksPerSecond;

// ---- Physical limits shared by several rules ----------------------------------------------------

// The steepest climb or descent any aircraft flies (ft/min): a feed's altitude step beyond it is
// broken, a feed's vertical rate beyond it is no guide, and a recorded climb is followed up to it.
inline constexpr double kMaxClimbFpm = 8000.0;
// The fastest an aircraft taxis (kt): a next ground fix farther from the last than this speed
// covers over the feed's time between them was not reached by taxiing.
inline constexpr double kTaxiReachKnots = 43.0;
// From this ground speed (kt) on a ground record is a take-off or landing roll, not a taxi.
inline constexpr double kRollStartKnots = 43.0;

// ---- Record acceptance (swallow rules, feed seconds) --------------------------------------------

// A record within a second of the last taken one adds nothing the motion can fly.
inline constexpr double kSameRecordSeconds = 1.0;
// Below this speed (kt) an aircraft stands or crawls: its speed ratio to another says nothing.
inline constexpr double kSlowKnots = 5.0;
// A speed ten times the last one (or a tenth of it) within seconds is a broken speed.
inline constexpr double kSpeedJumpFactor = 10.0;
// From a standstill to this speed (kt) or back between two records: a broken speed.
inline constexpr double kStandstillJumpKnots = 80.0;
// A speed change no aircraft makes (kt per feed second: 5 m/s2, beyond a take-off's acceleration
// and a landing's braking). The jumps above are judged by it for an aircraft that waits at its
// last fix, whose next record may come minutes later.
inline constexpr double kSpeedChangeKnotsPerSecond = 10.0;
// A taxiing record's speed field that reads low against the pace of its fixes: below this speed
// (kt; half the 43 kt of a take-off roll), up to this factor (a standing aircraft's fix thrown
// 30-40 m gives far more than twice its 0-1 kt), over a step beyond the fixes' noise (20 m), along
// the record's track within degrees.
inline constexpr double kTaxiPaceKnots = kRollStartKnots / 2.0;
inline constexpr double kTaxiPaceFactor = 2.0;
inline constexpr double kTaxiPaceStepNm = 0.010799136069114472;  // 20 m
inline constexpr double kTaxiPaceTrackDeg = 30.0;
// A flying aircraft faster than this (kt) flies straight between close fixes.
inline constexpr double kFastAirborneKnots = 120.0;
// A fast flying aircraft on a steady track (degrees) within 450 m of flight of the last record:
// the fix adds nothing.
inline constexpr double kAirTrackDeg = 1.0;
inline constexpr double kAirMoveNm = 0.2429805615550756;  // 450 m
// A slow ground aircraft (kt) on a steady track (degrees) within 20 m of the last record, or 15 s,
// adds nothing.
inline constexpr double kSlowGroundKnots = 30.0;
inline constexpr double kGroundTrackDeg = 2.0;
inline constexpr double kGroundMoveNm = 0.010799136069114472;  // 20 m
inline constexpr double kGroundWaitCapSeconds = 15.0;
// Broken altitudes and thrown fixes are swallowed for at most this long after the last accepted
// record, so that a broken last record cannot shut the aircraft out.
inline constexpr double kBrokenAltitudeSeconds = 60.0;
// Altitude margin from a flying record (ft): the feed's altitude noise and coding.
inline constexpr double kAltitudeMarginFt = 300.0;
// Altitude margin from a ground record (ft): the field elevation's datum against the QNH.
inline constexpr double kGroundAltitudeMarginFt = 1000.0;
// Off the altitude the feed's own vertical rates give by more than this rate (ft/min).
inline constexpr double kRateChangeFpm = 4000.0;
// A flying record's altitude is the median of the altitudes heard over this many seconds (s), each
// carried to the record's time along its own and the record's vertical rate (their mean: exact for
// a rate that changes evenly). Real feeds send rows 150-250 ft off a steady climb or descent, now
// and then several in a row, within the margin above; one of them taken as a record, the aircraft
// dived or climbed toward it. Eight rows of a feed of one a second outvote three broken ones, and
// the rates carry each row to the record's time, so a climb or descent is not flown late. A record
// within half the coarsest altitude coding (kAltitudeCodingFt) of that line keeps its own altitude.
inline constexpr double kAltitudeMedianSeconds = 8.0;
// Fewer rows than this in those seconds (a feed of a row every 5 s gives two) outvote nothing: the
// record keeps its own altitude. Two rows' mean carried along rates that disagree with their
// altitudes (an interpolated trail low over the field, 1100-2100 ft/min while it rose 75 ft/min)
// put a touch-and-go 150 ft above its rows.
inline constexpr std::size_t kAltitudeMedianRows = 3;
// A flying aircraft faster than this (kt) reported again at the same position: a stale fix.
inline constexpr double kStaleAirKnots = 60.0;
// A buffered aircraft's new fix farther than twice its speed, or this many knots more: a jump.
inline constexpr double kJumpMarginKnots = 100.0;
// A fast aircraft flying straight (track within degrees) whose step is off what its speeds give by
// half a nm and a fifth of that distance: a fix thrown behind or ahead.
inline constexpr double kStraightTrackDeg = 2.0;
inline constexpr double kOffStepNm = 0.5;
inline constexpr double kOffStepShare = 0.2;
// The park airport's elevation band (ft): a standing aircraft inside it is left to the parked
// traffic; above kHighAltitudeFt no field is that high.
inline constexpr double kHighAltitudeFt = 10000.0;
inline constexpr double kParkBandFt = 120.0;
inline constexpr double kNoParkAirportElevationFt = -1000.0;

// ---- Stream append ------------------------------------------------------------------------------

// Records held at most: more means the aircraft no longer follows its feed.
inline constexpr std::size_t kMaxStream = 200;
// A fix within this many degrees (about 16 m) of the last one: the feed's position jitter.
inline constexpr double kNearDegrees = 0.00015;
// A creeping aircraft's feed gives 1 kt or more (a standing one 0-0.1 kt), over at most 10 s.
inline constexpr double kCreepKnots = 1.0;
inline constexpr double kCreepStepSeconds = 10.0;
// On a take-off roll at this speed (kt) a fix within the jitter of the last is stale, no stop.
inline constexpr double kRollJitterKnots = 50.0;
// On a take-off roll at this speed (kt) a repeated fix with a speed is stale, no stop.
inline constexpr double kRollRepeatKnots = 30.0;
// A flying aircraft resuming after a stop does not turn back further than this (degrees).
inline constexpr double kResumeTurnDeg = 100.0;
// On the ground a fix this far off the course (degrees) lies behind the aircraft: a landing's
// first roll-out fix is dropped, a leg's end is taken back, a parked aircraft whose fixes leave
// behind its nose is pushed back.
inline constexpr double kBehindDeg = 90.0;
// A fix this far off the heading (degrees) turns a taxiing aircraft round where it stands.
inline constexpr double kTurnRoundDeg = 150.0;
// On the roll-out a faster fix above this speed (kt) keeps the last speed: a roll-out slows down.
inline constexpr double kRollOutSpeedKnots = 40.0;
// Pushed back: a fix farther than this many sizes from the aircraft (and farther than any before),
// or than the far share, ends the pushback.
inline constexpr double kPushedBackSizes = 2.75;
inline constexpr double kPushedBackFarSizes = 6.0;
// Stand arrival: within 85 m of the stand (twice that when taxiing in) the aircraft has arrived;
// farther than 200 m from it a placed aircraft is elsewhere.
inline constexpr double kStandNm = 0.0458963282937365;      // 85 m
inline constexpr double kStandFarNm = 0.10799136069114472;  // 200 m
// A fix this much farther from the stand than the last counts as receding (3 m: jitter).
inline constexpr double kThreeMetresNm = 0.0016198704103671706;
// Three receding fixes and half a size moved (or a size): the aircraft moves off its stand.
inline constexpr std::uint32_t kRecedingFixes = 3;
// A stop of 15 s or more followed by a move of more than 22 m is kept (a real stop).
inline constexpr double kStopKeepNm = 0.011879049676025918;  // 22 m
inline constexpr std::int32_t kStopKeepTicks = 15 * kTicksPerSecond;
// A following leg needs three records: the head, the leg's end and the next leg's end. With them
// the turn onto the next leg is known (a curve, a split leg), and a fix behind takes back two.
inline constexpr std::size_t kFollowingLegRecords = 3;
// A run of stop records at the stream's end is checked from the last moving record before it,
// looked for 2 to 6 records back (n from 3 to 7 counting the new record): a stop of up to five.
inline constexpr std::size_t kStopRunFirstRecords = 3;
inline constexpr std::size_t kStopRunLastRecords = 7;

// ---- Motion in the air --------------------------------------------------------------------------

// The fastest catch-up: this many times the feed's speed, and at least this much faster (kt) in
// the air and on the ground.
inline constexpr double kCatchUpFactor = 1.2;
inline constexpr double kAirCatchUpKnots = 40.0;
inline constexpr double kGroundCatchUpKnots = 10.0;
// A faster record after a leg sets the pace up to this factor (a feed's speed trailing its fixes).
inline constexpr double kTrailingSpeedFactor = 1.5;
// A feed's vertical rate below this (ft/min) is level flight: feeds report a few tens either way.
inline constexpr double kLevelFpm = 300.0;
// Extension records descend no lower than this above the ground (ft).
inline constexpr double kExtensionFloorFt = 1000.0;
// Extension records lie this many seconds apart on the ground and in the air.
inline constexpr double kGroundExtensionSeconds = 3.0;
inline constexpr double kAirExtensionSeconds = 8.0;
// A landing aircraft without a speed plans its leg at this speed (kt).
inline constexpr double kLandingDefaultKnots = 100.0;
// After the lift-off the climb builds up for three seconds (rotation counter -300).
inline constexpr std::int32_t kClimbBuildUpTicks = 300;
// The climb-out ends this high above the ground (ft).
inline constexpr double kClimbOutDoneFt = 800.0;
// A landing aircraft flares below this height (ft).
inline constexpr double kFlareHeightFt = 400.0;
// The lowest pitch in the flare (nose up 4 degrees).
inline constexpr double kFlarePitchDeg = -4.0;
// An aircraft standing at the end of its data waits in steps of 3 s.
inline constexpr std::int32_t kHoldStepTicks = 3 * kTicksPerSecond;
// An aircraft at the end of its data gets this many extension records in the air (8 × 8 s) and on
// the ground (10 × 3 s), counted down; then its data has ended.
inline constexpr std::int32_t kAirExtensionRecords = 8;
inline constexpr std::int32_t kGroundExtensionRecords = 10;
// A landing aircraft's extension records each slow to this share of the speed before (percent),
// the last three (counted down below 4) keep it: an approach slows down.
inline constexpr std::int32_t kLandingExtensionKeptRecords = 4;
inline constexpr double kLandingExtensionSpeedPercent = 90.0;
// A landing aircraft's extension records carry this descent rate (ft/min) and fall by this much a
// second of their spacing (ft/s: about 600 ft/min, a 3-degree glide path at 115 kt); a take-off's
// carry its climb rate and climb by it.
inline constexpr double kLandingExtensionFpm = -667.0;
inline constexpr double kLandingExtensionFeetPerSecond = 10.005;
inline constexpr double kTakeOffExtensionFpm = 1500.0;
inline constexpr double kTakeOffExtensionFeetPerSecond = kTakeOffExtensionFpm / 60.0;

// ---- Motion on the ground -----------------------------------------------------------------------

// A slow, long leg (longer than 50 m, at least 6 s) before a turn sharper than this (degrees) is
// split at its middle; a turn up to it is spread over its leg, a sharper one taken faster.
inline constexpr double kSharpTurnDeg = 45.0;
inline constexpr double kFiftyMetresNm = 0.02699784017278618;
inline constexpr std::int32_t kSlowLegTicks = 6 * kTicksPerSecond;
// A turn between these (degrees) is flown as a curve; above the last, the aircraft turns round.
inline constexpr double kCurveMinDeg = 3.0;
inline constexpr double kCurveMaxDeg = 160.0;
// Off the course by more than this (degrees) a taxiing aircraft turns in place.
inline constexpr double kTurnInPlaceDeg = 3.0;
// A taxiing aircraft this slow (kt) within kStillNm of its last fix claims a stand there.
inline constexpr double kStandClaimKnots = 5.0;
// A speed change of more than this (kt) over a leg of 100 m or more gets a midpoint.
inline constexpr double kSpeedChangeKnots = 5.0;
inline constexpr double kSpeedChangeLegMetres = 100.0;
// The pace a curve's part may take to pass its control record on time: the records' highest
// speed times this, plus the margin (kt).
inline constexpr double kCornerPaceFactor = 1.5;
inline constexpr double kCornerPaceMarginKnots = 10.0;
// A pushback's turn off the stand: a right angle (degrees).
inline constexpr double kPushbackTurnDeg = 90.0;
// An aircraft standing at the end of its data does not wait there while another taxies within
// this many times both sizes of it: it would stand in the other's way.
inline constexpr double kTaxiNeighbourSizes = 1.2;
// A gentle turn (up to kSharpTurnDeg) is spread over its leg when the leg lasts at least this many
// times its turn at the base rate (the leg's ticks over the turn's steps).
inline constexpr double kSpreadTurnShare = 1.2;
// A sharper turn is taken faster: the base rate times its angle over this (degrees), up to a
// right angle's three times; from the second angle on the timing limits widen to kTurnLimitTicks.
inline constexpr double kRaisedTurnStepDeg = 30.0;
inline constexpr double kRaisedTurnCapDeg = 90.0;
inline constexpr double kWideTurnDeg = 90.0;
// A new aircraft on the ground stands at this pitch until the simulator reports its own (radians,
// positive is nose down: 0.6 degrees).
inline constexpr double kNewGroundPitch = kPi / 300.0;

// ---- Configuration ------------------------------------------------------------------------------

// The standard pressure (hPa): above it recorded pressure altitudes read low.
inline constexpr std::int32_t kStandardQnh = 1013;
// The gentlest descent of an approach (ft/min): about a 3-degree glide path at 115 kt, the
// slowest approach of the traffic.
inline constexpr double kApproachFpm = 601.0;
// A landing aircraft starts its approach descent only this close above the ground (ft), and only
// while its records hold level within this much a minute (ft/min, the two rates summed).
inline constexpr double kApproachStartHeightFt = 1000.0;
inline constexpr double kApproachLevelFpm = 100.0;

// Near an airport: within this distance (nm).
inline constexpr double kTenNm = 10.0;
// Height of a glide path over the runway threshold (ft).
inline constexpr double kThresholdHeightFt = 50.0;
// The coarsest altitude coding of a feed (ft, Mode C): two records that differ by less may hide
// a climb or a descent.
inline constexpr double kAltitudeCodingFt = 100.0;
// Below this altitude (ft) the landing lights are on and the climb/approach configuration runs.
inline constexpr double kLightsAltitudeFt = 10000.0;
// A roll-out ends when the heading is this far (degrees) off the touchdown heading: turned off.
inline constexpr double kTurnedOffRunwayDeg = 15.0;
// The spoilers come in below this roll-out speed (kt).
inline constexpr double kSpoilersInKnots = 90.0;
// A record climbs faster than this (ft/min).
inline constexpr double kClimbingFpm = 256.0;

// The pitch (radians, negative is nose up) of a flying aircraft at a vertical rate (ft/min): 3
// degrees nose up in level flight, 2.2 degrees more for each 600 ft/min of climb (up to 2400), half
// that for a descent (down to 3000).
inline double gf_flightPitch(double vertRateFpm)
{
    const double w = vertRateFpm;
    const double g = w < 0.0 ? std::max(w, -3000.0) * 0.5 : std::min(w, 2400.0);
    return (-3.0 - g / 600.0 * 2.2) * kDegToRad;
}

// A flying aircraft created this high above the ground (ft) or higher has its cabin lights on.
inline constexpr double kCabinLightsHeightFt = 2000.0;

// ---- Lifecycle ----------------------------------------------------------------------------------

// Five nautical miles: the user's neighbourhood.
inline constexpr double kFiveNm = 5.0;
// A stand within 55 m of a parked aircraft's position is its own.
inline constexpr double kStandSearchNm = 0.029697624190064796;  // 55 m
// Within 35 m of its last fix a slow aircraft stands still.
inline constexpr double kStillNm = 0.018898488120950324;  // 35 m
// The user aircraft within 150 m on the ground.
inline constexpr double kUserGroundNm = 0.08099352051835854;  // 150 m
// Records buffered before a new aircraft is created.
inline constexpr std::size_t kCreationBacklog = 11;
// The user passes a live aircraft's head within 6 nm, 3000 ft and 4000 ft across its course.
inline constexpr double kPassNm = 6.0;
inline constexpr double kPassAltitudeFt = 3000.0;
inline constexpr double kPassAcrossFt = 4000.0;
// The user or a held ground aircraft faster than this (kt) is on the move: the held aircraft's
// records keep being dropped, as are those within 500 m of the standing user.
inline constexpr double kUserMovingKnots = 8.0;
inline constexpr double kHeldNearUserMetres = 500.0;
// A ground aircraft appearing within 1.5 nm of a user below 1000 ft above the ground, within
// 500 ft across the user's heading (on the user's runway), is held.
inline constexpr double kUserRunwayNm = 1.5;
inline constexpr double kUserLowFt = 1000.0;
inline constexpr double kUserRunwayAcrossFt = 500.0;
// A parked aircraft at an overlapping stand within this many times both sizes is removed.
inline constexpr double kOverlapSizes = 1.1;
