// The aircraft database: the input is input/aircraftdb.xml, loaded by gf_loadAircraftDb as the
// start-up loads it. Checked after each file: every span and class average a finite length within
// the largest half span, no more registrations than the file can hold, and the lookups that the
// live traffic makes answer.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "fuzz_support.h"
#include "liveries/aircraft_db.h"
#include "liveries/regcodes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto file = tvxfuzz::gf_workFolder() / "input" / "aircraftdb.xml";
    tvxfuzz::gf_writeBytes(file, tvxfuzz::gf_text(data, size));
    gf_loadAircraftDb(std::filesystem::path("input") / "aircraftdb.xml");
    const double largest = gf_maxHalfSpan();
    tvxfuzz::gf_check(std::isfinite(largest) && largest >= 0.0, "the largest half span not a length");
    for (const SizeClass sizeClass : {SizeClass::Light, SizeClass::Large, SizeClass::Heavy}) {
        const double average = gf_classAverageSpan(sizeClass);
        tvxfuzz::gf_check(std::isfinite(average) && average >= 0.0 && average <= largest + 1e-9,
                          "a class average not a length within the largest span");
    }
    for (const char* type : {"B738", "A388", "ZZZZ", ""}) {
        const double span = gf_wingspan(type);
        tvxfuzz::gf_check(std::isfinite(span) && span >= 0.0 && span <= largest + 1e-9,
                          "a wingspan not a length within the largest span");
        gf_sizeClassOfType(type);
    }
    tvxfuzz::gf_check(gf_regcodeCount() <= size / 8, "more registrations than the file can hold");
    gf_regcodeType("TF-FIA");
    gf_clearAircraftDb();
    return 0;
}
