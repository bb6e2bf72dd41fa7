// Benchmarks of the livery scan (aircraft.cfg files per second over a generated package tree of
// 10,000 files) and of gf_matchLivery against a table of 20,000 liveries. The scan's floor is a
// walk of the same tree reading every aircraft.cfg whole, on one thread; the scan reads on up to
// one thread a core, so the two are compared by processor time (all threads): the goal is 2.5
// times the floor's at 50,000 files. The scaling run prints both per file at 1,000, 10,000 and
// 50,000 files; the rescan run prints the resident memory after 1 and after 10 rescans of the
// same tree (an old table is freed by the next).
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "bench_floor.h"
#include "liveries/aircraft_db.h"
#include "liveries/livery_match.h"
#include "liveries/livery_scan.h"
#include "liveries/livery_tables.h"
#include "foundation/random.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kTypes{"A319", "A320", "A321", "A20N", "A332", "A333", "A359",
                                      "A388", "B737", "B738", "B739", "B38M", "B744", "B763",
                                      "B772", "B77W", "B788", "B789", "E190", "CRJ9"};

// A database with the benchmark's types, spans and classes.
void lf_loadDb()
{
    std::string xml = "<aircraftdb><types>";
    for (std::size_t i = 0; i < kTypes.size(); ++i)
        xml += "<t c=\"" + kTypes[i] + "\" span=\"" + std::to_string(28.0 + 2.5 * static_cast<double>(i)) + "\"/>";
    xml += "</types><typesets><set name=\"large\">A319 A320 A321 A20N B737 B738 B739 B38M E190 CRJ9"
           "</set><set name=\"heavy\">A332 A333 A359 A388 B744 B763 B772 B77W B788 B789</set>"
           "</typesets></aircraftdb>";
    gf_loadAircraftDbText(xml, "bench");
}

std::string lf_airline(std::size_t i)
{
    std::string code = "AAA";
    code[0] = static_cast<char>('A' + i % 26);
    code[1] = static_cast<char>('A' + (i / 26) % 26);
    code[2] = static_cast<char>('A' + (i / 676) % 26);
    return code;
}

// <root>/pkg-NNN/SimObjects/Airplanes/model-MMM/aircraft.cfg, three liveries each.
struct PackageTree {
    fs::path root;
    std::size_t files = 0;

