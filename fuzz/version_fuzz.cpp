// The version file: the input is the server's version.json, parsed by gf_parseServerVersion as
// the start-up's data-pack update parses it (the installer name is checked where it becomes a file
// name). Checked after each file: the installer name no longer than the file, and the version
// written as text reads back as the same version (it is compared with the program's).
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/data_packs.h"
#include "app/exit.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ServerVersionInfo info;
    if (!gf_parseServerVersion(std::string(tvxfuzz::gf_text(data, size)), info))
        return 0;
    tvxfuzz::gf_check(info.installer.size() <= size, "an installer name longer than the file");
    Version again;
    tvxfuzz::gf_check(gf_parseVersion(gf_versionText(info.version), again) && again == info.version,
                      "a version that does not read back from its text");
    return 0;
}
