// Parking-file reading and writing at a large airport: 500 stands, each with a week of options
// (seven options of four slots). Measures the writer (learned hand-made form, the fullest one, and
// the scan's form without options) and the reader as a park-airport change runs it on the main
// loop (gf_readApf: the file loaded, the header, every stand parsed into g_parkPositions with the
// check for repeated names, the stands numbered and their overlap lists computed). The reader's
// floor is pugixml's load_file of the same file plus a walk copying every attribute of every
// parkpos and opt; the scaling run reads files of 50, 500 and 5,000 stands.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include <pugixml.hpp>

#include "bench_floor.h"
#include "foundation/log.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/park_read.h"
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

// A park-airport change reads the airport's parking file as gf_readApf does: the file loaded,
// its header, every stand parsed into g_parkPositions (with the check that no name appears twice),
// the stands numbered and their overlap lists computed, the log lines written. The bench works in
// a folder of its own holding airports/my_thirdparty/BENC.xml and the log.
class ParkAirportFolder {
public:
    ParkAirportFolder()
        : m_folder(std::filesystem::temp_directory_path() / ("tavix-bench-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(m_folder / "airports" / "my_thirdparty");
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_folder);
        gf_openLog(m_folder, "parking_file_bench");
        g_parkAirport = AirportEntry{"BENC", "", 63.98, -22.6, 120.0};
    }
    ~ParkAirportFolder()
    {
        gf_closeLog();
        g_parkPositions.clear();
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_folder);
    }
    // Writes the parking file of the given size; returns its text as the program names it.
    std::string write(int stands) const
    {
        g_handmadeOverruled.store(true);
        gf_writeApf(lf_bigRecord(stands), m_folder / "airports" / "my_thirdparty" / "BENC.xml", 0);
        g_handmadeOverruled.store(false);
        return "airports/my_thirdparty/BENC.xml";
    }

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_previous;
};

// The program's path: the whole read of a park-airport change.
void lf_readApf(const std::string& text)
{
    g_parkPositions.clear();
    ApfHeader header;
    QualityPair quality{-1, -1};
    const std::string result = gf_readApf(text, header, quality);
    if (!result.empty()) {
        std::fprintf(stderr, "parking file: %s\n", result.c_str());
        std::exit(1);
    }
    benchmark::DoNotOptimize(g_parkPositions.data());
}

// The floor: the same file loaded by pugixml and a walk copying every attribute of every parkpos
// and opt, what any reader of the stands must do at least.
void lf_floorWalk(const std::string& text, std::vector<std::string>& copies)
{
    pugi::xml_document doc;
    doc.load_file(text.c_str());
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

void BM_readApf(benchmark::State& state)
{
    const ParkAirportFolder folder;
    const std::string text = folder.write(static_cast<int>(state.range(0)));
    for (auto _ : state)
        lf_readApf(text);
    state.counters["stands"] = static_cast<double>(g_parkPositions.size());
}
BENCHMARK(BM_readApf)->Arg(kStands)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_readApfFloor(benchmark::State& state)
{
    const ParkAirportFolder folder;
    const std::string text = folder.write(static_cast<int>(state.range(0)));
    std::vector<std::string> copies;
    for (auto _ : state)
        lf_floorWalk(text, copies);
}
BENCHMARK(BM_readApfFloor)->Arg(kStands)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const ParkAirportFolder folder;
    for (const int n : {50, 500, 5000}) {
        const std::string text = folder.write(n);
        const double seconds = tvxbench::medianSeconds([&] { lf_readApf(text); });
        if (g_parkPositions.size() != static_cast<std::size_t>(n)) {
            std::printf("parking file: %zu stands read of %d\n", g_parkPositions.size(), n);
            return 1;
        }
        tvxbench::printPerUnit("parking file", "stand", static_cast<std::size_t>(n), seconds);
    }
    const std::string text = folder.write(kStands);
    std::vector<std::string> copies;
    tvxbench::printRatioToFloor("parking file", 1.5, [&] { lf_readApf(text); },
                                [&] { lf_floorWalk(text, copies); });
    return 0;
}
