// A sandbox for tests of the park-airport choice, the park-airport list and the traffic
// containers: the application sandbox (temporary working folder with settings, Log.txt and the
// program's data folders, the download server at <folder>/server), a small airport list of real
// airports (plus two airports sharing one position), every park-airport and container value empty
// before and after the test, and the user aircraft's state set by the test.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "parking/park_choice.h"
#include "support/app_sandbox.h"

namespace tvxtest {

class ChoiceSandbox {
public:
    ChoiceSandbox();
    ~ChoiceSandbox();
    ChoiceSandbox(const ChoiceSandbox&) = delete;
    ChoiceSandbox& operator=(const ChoiceSandbox&) = delete;

    const std::filesystem::path& path() const { return m_box.path(); }
    std::string logText() const { return m_box.logText(); }

    // The user aircraft's position (degrees), height above ground (feet) and on-ground state; the
    // on-ground state counts as known.
    void setUser(double lat, double lon, double aboveGroundFt, bool onGround);

    // airports/my_park_airports.txt: writes the lines, each followed by a line end; reads it back.
    static void writeList(const std::vector<std::string>& lines);
    static std::string listText();

    // Copies the download stand-in's stock parking file of the airport into the sandbox's server
    // tree; false when the repository's stand-in tree is not found.
    bool serveStockFile(const std::string& code) const;

private:
    static void lf_resetState();

    AppSandbox m_box;
    ChoiceUser m_user;
};

// The codes of the park-airport list in order.
std::vector<std::string> parkAirportCodes();

}  // namespace tvxtest
