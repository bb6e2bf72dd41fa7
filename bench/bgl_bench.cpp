// Airport BGL decoding: one whole file (read, section walk, stands) and the stands of one parking
// list, on the real EGTK airport (89 parking entries) when the test data lies beside the project,
// and on built airports of 100 to 2000 stands. Runs on the benchmark's thread; the scan messages
// of the decoder collect in memory and are emptied between runs.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <filesystem>
#include <vector>

#include <benchmark/benchmark.h>

#include "parking/addon_scan.h"
#include "parking/bgl_decode.h"
#include "support/bgl_builder.h"
// Bench programs do not link the test support library; the builder is compiled in here.
#include "support/bgl_builder.cpp"

namespace fs = std::filesystem;

namespace {

fs::path lf_realEgtk()
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    const fs::path base = source ? fs::path(source) : fs::current_path();
    const fs::path file = base / ".." / "shared" / "testdata" / "msfs_bgl" / "benjwri-egtk" / "scenery" / "polygon.bgl";
    return fs::exists(file) ? file : fs::path();
}

// An airport of n distinct stands with two airline codes each, as little-endian words.
std::vector<std::uint32_t> lf_builtAirport(int stands, std::size_t& airportWord)
{
    tvxtest::BglAirport airport;
    for (int i = 0; i < stands; ++i) {
        tvxtest::BglParkingEntry e;
        e.nameCode = 12 + static_cast<std::uint32_t>(i % 26);
        e.number = static_cast<std::uint32_t>(1 + i / 26);
        e.lat = 51.8 + 0.0001 * i;
        e.airlineCodes = 2;
        airport.parking.push_back(e);
    }
    const tvxtest::BglImage image = tvxtest::buildAirportBgl({airport});
    std::vector<std::uint32_t> words((image.file.size() + 3) / 4, 0);
    std::memcpy(words.data(), image.file.bytes().data(), image.file.size());
    airportWord = image.airportOffsets[0] / 4;
    return words;
}

void lf_clearMessages()
{
    std::lock_guard lock(g_scanMessagesMutex);
    g_scanMessages.clear();
}

// Whole file from disk: read, section table, record walk and stands.
void BM_DecodeRealEgtkFile(benchmark::State& state)
{
    const fs::path file = lf_realEgtk();
    if (file.empty()) {
        state.SkipWithError("shared/testdata/msfs_bgl not found (set TAVIX_SOURCE_DIR)");
        return;
    }
    std::size_t stands = 0;
    for (auto _ : state) {
        std::vector<ScannedAirport> airports;
        gf_decodeBglFile(file, airports);
        stands = airports.empty() ? 0 : airports[0].stands.size();
        benchmark::DoNotOptimize(airports);
    }
    lf_clearMessages();
    state.counters["stands"] = static_cast<double>(stands);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_DecodeRealEgtkFile)->Unit(benchmark::kMicrosecond);

// The stands of one airport record already in memory; items are stands.
void BM_DecodeStandsInMemory(benchmark::State& state)
{
    std::size_t airportWord = 0;
    const std::vector<std::uint32_t> buffer = lf_builtAirport(static_cast<int>(state.range(0)), airportWord);
    const BglWords words(buffer);
    const std::size_t recordWords = words.recordSize(airportWord) / 4;
    BglTaskState task;
    for (auto _ : state) {
        ScannedAirport record;
        record.code = "EGTK";
        lf_decodeAirportStands(words, airportWord, recordWords, record, task, "bench.bgl");
        benchmark::DoNotOptimize(record.stands.data());
    }
    lf_clearMessages();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_DecodeStandsInMemory)->Arg(100)->Arg(500)->Arg(2000)->Unit(benchmark::kMicrosecond);

// The cheap section-table test the walk runs on every BGL file it meets.
void BM_HasAirportSection(benchmark::State& state)
{
    const fs::path file = lf_realEgtk();
    if (file.empty()) {
        state.SkipWithError("shared/testdata/msfs_bgl not found (set TAVIX_SOURCE_DIR)");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(lf_hasAirportSection(file));
}
BENCHMARK(BM_HasAirportSection)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
