// One AI tick (gf_updateAI) with 300 placed live aircraft: 200 in the air (cruising and
// descending, 180-300 kt) and 100 taxiing on the ground (12-20 kt), each with a stream of feed
// records two seconds apart whose play-out ticks are staggered, so every tick some aircraft plan
// a new leg while the others step along theirs and every aircraft queues its position update.
// The main loop's budget is one tick per 10 ms wake; the figure to read is the median time per
// tick. The fleet is rebuilt (outside the timing) every 3,000 ticks, before the streams run out.
// The tick's own simulator requests go to the embedded stand-in simulator, whose frames are not
// run: the simulator thread's per-frame work is not part of the tick. The floor is a minimal tick
// on the same aircraft: each adds its fixed step to its position and queues its update, and the
// buffers are exchanged; the fleet's rebuild every 3,000 ticks counts in both. The tick does more
// for each aircraft than the floor by design: it places it on its planned leg (a curve toward its
// next record, its course from an arc tangent, its longitude step from the latitude's cosine),
// limits its turn, climb and speed changes and watches its play-out: 3 to 4.5 times the floor on
// the shared machine. Its goal is 5 times the floor, some 20 us a tick (0.2 % of the 10 ms wake):
// above it the tick has grown, not the machine's load.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "bench_floor.h"

#include "foundation/geo.h"
#include "simulator/ai_tick.h"
#include "simulator/command_queues.h"
#include "simulator/live_lifecycle.h"
#include "simconnect/standin_sim.h"
#include "simulator/sim_client.h"
#include "simulator/user_aircraft.h"

