// aircraft.cfg: the input is the bytes of one AI model's aircraft.cfg, parsed by
// gf_parseAircraftCfg as the livery scan's workers parse each file they read. Checked after each
// file: no more liveries than the file has [FLTSIM.n] sections, every title valid UTF-8 and no
// longer than the file, the type no longer than the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "liveries/aircraft_cfg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = tvxfuzz::gf_text(data, size);
    AircraftCfg cfg;
    std::string error;
    if (!gf_parseAircraftCfg(bytes, cfg, error)) {
        tvxfuzz::gf_check(!error.empty(), "a refused file without a reason");
        return 0;
    }
    // Each livery needs a section header "[FLTSIM.n]" and a "title=x" line: 16 bytes at least,
    // twice that in UTF-16.
    tvxfuzz::gf_check(cfg.liveries.size() + cfg.badTitles <= size / 16, "more liveries than the file can hold");
    for (const LiveryData& livery : cfg.liveries) {
        tvxfuzz::gf_check(!livery.title.empty() && gf_isValidUtf8(livery.title), "a title empty or not UTF-8");
        tvxfuzz::gf_check(livery.title.size() <= 2 * size, "a title longer than the file");
    }
    tvxfuzz::gf_check(cfg.acType.size() <= 2 * size, "a type longer than the file");
    return 0;
}
