// A sandbox for tests that touch the settings: a temporary folder as g_appFolder with Log.txt
// open in it, every setting at its default and the store forgotten, before and after the test.
// Header-only, so each test program links it against its own foundation library.
#pragma once

#include <string>

#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "support/temp_folder.h"

namespace tvxtest {

class SettingsSandbox {
public:
    SettingsSandbox()
    {
        lf_resetAll();
        g_appFolder = m_folder.path();
        gf_openLog(m_folder.path(), "test");
    }
    ~SettingsSandbox()
    {
        gf_closeLog();
        lf_resetAll();
        g_appFolder.clear();
    }
    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;

    const TempFolder& folder() const { return m_folder; }
    std::filesystem::path settingsPath() const { return m_folder / "parameters.xml"; }
    // Log.txt as written so far.
    std::string logText() const { return readFile(m_folder / "Log.txt"); }

private:
    static void lf_resetAll()
    {
        gf_resetSettingsStore();
        for (Parameter* p : gf_allParameters())
            p->resetToDefault();
        g_rangeMeters.store(gf_rangeMetersOf(g_optLateralRange.value()));
    }

    TempFolder m_folder;
};

}  // namespace tvxtest
