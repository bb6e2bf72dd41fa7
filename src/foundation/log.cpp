// Log.txt writer. Any thread; the log mutex is the innermost lock of the program.
#include "foundation/log.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

#include "foundation/text_file.h"

namespace {

std::mutex g_logMutex;
std::FILE* g_logFile = nullptr;
std::filesystem::path g_logFilePath;
// Why Log.txt is not written (the system's text of the error); empty while it is. Guarded by the
// log mutex.
std::string g_logProblem;

std::string lf_errorText(int error)
{
    return error != 0 ? std::generic_category().message(error) : std::string("write error");
}

// A problem met while opening or writing: said once on standard error (the window's error line is
// the frame's, see gf_logProblem), until a line is written again. Caller holds the log mutex.
void lf_noteProblem(int error)
{
    if (!g_logProblem.empty())
        return;
    g_logProblem = lf_errorText(error);
    std::fprintf(stderr, "%s: Log.txt cannot be written: %s\n", g_productName, g_logProblem.c_str());
}

// Writes one line and flushes it. Caller holds the log mutex.
void lf_put(std::string_view prefix, std::string_view text)
{
    // An empty view may carry no buffer at all: nothing is passed for it.
    auto put = [](std::string_view part) {
        return part.empty() || std::fwrite(part.data(), 1, part.size(), g_logFile) == part.size();
    };
    errno = 0;
    const bool ok = put(prefix) && put(text) && std::fputc('\n', g_logFile) != EOF && std::fflush(g_logFile) == 0;
    if (ok) {
        g_logProblem.clear();
        return;
    }
    lf_noteProblem(errno);
    // The next line tries again: space may be freed meanwhile.
    std::clearerr(g_logFile);
}

void lf_writeLine(std::string_view prefix, std::string_view text)
{
    std::lock_guard lock(g_logMutex);
    if (g_logFile == nullptr)
        return;
    lf_put(prefix, text);
}

void lf_close()
{
    if (g_logFile != nullptr)
        std::fclose(g_logFile);
    g_logFile = nullptr;
}

}  // namespace

bool gf_openLog(const std::filesystem::path& folder, std::string_view versionText)
{
    std::lock_guard lock(g_logMutex);
    lf_close();
    g_logProblem.clear();
    const auto path = folder / "Log.txt";
    const auto copy1 = folder / "Log1.txt";
    const auto copy2 = folder / "Log2.txt";
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        if (std::filesystem::exists(copy1, ec))
            std::filesystem::rename(copy1, copy2, ec);
        std::filesystem::rename(path, copy1, ec);
    }
    errno = 0;
    g_logFile = gf_openFile(path, "wb");
    if (g_logFile == nullptr) {
        lf_noteProblem(errno);
        return false;
    }
    g_logFilePath = path;
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    lf_put({}, tvx::format("{} (utc) {} version {} for {}", fmt::format("{:%Y-%m-%d %H:%M:%S}", now), g_productName,
                           versionText, "MSFS 2020/2024"));
    return g_logProblem.empty();
}

void gf_closeLog()
{
    std::lock_guard lock(g_logMutex);
    lf_close();
}

bool gf_logIsOpen()
{
    std::lock_guard lock(g_logMutex);
    return g_logFile != nullptr;
}

std::filesystem::path gf_logPath()
{
    std::lock_guard lock(g_logMutex);
    return g_logFilePath;
}

std::string gf_logProblem()
{
    std::lock_guard lock(g_logMutex);
    return g_logProblem;
}

void gf_log(std::string_view text) { lf_writeLine({}, text); }
void gf_logError(std::string_view text) { lf_writeLine("===> ", text); }
void gf_logString(std::string_view text) { lf_writeLine({}, text); }
void gf_logIndented(std::string_view text) { lf_writeLine("          ", text); }
