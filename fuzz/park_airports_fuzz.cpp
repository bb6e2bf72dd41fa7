// The park-airport list: the input is airports/my_park_airports.txt, read by lf_readMyParkAirports
// as the park-airport choice reads it (against a fixed airport list), then written back by
// gf_updateMyParkAirports as when the nearest airport gets its reserved stand. Checked after each
// file: no code twice, every code in the airport list, no more entries than lines, and every
// airport the file listed still listed after the write-back.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "fuzz_support.h"
#include "model/airport_list.h"
#include "parking/park_airport_list.h"
#include "win32/window_model.h"

namespace {

std::set<std::string> lf_codes()
{
    std::set<std::string> codes;
    for (const ParkAirport& entry : g_parkAirports) {
        tvxfuzz::gf_check(codes.insert(entry.code).second, "a park airport listed twice");
        tvxfuzz::gf_check(gf_findAirport(entry.code).has_value(), "a park airport missing from the airport list");
        tvxfuzz::gf_checkOnWorld(entry.lat, entry.lon, entry.code);
    }
    return codes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& work = tvxfuzz::gf_workFolder();
    if (g_airports.empty()) {
        for (const char* code : {"BIKF", "EDDF", "EGLL", "EHAM", "KJFK", "LSZH", "PHNL"}) {
            AirportEntry entry;
            entry.code = code;
            entry.lat = 50.0;
            entry.lon = 8.0;
            g_airports.push_back(entry);
        }
    }
    // The headless window keeps every status line the reader shows ("airport … is unknown"); a
    // window shows only the last, so it starts empty for each file.
    win32::windowModel().reset();
    tvxfuzz::gf_emptyFolder(work / "airports");
    tvxfuzz::gf_writeBytes(work / "airports" / "my_park_airports.txt", tvxfuzz::gf_text(data, size));
    const auto before = tvxfuzz::gf_filesBelow(work);
    lf_readMyParkAirports();
    std::size_t lines = 1;
    for (std::size_t i = 0; i < size; ++i)
        lines += data[i] == '\n' ? 1 : 0;
    tvxfuzz::gf_check(g_parkAirports.size() <= lines, "more park airports than lines");
    const std::set<std::string> read = lf_codes();
    if (g_parkAirports.empty())
        return 0;
    g_parkAirports.front().stand = "A1";
    gf_updateMyParkAirports();
    tvxfuzz::gf_checkWrittenOnlyBelow(before, work / "airports");
    lf_readMyParkAirports();
    const std::set<std::string> readBack = lf_codes();
    for (const std::string& code : read)
        tvxfuzz::gf_check(readBack.contains(code), "a park airport lost by writing the list back");
    return 0;
}
