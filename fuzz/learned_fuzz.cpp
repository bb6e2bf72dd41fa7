// Learned files: the input is the learned file of Keflavik's parking file (a real stock file of
// the download stand-in, fixed), merged by gf_readApf as the park-airport choice merges it. A
// learned file that does not load is copied aside under the "0" name. Checked after each file:
// every stand on the world with a radius that is a length, the merged stands no more than the stock
// ones and those the learned file can hold, the learned file kept, nothing written outside
// airports/learned.
#include <cmath>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/errors.h"
#include "fuzz_support.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/park_read.h"

namespace {

const std::string kText = "airports\\my_thirdparty\\BIKF.xml";

// The stock file comes from the source tree (TAVIX_SOURCE_DIR, else the folder above the harness's
// build folder, as scripts/fuzz lays them).
std::string lf_stockFile()
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    const std::filesystem::path path = std::filesystem::path(source ? source : ".")
        / "standins" / "download_server" / "MSFS" / "archive" / "stock" / "BIKF.xml";
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    tvxfuzz::gf_check(!text.str().empty(), "TAVIX_SOURCE_DIR must name the source tree (its stock BIKF.xml)");
    return text.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string stock = lf_stockFile();
    static std::size_t stockStands = 0;
    static std::string learnedPath;
    const auto& work = tvxfuzz::gf_workFolder();
    g_parkAirport.code = "BIKF";
    tvxfuzz::gf_emptyFolder(work / "airports");
    tvxfuzz::gf_writeBytes(gf_apfNativePath(kText), stock);
    ApfHeader header;
    QualityPair quality{-1, -1};
    if (learnedPath.empty()) {
        g_parkPositions.clear();
        tvxfuzz::gf_check(gf_readApf(kText, header, quality).empty(), "the stock file does not read");
        stockStands = g_parkPositions.size();
        learnedPath = header.learnedPath;
        header = {};
    }
    const auto learned = gf_apfNativePath(learnedPath);
    tvxfuzz::gf_writeBytes(learned, tvxfuzz::gf_text(data, size));
    g_parkPositions.clear();
    const auto before = tvxfuzz::gf_filesBelow(work);
    try {
        gf_readApf(kText, header, quality);
    } catch (const tvx::UserErrorException&) {
    }
    tvxfuzz::gf_checkWrittenOnlyBelow(before, work / "airports" / "learned");
    tvxfuzz::gf_check(std::filesystem::exists(learned) && std::filesystem::file_size(learned) == size,
                      "the learned file lost or changed by reading it");
    tvxfuzz::gf_check(g_parkPositions.size() <= stockStands + size / 16, "more stands than the files can hold");
    for (const ParkPos& stand : g_parkPositions) {
        tvxfuzz::gf_checkOnWorld(stand.lat, stand.lon, stand.name);
        tvxfuzz::gf_check(std::isfinite(stand.radius) && stand.radius >= 0.0, "a stand radius not a length");
        tvxfuzz::gf_check(std::isfinite(stand.heading), "a stand heading not a number");
    }
    return 0;
}
