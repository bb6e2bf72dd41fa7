// Registration packs: the input is one pack input/regcodes/TF.xml, loaded by gf_loadRegcodePacks
// as the start-up loads the folder (after the aircraft database, whose registration prefixes the
// spellings use). Checked after each pack: the count taken is what the table holds and no more
// than the pack can hold, and every entry looked up has an airline, type and operator no longer
// than the pack.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "liveries/regcodes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto folder = tvxfuzz::gf_workFolder() / "input" / "regcodes";
    tvxfuzz::gf_writeBytes(folder / "TF.xml", tvxfuzz::gf_text(data, size));
    gf_clearRegcodes();
    gf_setRegPrefixes("TF N D G PH C");
    const std::size_t taken = gf_loadRegcodePacks(std::filesystem::path("input") / "regcodes");
    tvxfuzz::gf_check(taken <= size / 8, "more registrations taken than the pack can hold");
    tvxfuzz::gf_check(gf_regcodeCount() <= taken, "the table holds more than was taken");
    for (const char* registration : {"TF-FIA", "TFFIA", "N123AB", "D-AIBL"}) {
        for (const std::string& form : gf_regcodeSpellings(registration)) {
            DbaseRegEntry entry;
            if (gf_lookupRegcode(form, &entry))
                tvxfuzz::gf_check(entry.airline.size() + entry.type.size() + entry.op.size() <= size,
                                  "an entry longer than the pack");
        }
    }
    return 0;
}
