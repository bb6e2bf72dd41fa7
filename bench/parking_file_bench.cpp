// Parking-file reading and writing at a large airport: 500 stands, each with a week of options
// (seven options of four slots). Measures the writer (learned hand-made form, the fullest one, and
// the scan's form without options) and the reader (XML parse plus every stand parsed into
// g_parkPositions), the work a park-airport change does on the main loop.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

#include <pugixml.hpp>

#include "model/stand_model.h"
#include "parking/parking_file.h"

namespace {

constexpr int kStands = 500;

ApfRecord lf_bigRecord()
{
    ApfRecord record;
    record.airportName = "Bench International";
    record.publisher = "stock";
    record.altitude = 120;
    record.qfReal = 80;
    record.qfSoft = 10;
    record.stands.reserve(kStands);
    for (int i = 0; i < kStands; ++i) {
        std::vector<ParkPosOption> options;
        for (std::uint32_t day = 1; day <= 7; ++day) {
            ParkPosOption o;
            o.airline = "ICE";
            o.type = i % 3 == 0 ? "B38M" : "A21N";
            o.callsign = "ICE" + std::to_string(100 + i);
            o.callsign2 = day % 2 == 0 ? "ICE" + std::to_string(600 + i) : "";
            o.number = day;
            o.weekday = day;
            o.real = day == 7 ? 0 : 1;
            for (std::size_t s = 0; s < 4; ++s)
                o.slots.set((static_cast<std::size_t>(i) + day * 5 + s * 3) % 48);
            options.push_back(std::move(o));
        }
        record.stands.emplace_back("S" + std::to_string(i + 1), std::move(options), 63.98 + i * 0.0002,
                                   -22.6 - (i % 25) * 0.0003, i * 0.0125, 20.0 + i % 30, i % 10 == 0, i % 4 == 0,
                                   false);
    }
    return record;
}

std::filesystem::path lf_benchFile(const char* name)
{
    return std::filesystem::temp_directory_path() / (std::string("tavix-bench-") + std::to_string(::getpid()) + name);
}

void BM_writeLearnedHandmade(benchmark::State& state)
{
    const ApfRecord record = lf_bigRecord();
    const auto file = lf_benchFile("-learned.xml");
    g_handmadeOverruled.store(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_writeApf(record, file, 0));
    g_handmadeOverruled.store(false);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
    std::filesystem::remove(file);
}
BENCHMARK(BM_writeLearnedHandmade)->Unit(benchmark::kMillisecond);

void BM_writeScanned(benchmark::State& state)
{
    const ApfRecord record = lf_bigRecord();
    const auto file = lf_benchFile("-scan.xml");
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_writeApf(record, file, 1));
    std::filesystem::remove(file);
}
BENCHMARK(BM_writeScanned)->Unit(benchmark::kMillisecond);

void BM_readStands(benchmark::State& state)
{
    const auto file = lf_benchFile("-read.xml");
    g_handmadeOverruled.store(true);
    gf_writeApf(lf_bigRecord(), file, 0);
    g_handmadeOverruled.store(false);
    for (auto _ : state) {
        pugi::xml_document doc;
        doc.load_file(file.c_str());
        g_parkPositions.clear();
        for (const pugi::xml_node parkpos : doc.child("parkpositions").children("parkpos"))
            gf_readParkPos(parkpos, parkpos.attribute("id").as_string(), 1);
        benchmark::DoNotOptimize(g_parkPositions.data());
    }
    state.counters["stands"] = static_cast<double>(g_parkPositions.size());
    g_parkPositions.clear();
    std::filesystem::remove(file);
}
BENCHMARK(BM_readStands)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
