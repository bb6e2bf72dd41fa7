// Text helpers and whole-file text reading and writing. Any thread; no shared state.
#pragma once

#include <cstdio>
#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

inline const std::string g_emptyString;
inline const std::string g_pluralSuffix = "s";

// The text without leading and trailing blanks, tabs and line ends (a view into the same text).
std::string_view gf_trim(std::string_view text);
// The text with ASCII letters in lower case (other bytes, UTF-8 included, unchanged).
std::string gf_lower(std::string_view text);
// "{:.1F}" when the number has a fractional part, else "{:.0f}".
std::string gf_numberText(double value);
// The comma-separated fields, each trimmed of blanks, tabs and line ends; an empty (or blank)
// text gives no fields.
std::vector<std::string> gf_splitCommas(std::string_view text);
// True when a relative path text taken from a file (an archive entry, a link line, a learned path)
// stays below the folder it is joined to: not empty, no leading "/" or "\", no drive letter ("C:"),
// and no ".." part between its separators ("/" and "\" alike).
bool gf_staysInsideFolder(std::string_view path);

class TextFile {
public:
    // All lines of the file without line ends (a CR before the LF is dropped too); empty when the
    // file cannot be opened or has no line. reserve: expected line count.
    static std::vector<std::string> read(const std::filesystem::path& path, std::size_t reserve);
};

// The file opened with a C stdio mode ("rb", "wb"), by its full path on every platform (on Windows
// through the wide-character name, so folders with non-ASCII names work); null when it fails.
std::FILE* gf_openFile(const std::filesystem::path& path, const char* mode);
// Replaces the file with the bytes through a temporary file beside it (path + ".tmp") that is
// renamed over it once written whole: a full disk or a failed write leaves the old file as it was
// (and no temporary). False when the file was not replaced; problem then gets the system's reason
// ("No space left on device") when asked.
bool gf_replaceFile(const std::filesystem::path& path, std::string_view text, std::string* problem = nullptr);
// Writes the text, replacing the file (gf_replaceFile), with a line end when asked. False when it
// was not written; the old file is then kept.
bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool lineEnd);
// Writes each text followed by a line end, replacing the file (gf_replaceFile). False when it was
// not written; the old file is then kept.
bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);
// All lines of the stream in order, without line ends (a CR before the LF is dropped too).
std::vector<std::string> gf_readLines(std::istream& in);
