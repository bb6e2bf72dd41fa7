// The traffic service's key file RealTraffic.lic in the program's roaming folder: JSON whose
// member "License" holds the user's licence (or access token). A template is written when the
// file is missing, so the user knows where to put the licence.
//
// Threads: start-up thread.
#pragma once

#include <filesystem>
#include <string>

inline constexpr const char* kKeyFileName = "RealTraffic.lic";

std::filesystem::path gf_keyFilePath(const std::filesystem::path& folder);
// Writes the template {"License": ""} when folder/RealTraffic.lic does not exist. True when it
// was written; false when the file exists or cannot be written (logged).
bool gf_writeKeyFileTemplate(const std::filesystem::path& folder);
// The licence of folder/RealTraffic.lic, trimmed. Throws tvx::UserErrorException (number 99,
// the message alone) when the file is missing, not JSON, has no text "License" or an empty one.
std::string gf_readLicence(const std::filesystem::path& folder);
