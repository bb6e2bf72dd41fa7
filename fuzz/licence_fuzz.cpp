// The licence file: the input is the key file RealTraffic.lic in the program's folder, read by
// gf_readLicence as the start-up reads it (a refusal is its error 99). Checked after each file: the
// licence is not empty, trimmed and no longer than the file, and the file is kept as it was.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "foundation/errors.h"
#include "foundation/settings.h"
#include "foundation/text_file.h"
#include "fuzz_support.h"
#include "traffic_service/key_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tvxfuzz::gf_workFolder();
    const auto file = gf_keyFilePath(g_appFolder);
    tvxfuzz::gf_writeBytes(file, tvxfuzz::gf_text(data, size));
    std::string licence;
    try {
        licence = gf_readLicence(g_appFolder);
    } catch (const tvx::UserErrorException& e) {
        tvxfuzz::gf_check(e.what()[0] != '\0', "a refusal without a message");
        return 0;
    }
    tvxfuzz::gf_check(std::filesystem::file_size(file) == size, "the key file changed by reading it");
    tvxfuzz::gf_check(!licence.empty() && licence.size() <= size, "a licence empty or longer than the file");
    tvxfuzz::gf_check(gf_trim(licence) == licence, "a licence not trimmed");
    return 0;
}
