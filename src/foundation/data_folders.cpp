// The working-folder tree of the program: the folders made at start-up, the third-party airport
// files, emptying a folder. No shared state; callable from any thread.
#include "foundation/data_folders.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "foundation/log.h"

namespace fs = std::filesystem;

std::vector<std::string> gf_listThirdPartyFolders()
{
    std::vector<std::string> stems;
    stems.reserve(512);
    const fs::path folder = fs::path("airports") / "my_thirdparty";
    // The directory_iterator constructor and increment throw fs::filesystem_error on failure.
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        const std::string stem = entry.path().stem().string();
        if (extension == ".XML" && stem.size() == 4)
            stems.push_back(stem);
    }
    return stems;
}

void gf_removeFolderFiles(const fs::path& folder)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return;  // nothing to empty
    for (const auto& entry : it) {
        std::error_code isFileError;
        if (!entry.is_regular_file(isFileError))
            continue;
        std::error_code removeError;
        if (!fs::remove(entry.path(), removeError) || removeError)
            gf_log("{} could not be removed", entry.path().string());
    }
}

bool gf_prepareDataFolders()
{
    static const char* const folders[] = {
        "airports", "airports/my_thirdparty", "airports/my_simaddon", "airports/learned",
        "output/info", "input", "input/regcodes", "download",
    };
    bool ok = true;
    for (const char* folder : folders) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            gf_logError("could not create folder {}: {}", folder, ec.message());
            ok = false;
        }
    }
    return ok;
}