    explicit PackageTree(std::size_t fileCount)
    {
        root = fs::temp_directory_path() / ("tavix-bench-liveries-" + std::to_string(std::random_device{}()));
        const std::size_t perPackage = 50;
        for (std::size_t f = 0; f < fileCount; ++f) {
            const fs::path folder = root / ("pkg-" + std::to_string(f / perPackage)) / "SimObjects" /
                                    "Airplanes" / ("model-" + std::to_string(f));
            fs::create_directories(folder);
            std::ofstream out(folder / "aircraft.cfg", std::ios::binary);
            out << "[VERSION]\nmajor = 1\nminor = 0\n\n[GENERAL]\natc_type = \"TT:ATCCOM.ATC_NAME BOEING.0.text\"\n"
                << "icao_type_designator = \"" << kTypes[f % kTypes.size()] << "\"\n"
                << "Category = \"airplane\"\n\n[PILOT]\npilot = \"Pilot_Female_Uniform\"\n\n";
            for (int v = 0; v < 3; ++v)
                out << "[FLTSIM." << v << "]\ntitle = \"Livery " << f << "-" << v << "\" ; variation\n"
                    << "model = \"\"\ntexture = \"" << v << "\"\natc_airline = \"Airline\"\n"
                    << "icao_airline = \"" << lf_airline(f + v) << "\"\natc_id = \"PH-" << f << v << "\"\n"
                    << "isAirTraffic = 1\n\n";
            ++files;
        }
    }
    ~PackageTree()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

void BM_LiveryScan(benchmark::State& state)
{
    lf_loadDb();
    const PackageTree tree(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const LiveryScanStats stats = gf_scanLiveries({tree.root});
        benchmark::DoNotOptimize(stats.liveries);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tree.files));
    state.counters["files/s"] =
        benchmark::Counter(static_cast<double>(tree.files), benchmark::Counter::kIsIterationInvariantRate);
    gf_setLiveries({});
}
BENCHMARK(BM_LiveryScan)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MatchLivery(benchmark::State& state)
{
    lf_loadDb();
    gf_seedRng(1);
    // 20,000 liveries: 250 airlines x 20 types x 4, one in ten generic.
    std::vector<LiveryData> liveries;
    liveries.reserve(20000);
    for (std::size_t i = 0; i < 20000; ++i) {
        LiveryData l;
        l.acType = kTypes[i % kTypes.size()];
        l.airline = i % 10 == 0 ? "" : lf_airline((i / kTypes.size()) % 250);
        l.title = "Livery " + std::to_string(i);
        l.atcId = "R" + std::to_string(i);
        liveries.push_back(std::move(l));
    }
    gf_setLiveries(std::move(liveries));
    // Aircraft: known airline and type, unknown airline, unknown type, registration hits.
    std::vector<AcData> aircraft;
    for (std::size_t i = 0; i < 1024; ++i) {
        FlightRecord head;
        head.airline = i % 4 == 1 ? "ZZZ" : lf_airline(i % 250);
        head.acType = i % 4 == 2 ? "B78X" : kTypes[i % kTypes.size()];
        head.registration = i % 4 == 3 ? "R" + std::to_string(i * 7) : "";
        aircraft.push_back(gf_makeAcData(head));
    }
    std::size_t next = 0;
    for (auto _ : state) {
        AcData& ac = aircraft[next++ % aircraft.size()];
        ac.title = {};
        benchmark::DoNotOptimize(gf_matchLivery(ac));
    }
    state.SetItemsProcessed(state.iterations());
    gf_setLiveries({});
}
BENCHMARK(BM_MatchLivery);

// The floor: the same tree walked and every aircraft.cfg read whole.
std::size_t lf_walkAndRead(const fs::path& root)
{
    std::size_t bytes = 0;
    std::string text;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.path().filename() != "aircraft.cfg")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        bytes += text.size();
    }
    return bytes;
}

double lf_residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    double pages = 0.0, resident = 0.0;
    statm >> pages >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    lf_loadDb();
    {
        const PackageTree tree(10000);
        gf_scanLiveries({tree.root});
        const double afterOne = lf_residentMegabytes();
        for (int i = 0; i < 9; ++i)
            gf_scanLiveries({tree.root});
        std::printf("livery rescans: resident %.1f MB after 1 scan, %.1f MB after 10 scans of %zu files\n", afterOne,
                    lf_residentMegabytes(), tree.files);
    }
    // Processor time per file of the scan (all its threads) and of the floor, at three sizes; the
    // ratio on the largest tree.
    const auto scaling = [](const PackageTree& tree) {
        gf_scanLiveries({tree.root});
        const double scan = tvxbench::medianCpuSeconds([&] { gf_scanLiveries({tree.root}); }, 3);
        const double floor = tvxbench::medianCpuSeconds([&] { benchmark::DoNotOptimize(lf_walkAndRead(tree.root)); }, 3);
        tvxbench::printPerUnit("livery scan by CPU", "file", tree.files, scan);
        tvxbench::printPerUnit("livery scan floor by CPU", "file", tree.files, floor);
    };
    for (const std::size_t n : {1000u, 10000u})
        scaling(PackageTree(n));
    const PackageTree large(50000);
    scaling(large);
    tvxbench::printRatioToFloor("livery scan, 50,000 files", 2.5, [&] { gf_scanLiveries({large.root}); },
                                [&] { benchmark::DoNotOptimize(lf_walkAndRead(large.root)); }, 5, true);
    gf_setLiveries({});
    return 0;
}
