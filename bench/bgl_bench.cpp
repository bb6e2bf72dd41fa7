// Airport BGL decoding: one whole file (read, section walk, stands) and the stands of one parking
// list, on the real EGTK airport (89 parking entries) when the test data lies beside the project,
// and on built airports of 100 to 2000 stands. Runs on the benchmark's thread; the scan messages
// of the decoder collect in memory and are emptied between runs. The floor of a whole file is
// fread of the same file as the decoder reads it (open, size by a seek, a fresh buffer, read,
// close); the goal is a quarter of its throughput (ratio 4).
// The scaling run decodes built airports of 100, 1,000 and 10,000 stands. The scan's own way of
// decoding, each file on a new thread, is timed on the 10,000-stand file with the page faults it
// takes (Linux: getrusage). Last, the scan's whole task on the 10,000-stand file (decoding, the
// publisher, the sort and the generated parking file written) against reading the file and
// writing the same output bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <mutex>
#include <filesystem>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "bench_floor.h"
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

// A built airport of n stands written to a file of its own.
fs::path lf_builtFile(int stands)
{
    std::size_t airportWord = 0;
    const std::vector<std::uint32_t> words = lf_builtAirport(stands, airportWord);
    const fs::path file = fs::temp_directory_path() / ("tavix-bench-" + std::to_string(stands) + "-stands.bgl");
    std::FILE* out = std::fopen(file.c_str(), "wb");
    std::fwrite(words.data(), 4, words.size(), out);
    std::fclose(out);
    return file;
}

std::size_t lf_decode(const fs::path& file)
{
    std::vector<ScannedAirport> airports;
    gf_decodeBglFile(file, airports);
    benchmark::DoNotOptimize(airports.data());
    return airports.empty() ? 0 : airports[0].stands.size();
}

// The floor: the same file opened, its size found by a seek, read whole into a buffer of its own
// and closed, as the decoder reads it (a fresh buffer, not zeroed, on every call).
std::unique_ptr<std::uint32_t[]> lf_fread(const fs::path& file)
{
    std::FILE* in = std::fopen(file.c_str(), "rb");
    std::fseek(in, 0, SEEK_END);
    const auto bytes = static_cast<std::size_t>(std::ftell(in));
    std::fseek(in, 0, SEEK_SET);
    auto words = std::make_unique_for_overwrite<std::uint32_t[]>((bytes + 3) / 4);
    benchmark::DoNotOptimize(std::fread(words.get(), 1, bytes, in));
    std::fclose(in);
    return words;
}

// The scan's task on one BGL file (lf_toParkingPositions) in a folder of its own, as the add-on
// scan runs it: the file read and decoded, its publisher looked for, the stands sorted and the
// generated parking file airports/my_thirdparty/<code>.xml written. Its floor reads the same file
// as above and writes the same output bytes as the task does (a temporary file renamed over it).
class ScanTaskFolder {
public:
    explicit ScanTaskFolder(const fs::path& bgl)
        : m_folder(fs::temp_directory_path() / ("tavix-bench-scan-" + std::to_string(::getpid())))
    {
        fs::create_directories(m_folder / "addon" / "scenery");
        fs::copy_file(bgl, m_folder / "addon" / "scenery" / bgl.filename(), fs::copy_options::overwrite_existing);
        m_previous = fs::current_path();
        fs::current_path(m_folder);
        m_bgl = m_folder / "addon" / "scenery" / bgl.filename();
        lf_task();
        lf_clearMessages();
        const fs::path generated = m_folder / "airports" / "my_thirdparty" / "EGTK.xml";
        std::FILE* in = std::fopen(generated.c_str(), "rb");
        if (in) {
            std::fseek(in, 0, SEEK_END);
            m_output.resize(static_cast<std::size_t>(std::ftell(in)));
            std::fseek(in, 0, SEEK_SET);
            if (std::fread(m_output.data(), 1, m_output.size(), in) != m_output.size())
                m_output.clear();
            std::fclose(in);
        }
        m_floorTarget = m_folder / "airports" / "my_thirdparty" / "FLOOR.xml";
    }
    ~ScanTaskFolder()
    {
        lf_clearMessages();
        fs::current_path(m_previous);
        fs::remove_all(m_folder);
    }
    // The bytes the task wrote (empty when it wrote nothing).
    const std::string& output() const { return m_output; }

    void lf_task() const
    {
        lf_toParkingPositions(m_bgl);
        std::lock_guard lock(g_scanMessagesMutex);
        g_scanMessages.clear();
    }
    void lf_floor() const
    {
        benchmark::DoNotOptimize(lf_fread(m_bgl).get());
        fs::path temporary = m_floorTarget;
        temporary += ".tmp";
        std::FILE* out = std::fopen(temporary.c_str(), "wb");
        std::fwrite(m_output.data(), 1, m_output.size(), out);
        std::fclose(out);
        std::rename(temporary.c_str(), m_floorTarget.c_str());
    }

private:
    fs::path m_folder;
    fs::path m_previous;
    fs::path m_bgl;
    fs::path m_floorTarget;
    std::string m_output;
};

// The scan's way: each decoding on a thread of its own, one after another. Prints the median time
// of a file and the page faults per file.
void lf_printDecodingOnNewThreads(const fs::path& file, int files)
{
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const double seconds = tvxbench::medianSeconds([&] { std::thread([&] { lf_decode(file); }).join(); }, files, 0.0);
    getrusage(RUSAGE_SELF, &after);
    std::printf("BGL 10,000 stands, each file on a new thread: %.4g ms, %.0f page faults per file (%d files)\n",
                seconds * 1e3, static_cast<double>(after.ru_minflt - before.ru_minflt) / files, files);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    for (const int n : {100, 1000, 10000}) {
        const fs::path file = lf_builtFile(n);
        const double seconds = tvxbench::medianSeconds([&] { lf_decode(file); });
        const std::size_t stands = lf_decode(file);
        fs::remove(file);
        if (stands != static_cast<std::size_t>(n)) {
            std::printf("BGL: %zu stands decoded of %d\n", stands, n);
            return 1;
        }
        tvxbench::printPerUnit("BGL", "stand", stands, seconds);
    }
    lf_clearMessages();
    if (const fs::path real = lf_realEgtk(); !real.empty())
        tvxbench::printRatioToFloor("BGL real EGTK file", 4.0, [&] { lf_decode(real); },
                                    [&] { lf_fread(real); });
    else
        std::printf("BGL real EGTK file: shared/testdata/msfs_bgl not found (set TAVIX_SOURCE_DIR)\n");
    const fs::path big = lf_builtFile(10000);
    lf_printDecodingOnNewThreads(big, 101);
    tvxbench::printRatioToFloor("BGL 10,000 stands", 4.0, [&] { lf_decode(big); }, [&] { lf_fread(big); });
    {
        const ScanTaskFolder task(big);
        if (task.output().empty()) {
            std::printf("BGL scan task: no parking file generated\n");
            return 1;
        }
        tvxbench::printRatioToFloor("BGL scan task, 10,000 stands", 4.0, [&] { task.lf_task(); },
                                    [&] { task.lf_floor(); });
    }
    fs::remove(big);
    lf_clearMessages();
    return 0;
}
