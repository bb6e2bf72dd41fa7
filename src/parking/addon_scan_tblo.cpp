// The TBLO pass at the end of the add-on airport scan: generated third-party parking files whose
// airports the stock data does not cover well are copied into the TBLO folder, so that the user
// can send them for offline learning. Start-up thread, after every scan task has ended.
#include "parking/addon_scan.h"

#include <string>
#include <system_error>
#include <vector>

#include "foundation/data_folders.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "parking/archive_links.h"
#include "parking/dest_airport.h"
#include "parking/learned_stands.h"

namespace fs = std::filesystem;

namespace {

// Where the user sends the zipped TBLO folder.
constexpr const char* kTbloMailAddress = "airports@tavix.example";

// Copies one generated file into TBLO; true when copied.
bool lf_copyToTblo(const std::string& code)
{
    const fs::path source = gf_thirdpartyFolder() / (code + ".xml");
    // This publisher's KMCI is covered by the stock data and its generated file is not used.
    if (code == "KMCI" && gf_readApfPublisher(source) == "TropicalSim") {
        if (fs::exists(source))
            fs::remove(source);
        return false;
    }
    if (!gf_suitableForOfflineLearning(code) || !gf_unknownPublisherInfo(source).empty())
        return false;

    const fs::path destination = gf_tbloFolder() / (code + ".xml");
    std::error_code ec;
    const bool copied = fs::copy_file(source, destination, fs::copy_options::overwrite_existing, ec);
    if (!copied || ec) {
        gf_logError("\"{}\" failed to copy \"{}\"", source.string(), destination.string());
        return false;
    }
    gf_log("{} copied to {}", code, destination.string());
    // With an archive link the airport is served from the archive: the generated copy is not needed.
    if (fs::exists(gf_thirdpartyFolder() / (code + ".txt")))
        fs::remove(source);
    return true;
}

}  // namespace

void lf_tbloPass()
{
    std::error_code ec;
    const std::vector<std::string> codes =
        fs::is_directory(gf_thirdpartyFolder(), ec) ? gf_listThirdPartyFolders() : std::vector<std::string>{};
    std::int32_t copied = 0;
    if (!codes.empty()) {
        fs::create_directories(gf_tbloFolder());
        for (const std::string& code : codes)
            if (lf_copyToTblo(code))
                ++copied;
    }

    if (copied > 0)
        g_tbloCount += copied;
    if (g_tbloCount.load() > 0) {
        gf_log("");
        gf_logError("Please zip the folder \"{}\" and send it by e-mail to {}, so that its airports can be "
                    "learned off line",
                    gf_tbloFolder().string(), kTbloMailAddress);
        return;
    }
    gf_log("All your third party airports are done, no off line learning needed.");
    fs::remove_all(gf_tbloFolder());
}
