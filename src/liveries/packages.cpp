// UserCfg.opt reading and the packages paths. Runs on the start-up thread.
#include "liveries/packages.h"

#include <fstream>
#include <string>

#include "foundation/log.h"
#include "foundation/settings.h"

std::filesystem::path g_installPath2020;
std::filesystem::path g_installPath2024;

std::filesystem::path gf_packagesPath(const std::filesystem::path& sub)
{
    const std::filesystem::path& root = g_simIs2020 ? g_installPath2020 : g_installPath2024;
    if (root.empty())
        return {};
    return root / sub;
}

std::optional<std::filesystem::path> gf_readInstalledPackagesPath(const std::filesystem::path& userCfg)
{
    std::ifstream in(userCfg, std::ios::binary);
    if (!in)
        return std::nullopt;
    constexpr std::string_view kKey = "InstalledPackagesPath";
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, kKey.size(), kKey) != 0)
            continue;
        std::string value = line.substr(start + kKey.size());
        const std::size_t first = value.find_first_not_of(" \t");
        const std::size_t last = value.find_last_not_of(" \t\r\n");
        if (first == std::string::npos)
            continue;
        value = value.substr(first, last - first + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.empty())
            continue;
        return std::filesystem::path(value);
    }
    return std::nullopt;
}

std::vector<std::filesystem::path> gf_userCfgOptCandidates(bool is2020,
                                                           const std::filesystem::path& roaming,
                                                           const std::filesystem::path& local)
{
    if (is2020)
        return {local / "Packages" / "Microsoft.FlightSimulator_8wekyb3d8bbwe" / "LocalCache" /
                    "UserCfg.opt",
                roaming / "Microsoft Flight Simulator" / "UserCfg.opt"};
    return {local / "Packages" / "Microsoft.Limitless_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
            roaming / "Microsoft Flight Simulator 2024" / "UserCfg.opt"};
}

bool gf_detectInstallPath(bool is2020, const std::filesystem::path& roaming,
                          const std::filesystem::path& local)
{
    for (const auto& candidate : gf_userCfgOptCandidates(is2020, roaming, local)) {
        auto path = gf_readInstalledPackagesPath(candidate);
        if (!path)
            continue;
        (is2020 ? g_installPath2020 : g_installPath2024) = *path;
        gf_log("MSFS {} packages path: {} (from {})", is2020 ? 2020 : 2024, path->string(),
               candidate.string());
        return true;
    }
    gf_logError("MSFS {}: no InstalledPackagesPath found in UserCfg.opt", is2020 ? 2020 : 2024);
    return false;
}

int gf_detectCommunityFolders(const std::filesystem::path& roaming, const std::filesystem::path& local)
{
    int found = 0;
    for (const bool is2020 : {true, false}) {
        std::optional<std::filesystem::path> packages;
        for (const auto& candidate : gf_userCfgOptCandidates(is2020, roaming, local)) {
            packages = gf_readInstalledPackagesPath(candidate);
            if (packages)
                break;
        }
        if (!packages)
            continue;
        (is2020 ? g_installPath2020 : g_installPath2024) = *packages;
        const std::filesystem::path community = *packages / "Community";
        std::error_code ec;
        if (std::filesystem::is_directory(community, ec)) {
            gf_log("MSFS {} Community folder: {}", is2020 ? 2020 : 2024, community.string());
            ++found;
        } else {
            gf_log("! MSFS {} Community folder {} not found", is2020 ? 2020 : 2024, community.string());
        }
    }
    return found;
}

std::vector<std::filesystem::path> gf_liveryScanRoots()
{
    std::vector<std::filesystem::path> roots;
    roots.reserve(2);
    if (g_simIs2020) {
        if (auto p = gf_packagesPath("Official"); !p.empty())
            roots.push_back(p);
    }
    if (auto p = gf_packagesPath("Community"); !p.empty())
        roots.push_back(p);
    return roots;
}
