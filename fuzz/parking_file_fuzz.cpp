// Parking files: the input is the park airport's parking file in airports/my_thirdparty, read
// through gf_readApf as the park-airport choice reads it (no learned file beside it). The reader's
// own refusals (error 65: no altitude, 94: a stand named twice) are its road out. Checked after
// each file: every stand on the world with a radius that is a length, no more stands than the file
// can hold, the file itself kept, nothing written outside airports/learned.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "foundation/errors.h"
#include "fuzz_support.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/park_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& work = tvxfuzz::gf_workFolder();
    const std::string text = "airports\\my_thirdparty\\BIKF.xml";
    const auto file = gf_apfNativePath(text);
    tvxfuzz::gf_emptyFolder(work / "airports");
    tvxfuzz::gf_writeBytes(file, tvxfuzz::gf_text(data, size));
    g_parkAirport.code = "BIKF";
    g_parkPositions.clear();
    const auto before = tvxfuzz::gf_filesBelow(work);
    ApfHeader header;
    QualityPair quality{-1, -1};
    try {
        gf_readApf(text, header, quality);
    } catch (const tvx::UserErrorException&) {
    }
    tvxfuzz::gf_checkWrittenOnlyBelow(before, work / "airports" / "learned");
    tvxfuzz::gf_check(std::filesystem::file_size(file) == size, "the parking file changed by reading it");
    tvxfuzz::gf_check(g_parkPositions.size() <= size / 16, "more stands than the file can hold");
    for (const ParkPos& stand : g_parkPositions) {
        tvxfuzz::gf_checkOnWorld(stand.lat, stand.lon, stand.name);
        tvxfuzz::gf_check(std::isfinite(stand.radius) && stand.radius >= 0.0, "a stand radius not a length");
        tvxfuzz::gf_check(std::isfinite(stand.heading), "a stand heading not a number");
        tvxfuzz::gf_check(stand.options.size() <= size / 6, "more options than the file can hold");
    }
    tvxfuzz::gf_check(quality.first <= 100 && quality.second <= 100, "a quality factor above 100");
    return 0;
}
