// The frame's test sandbox (see app_sandbox.h).
#include "support/app_sandbox.h"

#include <algorithm>
#include <cstdlib>

#include "app/downloads.h"
#include "app/exit.h"
#include "app/main_loop.h"
#include "app/startup.h"
#include "app/status.h"
#include "app/window_model.h"
#include "win32/win_api.h"
#include "win32/window_model.h"

namespace tvxtest {

void CallRecorder::add(std::string name)
{
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(name));
    }
    m_changed.notify_all();
}

std::vector<std::string> CallRecorder::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

int CallRecorder::count(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count(m_calls.begin(), m_calls.end(), name));
}

int CallRecorder::indexOf(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    const auto it = std::find(m_calls.begin(), m_calls.end(), name);
    return it == m_calls.end() ? -1 : static_cast<int>(it - m_calls.begin());
}

void CallRecorder::clear()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

bool CallRecorder::waitFor(const std::string& name, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] {
        return std::find(m_calls.begin(), m_calls.end(), name) != m_calls.end();
    });
}

AppSandbox::AppSandbox()
{
    m_previousDir = std::filesystem::current_path();
    std::filesystem::current_path(path());
    std::filesystem::create_directories(path() / "roaming");
    std::filesystem::create_directories(path() / "local");
    setenv("TAVIX_ROAMING_DIR", (path() / "roaming").c_str(), 1);
    setenv("TAVIX_LOCAL_DIR", (path() / "local").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", path().c_str(), 1);
    g_hooks = SubsystemHooks{};
    g_exitTimings = ExitTimings{};
    g_exitTimings.readerStopWait = std::chrono::milliseconds(0);
    g_exitTimings.mainLoopStopLimit = std::chrono::milliseconds(5000);
    g_exitTimings.countdownStep = std::chrono::milliseconds(0);
    g_mainLoopSleep = [](std::chrono::milliseconds) {};
    g_startUpSleep = [](std::chrono::milliseconds) {};
    g_serverBaseUrl = fileUrl(path() / "server");
    gf_resetExitState();
    gf_resetMainLoopState();
    lf_resetServiceHold();
    // Messages and windows of an earlier test in the same process are forgotten.
    win32::windowModel().reset();
    win32::windowModel().setEcho(false);
    g_hWnd = nullptr;
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    gf_clearErrorLine();
    gf_clearStatusLine();
}

AppSandbox::~AppSandbox()
{
    // An exit started by the test finishes before the sandbox (and its hooks) goes away.
    gf_joinStartUpThread();
    gf_joinExitThread();
    g_hooks = SubsystemHooks{};
    std::error_code ec;
    std::filesystem::current_path(m_previousDir, ec);
}

std::string AppSandbox::fileUrl(const std::filesystem::path& folder)
{
    std::string url = "file://" + std::filesystem::absolute(folder).string();
    if (url.back() != '/')
        url += '/';
    return url;
}

}  // namespace tvxtest