namespace {

constexpr int kAir = 200;
constexpr int kGround = 100;
constexpr int kRecords = 40;          // 80 s of feed per aircraft
constexpr int kTicksPerRecord = 200;  // records two seconds apart
constexpr int kTicksPerFleet = 3000;
constexpr double kUserLat = 63.985, kUserLon = -22.6056;

constexpr double kPi = 3.14159265358979323846;

// A live aircraft of the Large class as the creation tables give it (size 0.0096 nm, turn rate
// 0.07 degrees per tick, vertical-rate cap 0.6 ft per tick, slow ground speed 4 kt).
LiveAc lf_liveAc(std::uint32_t hexid, const std::string& callsign, const std::vector<PosRecord>& stream,
                 AcPhase phase)
{
    AcData data;
    data.airline = "ICE";
    data.acType = "B752";
    data.callsign = callsign;
    data.coupledCallsign1 = callsign;
    data.registration = "TF-" + callsign.substr(3);
    data.sizeClass = SizeClass::Large;
    data.size = 0.0096;
    data.baseTurnRate = 0.07 * kPi / 180.0;
    data.turnRate = data.baseTurnRate;
    data.vertRateCap = 0.6;
    data.slowGroundSpeed = 4.0;
    data.flareTicks = 400;
    data.touchdownTicks = 350;
    data.rotationTicks = 200;
    data.climbOutPitchTicks = 300;
    data.rotationPitch = -6.0 * kPi / 180.0;
    data.climbPitch = -16.5 * kPi / 180.0;
    data.hexid = hexid;
    LiveAc ac(stream.front(), data, 0.0);
    ac.stream.assign(stream.begin(), stream.end());
    ac.state = AcState::Placed;
    ac.phase = phase;
    return ac;
}

// A straight track of records from the start point along the course.
std::vector<PosRecord> lf_stream(double lat, double lon, double courseDeg, double speedKt, bool airborne,
                                 double alt, double vrFpm, std::int32_t firstSlot)
{
    std::vector<PosRecord> out;
    for (int k = 0; k < kRecords; ++k) {
        const double nm = speedKt * 2.0 * k / 3600.0;
        const GeoPos p = gf_destinationPoint(lat, lon, courseDeg, nm * 6076.11549);
        PosRecord r;
        r.lat = p.lat;
        r.lon = p.lon;
        r.slot = firstSlot + k * kTicksPerRecord;
        r.speed = speedKt;
        r.airborne = airborne ? 1 : 0;
        r.alt = alt + vrFpm * 2.0 * k / 60.0;
        r.track = courseDeg;
        r.vertRate = vrFpm;
        r.tas = speedKt;
        out.push_back(r);
    }
    return out;
}

// The floor's step of each aircraft of the fleet (see lf_minimalTick), emptied with each new fleet.
std::vector<std::pair<double, double>> g_floorSteps;

void lf_buildFleet()
{
    g_liveAc.clear();
    g_floorSteps.clear();
    g_removeRequests.clear();
    {
        std::lock_guard lock(g_simConnectMutex);
        g_acPosUpdates.write.clear();
        g_acPosUpdates.send.clear();
        g_clientEventCmds.clear();
    }
    const std::int32_t now = g_tick.load();
    for (int i = 0; i < kAir + kGround; ++i) {
        const bool air = i < kAir;
        const double bearing = (i * 137) % 360;
        const double distNm = air ? 3.0 + (i % 35) : 0.2 + (i % 10) * 0.12;
        const GeoPos start = gf_destinationPoint(kUserLat, kUserLon, bearing, distNm * 6076.11549);
        const double lat = start.lat, lon = start.lon;
        const double course = std::fmod(bearing + 90.0 + (i % 7) * 20.0, 360.0);
        const double speed = air ? 180.0 + (i % 12) * 10.0 : 12.0 + (i % 5) * 2.0;
        const double alt = air ? 3000.0 + (i % 20) * 500.0 : 171.0;
        const double vr = air ? ((i % 3) - 1) * 800.0 : 0.0;
        // Staggered play-out: the head fell due up to two seconds ago.
        auto stream = lf_stream(lat, lon, course, speed, air, alt, vr, now - (i * 7) % kTicksPerRecord);
        LiveAc ac = lf_liveAc(0x400000 + i, "BEN" + std::to_string(100 + i), stream,
                              air ? AcPhase::Airborne : AcPhase::Taxiing);
        ac.objectId = 2000 + i;
        ac.title = "Bench livery";
        ac.onGround = air ? 0 : 1;
        ac.sim.lat = lat;
        ac.sim.lon = lon;
        ac.sim.alt = alt;
        ac.sim.heading = course * kPi / 180.0;
        ac.sim.tas = speed;
        g_liveAc.push_back(std::move(ac));
    }
}

void BM_AiTick300Live(benchmark::State& state)
{
    // A connection to the stand-in simulator (lockstep, never stepped), so that the tick's requests
    // (aircraft in range every 20 ticks, user state every 100) are answered like real calls.
    simstandin::Config config;
    config.flightRunning = true;
    config.acceptAnyTitle = true;
    simstandin::sim().reset(config);
    if (FAILED(SimConnect_Open(&g_hSimConnect, "ai_tick_bench", nullptr, 0, nullptr, 0))) {
        state.SkipWithError("the stand-in simulator refused the connection");
        return;
    }
    g_userAcCopy.latitude = kUserLat;
    g_userAcCopy.longitude = kUserLon;
    g_userAcCopy.altitude = 171.0;
    g_userOnGround.store(true);
    lf_buildFleet();
    int ticks = 0;
    std::size_t updates = 0;
    for (auto _ : state) {
        if (++ticks % kTicksPerFleet == 0) {
            state.PauseTiming();
            lf_buildFleet();
            state.ResumeTiming();
        }
        gf_updateAI();
        // The simulator thread's side: the sent positions are taken away every tick.
        std::lock_guard lock(g_simConnectMutex);
        updates += g_acPosUpdates.send.size();
        g_acPosUpdates.send.clear();
        g_clientEventCmds.clear();
        g_removeAcCmds.clear();
        g_createAcCmds.clear();
    }
    state.counters["aircraft"] = static_cast<double>(g_liveAc.size());
    state.counters["updates/tick"] = static_cast<double>(updates) / static_cast<double>(ticks);
    g_liveAc.clear();
    SimConnect_Close(g_hSimConnect);
    g_hSimConnect = nullptr;
}
BENCHMARK(BM_AiTick300Live)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The sent positions taken away, as the simulator thread does every tick.
void lf_takeSent()
{
    std::lock_guard lock(g_simConnectMutex);
    g_acPosUpdates.send.clear();
    g_clientEventCmds.clear();
    g_removeAcCmds.clear();
    g_createAcCmds.clear();
}

// The floor: every aircraft one tick (10 ms) further along its course, its update queued, and the
// buffers exchanged: the least a tick does for each aircraft. Each aircraft's step in latitude and
// longitude is worked out once per fleet (the fleet's first tick), so the tick itself makes no
// call of the maths library.

void lf_minimalTick()
{
    constexpr double kTickHours = 0.01 / 3600.0;
    if (g_floorSteps.empty()) {
        for (const LiveAc& ac : g_liveAc) {
            const AcSimState& s = ac.sim;
            const double deg = s.tas * kTickHours / 60.0;
            g_floorSteps.emplace_back(deg * std::cos(s.heading), deg * std::sin(s.heading) / std::cos(s.lat * kPi / 180.0));
        }
    }
    std::size_t i = 0;
    for (LiveAc& ac : g_liveAc) {
        AcSimState& s = ac.sim;
        s.lat += g_floorSteps[i].first;
        s.lon += g_floorSteps[i].second;
        ++i;
        s.alt += s.vertSpeed * 0.01;
        gf_updateAircraft({s.lat, s.lon, s.pitch, s.bank, s.heading, s.alt, s.vertSpeed, s.tas, ac.objectId});
    }
    gf_exchangePosUpdates();
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    simstandin::Config config;
    config.flightRunning = true;
    config.acceptAnyTitle = true;
    simstandin::sim().reset(config);
    if (FAILED(SimConnect_Open(&g_hSimConnect, "ai_tick_bench", nullptr, 0, nullptr, 0))) {
        std::printf("AI tick: the stand-in simulator refused the connection\n");
        return 1;
    }
    g_userAcCopy.latitude = kUserLat;
    g_userAcCopy.longitude = kUserLon;
    g_userAcCopy.altitude = 171.0;
    g_userOnGround.store(true);
    int ticks = 0;
    auto tick = [&ticks](void (*work)()) {
        if (ticks++ % kTicksPerFleet == 0)
            lf_buildFleet();
        work();
        lf_takeSent();
    };
    tvxbench::printRatioToFloor(
        "AI tick, 300 live aircraft", 5.0, [&] { tick(gf_updateAI); }, [&] { tick(lf_minimalTick); });
    g_liveAc.clear();
    SimConnect_Close(g_hSimConnect);
    g_hSimConnect = nullptr;
    return 0;
}
