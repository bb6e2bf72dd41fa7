// The program's working-folder tree and small file and position helpers shared by the start-up,
// the parking code and the exit. Paths are relative to the working folder (where the program runs).
// Callable from any thread; no shared state.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Stems of the regular files in airports/my_thirdparty whose extension, upper-cased, is ".XML"
// and whose stem has exactly four characters. Iteration errors are thrown as file-system errors.
std::vector<std::string> gf_listThirdPartyFolders();
// Removes every file in the folder, logging "{} could not be removed" for each failure.
void gf_removeFolderFiles(const std::filesystem::path& folder);
// False for a position with latitude in 0..0.0009 and longitude in 0..0.05 (no position yet).
bool gf_isPositionSet(double latitude, double longitude);
// "lat,lon" with six decimals each.
std::string gf_latLonText(double latitude, double longitude);
// Creates airports/, airports/my_thirdparty/, airports/my_simaddon/, airports/learned/,
// output/info/, input/, input/regcodes/ and download/ in the working folder. False (logged) when one cannot be made.
bool gf_prepareDataFolders();
