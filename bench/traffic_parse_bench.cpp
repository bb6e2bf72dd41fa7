// Feed parsing: a 2,000-aircraft traffic reply (about 600 KB of JSON) turned into
// TrafficRecords, as the traffic reader does once per rate-limit interval (2 s). Reported as
// time per aircraft; the whole reply must stay far below the 2,000 ms between requests. The
// floor is nlohmann's json::accept of the same text (the lexer alone, no document); the
// scaling run reads replies of 200, 2,000 and 20,000 aircraft (the most one reply may hold), and
// the ratio is printed at 2,000 and at 20,000 aircraft.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_floor.h"

#include <nlohmann/json.hpp>

#include "traffic_service/feed_sink.h"
#include "traffic_service/traffic_client.h"

namespace {

constexpr int kAircraft = 2000;

std::string lf_reply(int aircraft = kAircraft)
{
    nlohmann::json data = nlohmann::json::object();
    for (int i = 0; i < aircraft; ++i) {
        char hex[12];
        std::snprintf(hex, sizeof hex, "%06x", 0x400000 + i * 7);
        const double lat = 47.0 + (i % 100) * 0.01;
        const double lon = 8.0 + (i / 100) * 0.01;
        data[hex] = nlohmann::json::array(
            {hex, lat, lon, 274.5, 6475 + i, 231.4, "4213", "X", "A20N", "HB-ZZT", 1767225600.42 + i * 0.01, "GVA",
             "ZRH", "SWR" + std::to_string(100 + i), i % 10 == 0 ? 1 : 0, -832, "LX123", "X_adsb_icao", 6700, 218,
             243, 0.378, -0.12, -2.6, 268.1, 270.9, -800, "none", "A3", 1013.2, 5000, 5000, nullptr,
             "autopilot|approach", 8, 186, 1, 10, 2, 0.3, -18.6, 0, 0, 255, 14, -2, 11, 1});
    }
    return nlohmann::json{{"data", data}, {"full_count", 9876}, {"source", "MemoryDB"}, {"rrl", 2000},
                          {"status", 200}, {"dataepoch", 1767225602}}
        .dump();
}

std::size_t g_records = 0;

void lf_wireSink()
{
    gf_feedSink().handleBatch = [](TrafficClient& client, std::uint32_t) {
        g_records = client.liveRecords().size();
    };
}

// Text to records: the reply read and every entry parsed.
void BM_TrafficReplyTextToRecords(benchmark::State& state)
{
    const std::string text = lf_reply();
    lf_wireSink();
    TrafficClient client;
    FeedReply reply;
    for (auto _ : state) {
        reply.parse(text);
        client.handleTrafficReply(reply);
        benchmark::DoNotOptimize(g_records);
    }
    if (g_records != kAircraft)
        state.SkipWithError("not every aircraft became a record");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["per_aircraft"] =
        benchmark::Counter(kAircraft, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TrafficReplyTextToRecords)->Unit(benchmark::kMillisecond);

// The floor: the same text through the JSON lexer alone.
void BM_TrafficReplyAcceptFloor(benchmark::State& state)
{
    const std::string text = lf_reply();
    for (auto _ : state)
        benchmark::DoNotOptimize(nlohmann::json::accept(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_TrafficReplyAcceptFloor)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    lf_wireSink();
    TrafficClient client;
    FeedReply reply;
    for (const int n : {200, 2000, 20000}) {
        const std::string text = lf_reply(n);
        const double seconds = tvxbench::medianSeconds([&] {
            reply.parse(text);
            client.handleTrafficReply(reply);
        });
        if (g_records != static_cast<std::size_t>(n)) {
            std::printf("traffic reply: %zu records of %d aircraft\n", g_records, n);
            return 1;
        }
        tvxbench::printPerUnit("traffic reply", "aircraft", static_cast<std::size_t>(n), seconds);
    }
    for (const int n : {kAircraft, 20000}) {
        const std::string text = lf_reply(n);
        const std::string path = n == kAircraft ? "traffic reply" : "traffic reply, 20,000 aircraft";
        tvxbench::printRatioToFloor(
            path.c_str(), 1.3,
            [&] {
                reply.parse(text);
                client.handleTrafficReply(reply);
            },
            [&] { benchmark::DoNotOptimize(nlohmann::json::accept(text)); });
    }
    return 0;
}
