// A sandbox for tests of the application frame: a temporary working folder (the process changes
// into it), settings and Log.txt in it, every frame hook empty, short exit waits, and a call
// recorder that hooks append to from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/subsystem_hooks.h"
#include "support/settings_fixture.h"

namespace tvxtest {

// Names of hook calls in the order they happened; thread-safe.
class CallRecorder {
public:
    void add(std::string name);
    std::vector<std::string> calls() const;
    int count(const std::string& name) const;
    // Index of the first call of that name, -1 when none.
    int indexOf(const std::string& name) const;
    void clear();
    // Waits until a call of that name was recorded; false on timeout.
    bool waitFor(const std::string& name, std::chrono::milliseconds limit) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_calls;
};

class AppSandbox {
public:
    AppSandbox();
    ~AppSandbox();
    AppSandbox(const AppSandbox&) = delete;
    AppSandbox& operator=(const AppSandbox&) = delete;

    const std::filesystem::path& path() const { return m_settings.folder().path(); }
    std::string logText() const { return m_settings.logText(); }
    // file:// URL of a folder, ending in '/'.
    static std::string fileUrl(const std::filesystem::path& folder);

private:
    SettingsSandbox m_settings;
    std::filesystem::path m_previousDir;
};

}  // namespace tvxtest
