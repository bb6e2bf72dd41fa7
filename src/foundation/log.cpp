// Log.txt writer. Any thread; the log mutex is the innermost lock of the program.
#include "foundation/log.h"

#include <chrono>
#include <fstream>
#include <mutex>
#include <system_error>

namespace {

std::mutex g_logMutex;
std::ofstream g_logFile;
std::filesystem::path g_logFilePath;

void lf_writeLine(std::string_view prefix, std::string_view text)
{
    std::lock_guard lock(g_logMutex);
    if (!g_logFile.is_open())
        return;
    g_logFile << prefix << text << '\n';
    g_logFile.flush();
}

}  // namespace

bool gf_openLog(const std::filesystem::path& folder, std::string_view versionText)
{
    std::lock_guard lock(g_logMutex);
    if (g_logFile.is_open())
        g_logFile.close();
    const auto path = folder / "Log.txt";
    const auto copy1 = folder / "Log1.txt";
    const auto copy2 = folder / "Log2.txt";
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        if (std::filesystem::exists(copy1, ec))
            std::filesystem::rename(copy1, copy2, ec);
        std::filesystem::rename(path, copy1, ec);
    }
    g_logFile.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!g_logFile.is_open())
        return false;
    g_logFilePath = path;
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    g_logFile << tvx::format("{} (utc) {} version {} for {}", fmt::format("{:%Y-%m-%d %H:%M:%S}", now),
                             g_productName, versionText, "MSFS 2020/2024")
              << '\n';
    g_logFile.flush();
    return true;
}

void gf_closeLog()
{
    std::lock_guard lock(g_logMutex);
    if (g_logFile.is_open())
        g_logFile.close();
}

bool gf_logIsOpen()
{
    std::lock_guard lock(g_logMutex);
    return g_logFile.is_open();
}

std::filesystem::path gf_logPath()
{
    std::lock_guard lock(g_logMutex);
    return g_logFilePath;
}

void gf_log(std::string_view text) { lf_writeLine({}, text); }
void gf_logError(std::string_view text) { lf_writeLine("===> ", text); }
void gf_logString(std::string_view text) { lf_writeLine({}, text); }
void gf_logIndented(std::string_view text) { lf_writeLine("          ", text); }
