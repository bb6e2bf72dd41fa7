// The program's working-folder tree: the folders it creates at start-up, the third-party airport
// files, and emptying a folder. Paths are relative to the working folder (where the program runs).
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
// Creates airports/, airports/my_thirdparty/, airports/my_simaddon/, airports/learned/,
// output/info/, input/, input/regcodes/ and download/ in the working folder. False (logged) when one cannot be made.
bool gf_prepareDataFolders();
