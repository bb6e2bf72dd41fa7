// Log.txt: the program's one log file, written from any thread under one mutex, one whole line
// at a time and flushed, so lines never interleave and survive a crash. Writers do nothing while
// the file is closed.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "foundation/format.h"

inline constexpr const char* g_productName = "Tavix";

// Opens folder/Log.txt after keeping two earlier copies (Log.txt -> Log1.txt -> Log2.txt) and
// writes the header "{} (utc) {} version {} for {}". False when the file cannot be opened or
// written (see gf_logProblem).
bool gf_openLog(const std::filesystem::path& folder, std::string_view versionText);
void gf_closeLog();
bool gf_logIsOpen();
std::filesystem::path gf_logPath();
// Why Log.txt cannot be opened or written, as the system says it ("No space left on device");
// empty while it is written. The first failure is also said on standard error ("Tavix: Log.txt
// cannot be written: {}"), once until a line is written again.
std::string gf_logProblem();

void gf_log(std::string_view text);
void gf_logError(std::string_view text);     // "===> " + text
void gf_logString(std::string_view text);    // one line, as gf_log
void gf_logIndented(std::string_view text);  // ten blanks + text

template <typename... Args>
void gf_log(tvx::format_string<Args...> fmt, Args&&... args)
{
    gf_log(std::string_view(tvx::format(fmt, std::forward<Args>(args)...)));
}

template <typename... Args>
void gf_logError(tvx::format_string<Args...> fmt, Args&&... args)
{
    gf_logError(std::string_view(tvx::format(fmt, std::forward<Args>(args)...)));
}
