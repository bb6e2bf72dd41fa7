// What the harnesses share: a working folder of their own, the input laid there as the file the
// reader opens, and the invariant checks that make a harness fail when a reader returns something
// it should not (a position off the world, more entries than the input can hold, a file written
// outside the reader's folder). A failed check prints what broke and aborts, which libFuzzer
// records as a crash with its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace tvxfuzz {

// The harness's working folder (a fresh temporary folder, on /dev/shm when there is one, made the
// current folder, the program's roaming folder and log folder pointed into it). Made on the first
// call; the same for every run.
const std::filesystem::path& gf_workFolder();

// Writes the bytes to the path (folders made), replacing the file.
void gf_writeBytes(const std::filesystem::path& path, std::string_view bytes);
// Empties the folder (keeps the folder itself).
void gf_emptyFolder(const std::filesystem::path& folder);

// Every regular file below the folder with its size.
std::map<std::filesystem::path, std::uintmax_t> gf_filesBelow(const std::filesystem::path& folder);

// Aborts with the text when the condition is false.
void gf_check(bool condition, std::string_view what);
// A latitude and longitude on the world.
void gf_checkOnWorld(double lat, double lon, std::string_view what);
// Files below the work folder that were not there before and lie outside the allowed folder.
void gf_checkWrittenOnlyBelow(const std::map<std::filesystem::path, std::uintmax_t>& before,
                              const std::filesystem::path& allowed);

// The input's bytes as text.
inline std::string_view gf_text(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tvxfuzz
