// Archive links: the input is a link file airports/my_thirdparty/BIKF.txt as the add-on airport
// scan writes it (one line naming a parking file of the archive), followed by gf_findApfFile as the
// park-airport choice follows it. A line that climbs out of its folder is refused and the search
// goes on (to airports/my_simaddon/BIKF.xml, laid here); a line without an 'l' to cut after ends
// it with no file. Checked after each link: the answer stays below its folder, the learned path
// made from it stays inside airports\learned or is refused, nothing written.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/text_file.h"
#include "fuzz_support.h"
#include "model/airport_list.h"
#include "parking/park_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& work = tvxfuzz::gf_workFolder();
    tvxfuzz::gf_writeBytes(work / "airports" / "my_thirdparty" / "BIKF.txt", tvxfuzz::gf_text(data, size));
    tvxfuzz::gf_writeBytes(work / "airports" / "my_simaddon" / "BIKF.xml", "<parkpositions/>\n");
    const auto before = tvxfuzz::gf_filesBelow(work);
    AirportEntry airport;
    airport.code = "BIKF";
    const std::string text = gf_findApfFile(airport);
    tvxfuzz::gf_checkWrittenOnlyBelow(before, work / "none");
    if (text.empty())
        return 0;
    tvxfuzz::gf_check(gf_staysInsideFolder(text), "a linked parking file outside its folder");
    tvxfuzz::gf_check(text.size() <= size || text.find("my_simaddon") != std::string::npos,
                      "a link longer than its file");
    for (const char* publisher : {"unknown", "stock", "Some Maker"}) {
        const std::string learned = lf_learnedApfPath(text, publisher);
        if (!gf_insideLearnedFolder(learned))
            continue;
        const auto rel = gf_apfNativePath(learned).lexically_normal().lexically_relative("airports/learned");
        tvxfuzz::gf_check(!rel.empty() && *rel.begin() != "..", "a learned path accepted outside airports/learned");
    }
    return 0;
}
