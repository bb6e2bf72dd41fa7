// The simulator's package folders: the InstalledPackagesPath of each simulator, read from its
// UserCfg.opt, and the packages path of the selected simulator. Set by the start-up thread
// (install-path detection) before the scans start; read-only afterwards.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

extern std::filesystem::path g_installPath2020;
extern std::filesystem::path g_installPath2024;

// The packages root of the selected simulator (g_installPath2020 when g_simIs2020, else
// g_installPath2024) joined with the sub path; empty while that root is unknown.
std::filesystem::path gf_packagesPath(const std::filesystem::path& sub);

// The value of the InstalledPackagesPath line of a UserCfg.opt (quotes removed); nothing when the
// file cannot be read or holds no such line.
std::optional<std::filesystem::path> gf_readInstalledPackagesPath(const std::filesystem::path& userCfg);

// Where the simulator keeps its UserCfg.opt: the store version under the local application-data
// folder first, then the Steam version under the roaming one.
std::vector<std::filesystem::path> gf_userCfgOptCandidates(bool is2020,
                                                           const std::filesystem::path& roaming,
                                                           const std::filesystem::path& local);

// Reads the first candidate UserCfg.opt that names a packages path and sets g_installPath2020 or
// g_installPath2024. False (logged) when none does.
bool gf_detectInstallPath(bool is2020, const std::filesystem::path& roaming,
                          const std::filesystem::path& local);

// The Community folder of each installed simulator, found before the settings say which one is
// selected: for each simulator whose UserCfg.opt names a packages path, sets g_installPath2020 or
// g_installPath2024 and logs "MSFS {} Community folder: {}", or "! MSFS {} Community folder {} not
// found" when the packages folder holds none. A simulator without UserCfg.opt is not installed and
// gets no line. The number of Community folders found.
int gf_detectCommunityFolders(const std::filesystem::path& roaming, const std::filesystem::path& local);

// The roots the livery scan walks: Official then Community for 2020, Community alone for 2024;
// empty paths left out.
std::vector<std::filesystem::path> gf_liveryScanRoots();
