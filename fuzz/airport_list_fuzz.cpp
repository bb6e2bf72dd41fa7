// The airport list: the input is input/airports_msfs.xml (and, the same bytes, the airport names
// file beside it), read by gf_readAirports and gf_readAirportNames as the start-up and the add-on
// airport scan read them. A malformed list is refused whole (errors 87 and 88). Checked after each
// file: the list sorted by code, every airport on the world, no more airports or names than the
// file can hold.
#include <cstddef>
#include <cstdint>

#include "foundation/errors.h"
#include "fuzz_support.h"
#include "model/airport_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& work = tvxfuzz::gf_workFolder();
    tvxfuzz::gf_writeBytes(work / "input" / "airports_msfs.xml", tvxfuzz::gf_text(data, size));
    tvxfuzz::gf_writeBytes(work / "input" / "airports_msfs_names.xml", tvxfuzz::gf_text(data, size));
    lf_resetAirportList();
    g_airportNames.clear();
    try {
        gf_readAirports();
    } catch (const tvx::UserErrorException& e) {
        tvxfuzz::gf_check(g_airports.empty(), "a refused list that kept airports");
    }
    // "<airport/>" is ten bytes.
    tvxfuzz::gf_check(g_airports.size() <= size / 10, "more airports than the file can hold");
    for (std::size_t i = 0; i < g_airports.size(); ++i) {
        tvxfuzz::gf_checkOnWorld(g_airports[i].lat, g_airports[i].lon, g_airports[i].code);
        tvxfuzz::gf_check(i == 0 || g_airports[i - 1].code <= g_airports[i].code, "the list not sorted by code");
    }
    gf_readAirportNames();
    tvxfuzz::gf_check(g_airportNames.size() <= size / 10, "more names than the file can hold");
    return 0;
}
