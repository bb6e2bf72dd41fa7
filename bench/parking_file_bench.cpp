// Parking-file reading and writing at a large airport: 500 stands, each with a week of options
// (seven options of four slots). Measures the writer (learned hand-made form, the fullest one, and
// the scan's form without options) and the reader (XML parse plus every stand parsed into
// g_parkPositions), the work a park-airport change does on the main loop. The reader's floor is
// pugixml's load_buffer of the same bytes plus a walk copying every attribute of every element;
// the scaling run reads files of 50, 500 and 5,000 stands.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <unistd.h>

#include <pugixml.hpp>

#include "bench_floor.h"
#include "model/stand_model.h"
#include "parking/parking_file.h"

namespace {

constexpr int kStands = 500;

ApfRecord lf_bigRecord(int stands = kStands)
{
    ApfRecord record;
    record.airportName = "Bench International";
    record.publisher = "stock";
    record.altitude = 120;
    record.qfReal = 80;
    record.qfSoft = 10;
    record.stands.reserve(static_cast<std::size_t>(stands));
    for (int i = 0; i < stands; ++i) {
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

// The bytes of a learned file of the given size, as the reader meets them.
std::string lf_fileText(int stands)
{
    const auto file = lf_benchFile("-read.xml");
    g_handmadeOverruled.store(true);
    gf_writeApf(lf_bigRecord(stands), file, 0);
    g_handmadeOverruled.store(false);
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(file);
    return text;
}

// The reader: parse and every stand into g_parkPositions.
void lf_readStands(const std::string& text)
{
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size());
    g_parkPositions.clear();
    for (const pugi::xml_node parkpos : doc.child("parkpositions").children("parkpos"))
        gf_readParkPos(parkpos, parkpos.attribute("id").as_string(), 1);
    benchmark::DoNotOptimize(g_parkPositions.data());
}

// The floor: the same parse and a walk copying every attribute of every parkpos and opt.
void lf_floorWalk(const std::string& text, std::vector<std::string>& copies)
{
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size());
    for (const pugi::xml_node parkpos : doc.child("parkpositions").children("parkpos")) {
        copies.clear();
        for (const pugi::xml_attribute a : parkpos.attributes())
            copies.emplace_back(a.value());
        for (const pugi::xml_node opt : parkpos.children())
            for (const pugi::xml_attribute a : opt.attributes())
                copies.emplace_back(a.value());
        benchmark::DoNotOptimize(copies.data());
    }
}

void BM_readStands(benchmark::State& state)
{
    const std::string text = lf_fileText(kStands);
    for (auto _ : state)
        lf_readStands(text);
    state.counters["stands"] = static_cast<double>(g_parkPositions.size());
    g_parkPositions.clear();
}
BENCHMARK(BM_readStands)->Unit(benchmark::kMillisecond);

void BM_readStandsFloor(benchmark::State& state)
{
    const std::string text = lf_fileText(kStands);
    std::vector<std::string> copies;
    for (auto _ : state)
        lf_floorWalk(text, copies);
}
BENCHMARK(BM_readStandsFloor)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    for (const int n : {50, 500, 5000}) {
        const std::string text = lf_fileText(n);
        const double seconds = tvxbench::medianSeconds([&] { lf_readStands(text); });
        if (g_parkPositions.size() != static_cast<std::size_t>(n)) {
            std::printf("parking file: %zu stands read of %d\n", g_parkPositions.size(), n);
            return 1;
        }
        tvxbench::printPerUnit("parking file", "stand", static_cast<std::size_t>(n), seconds);
    }
    const std::string text = lf_fileText(kStands);
    std::vector<std::string> copies;
    tvxbench::printRatioToFloor("parking file", 1.5, [&] { lf_readStands(text); },
                                [&] { lf_floorWalk(text, copies); });
    g_parkPositions.clear();
    return 0;
}
