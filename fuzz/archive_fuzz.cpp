// Archives: the input is a zip of the data packs (aircraft database, registration packs, airport
// list), extracted by gf_unzip into input/ as the start-up's data-pack update extracts them. An
// entry with an absolute path or a ".." part is refused. Checked after each archive: nothing
// written outside input/, no more files than the archive can list.
#include <cstddef>
#include <cstdint>

#include "frame/server_files.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& work = tvxfuzz::gf_workFolder();
    tvxfuzz::gf_emptyFolder(work / "input");
    tvxfuzz::gf_emptyFolder(work / "download");
    const auto zip = work / "download" / "pack.zip";
    tvxfuzz::gf_writeBytes(zip, tvxfuzz::gf_text(data, size));
    const auto before = tvxfuzz::gf_filesBelow(work);
    gf_unzip(zip, work / "input");
    tvxfuzz::gf_checkWrittenOnlyBelow(before, work / "input");
    // A zip entry takes 46 bytes of central directory and 30 of local header at least.
    tvxfuzz::gf_check(tvxfuzz::gf_filesBelow(work / "input").size() <= size / 46, "more files than entries");
    return 0;
}
