// The BGL decoder: the input is an airport BGL file, read through the scan's own file reader and
// decoded as the add-on airport scan decodes it. A file the decoder refuses ends in its
// std::out_of_range (the scan task logs it). Checked after each file: every stand on the world,
// no more stands than the file's parking entries and helipads can hold, and work in proportion to
// the file's size (the fault of a file whose tables point into each other).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "fuzz_support.h"
#include "parking/addon_scan.h"
#include "parking/bgl_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto file = tvxfuzz::gf_workFolder() / "scenery" / "airport.bgl";
    tvxfuzz::gf_writeBytes(file, tvxfuzz::gf_text(data, size));
    // The scan writes its messages to the scan log and empties them after the walk; here after
    // each file.
    struct ScanLogWritten {
        ~ScanLogWritten()
        {
            std::lock_guard lock(g_scanMessagesMutex);
            g_scanMessages.clear();
        }
    } scanLogWritten;
    std::vector<ScannedAirport> airports;
    std::size_t reads = 0;
    try {
        if (!gf_decodeBglFile(file, airports, &reads))
            return 0;
    } catch (const std::out_of_range&) {
        return 0;
    }
    const std::size_t words = (size + 3) / 4;
    tvxfuzz::gf_check(reads <= 4 * words + 64, "the decoding read more than four times the file's words");
    // An airport record is 68 bytes at least; a parking entry 56, a helipad subrecord 32.
    tvxfuzz::gf_check(airports.size() <= size / 68, "more airports than the file can hold");
    std::size_t stands = 0;
    for (const ScannedAirport& airport : airports) {
        tvxfuzz::gf_check(airport.code.size() == 4, "an airport code that is not four characters");
        for (const ScannedStand& stand : airport.stands) {
            tvxfuzz::gf_checkOnWorld(stand.lat(), stand.lon(), stand.name.view());
            tvxfuzz::gf_check(std::isfinite(stand.radius()) && stand.radius() >= 0.0, "a stand radius not a length");
            tvxfuzz::gf_check(std::isfinite(stand.heading()), "a stand heading not a number");
        }
        stands += airport.stands.size();
    }
    tvxfuzz::gf_check(stands <= size / 32, "more stands than the file can hold");
    return 0;
}
