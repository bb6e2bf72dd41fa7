// A sandbox for tests of the add-on airport scan: settings and Log.txt in a temporary folder that
// is also the working folder (with output/info ready for the scan log), empty scan messages,
// flags, publisher lists and airport lists before and after the test; and the path of the real
// BGL test data beside the project, when present.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "liveries/publishers.h"
#include "model/airport_list.h"
#include "parking/addon_scan.h"
#include "support/parking_airports.h"
#include "support/settings_fixture.h"

namespace tvxtest {

class ScanSandbox {
public:
    ScanSandbox()
    {
        lf_clear();
        std::filesystem::create_directories(path() / "output" / "info");
    }
    ~ScanSandbox() { lf_clear(); }
    ScanSandbox(const ScanSandbox&) = delete;
    ScanSandbox& operator=(const ScanSandbox&) = delete;

    const std::filesystem::path& path() const { return m_settings.folder().path(); }
    std::string logText() const { return m_settings.logText(); }

    std::vector<std::string> messages() const
    {
        std::lock_guard lock(g_scanMessagesMutex);
        return g_scanMessages;
    }
    // True when one scan message contains the text.
    bool hasMessage(const std::string& part) const
    {
        const auto all = messages();
        return std::any_of(all.begin(), all.end(), [&](const std::string& m) { return m.find(part) != std::string::npos; });
    }
    // Loads publisher groups and archive lists from the database's XML sections.
    static void setPublishers(const std::string& sectionsXml)
    {
        pugi::xml_document doc;
        doc.load_string(("<aircraftdb>" + sectionsXml + "</aircraftdb>").c_str());
        gf_readPublisherSections(doc.child("aircraftdb"), "test");
    }

private:
    static void lf_clear()
    {
        {
            std::lock_guard lock(g_scanMessagesMutex);
            g_scanMessages.clear();
        }
        g_addonAirportFound = false;
        g_tbloCount = 0;
        gf_clearPublishers();
        g_airports.clear();
        g_airportNames.clear();
    }

    SettingsSandbox m_settings;
    WorkingFolder m_cwd{m_settings.folder().path()};
};

// <source>/../shared/testdata/msfs_bgl, or an empty path when it is not there.
inline std::filesystem::path realBglFolder()
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    if (!source)
        return {};
    const std::filesystem::path folder = std::filesystem::path(source) / ".." / "shared" / "testdata" / "msfs_bgl";
    return std::filesystem::exists(folder) ? std::filesystem::canonical(folder) : std::filesystem::path();
}

}  // namespace tvxtest
