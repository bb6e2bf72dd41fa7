// The world of an end-to-end test: the whole program (gf_runTavix, its window loop, start-up,
// main loop, readers and exit) in this process against the stand-in simulator in lockstep, the
// traffic-service stand-in replaying a scenario and the download tree read over file://, in a
// temporary working folder with its own settings folder, simulator installation (UserCfg.opt and
// the demo's Community packages of standins/demo) and service key file.
//
// Time: the simulator runs at 50 fps and every second 10 ms wait of the main loop advances it by
// one frame, so one AI tick is 10 ms of simulated time, and the traffic stand-in runs on the
// simulated clock: the replay stands at replayStart until the program's first traffic request and
// runs with the simulated clock from there (scenario second = replayStart + simulated seconds
// since that request), however many frames the start-up's waits took on a loaded machine. It
// answers the traffic requests every 2 simulated seconds and, from the moment the traffic reader
// runs and has the user's position to ask about, the clock waits at each for the program's request
// and for the program to take the reply, so the feed reaches the program at the same simulated
// moments however loaded the machine is. The start-up's waits advance the frames they wait for. Once the
// main loop has ended (exit), the test thread steps the frames the exit needs (stepWhile). The
// readers' own waits (the stand-in's rate limit of 100 ms, the reader's wait for a position) are
// wall-clock waits that only delay the clock.
//
// Threads: the test thread builds and observes; gf_runTavix runs on the world's window thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/app_sandbox.h"
#include "traffic_service/traffic_standin.h"

namespace tvxtest {

struct E2eSetup {
    std::filesystem::path trafficScenario;  // default: standins/scenarios/demo_bikf_traffic.json
    std::filesystem::path simScenario;      // default: standins/scenarios/demo_bikf_sim.json
    double replayStart = 0.0;               // scenario second at simulated second 0
    // Changes to the traffic scenario before the stand-in starts (a track cut short, ...).
    std::function<void(tvxstandin::TrafficScenario&)> editScenario;
    // Settings written into parameters.xml before the start (key, value), as a user sets them.
    std::vector<std::pair<std::string, std::string>> settings;
    // Changes to a copy of the download stand-in's committed tree (its data/ and MSFS/ folders)
    // before the server root is built from it (an airport added to the airport list, ...).
    std::function<void(const std::filesystem::path& tree)> editDownloadTree;
    // The flight is running when the program starts (the user starts it from a loaded flight);
    // else it starts as the simulator scenario says (the demo's: 3 s after the simulator).
    bool flightLoaded = false;
};

// A scenario track's position at a scenario second (linear between points); nothing outside it.
struct TrackFix {
    double lat = 0, lon = 0, alt = 0, gs = 0;
    bool onGround = false;
};
// One position the simulator received, as its trace keeps it (every tenth position write).
struct TracePosition {
    std::uint64_t frame = 0;
    double lat = 0, lon = 0;
};

// Takes the airport out of the airport list of a download tree (data/airports_msfs.xml): runs of
// the live road alone have no park airport in sight.
void gf_dropFromAirportList(const std::filesystem::path& tree, const std::string& icao);

std::optional<TrackFix> gf_trackAt(const tvxstandin::ScenarioTrack& track, double second);
// Metres on the sphere the program uses (haversine, nautical miles × 1852).
double gf_metres(double lat1, double lon1, double lat2, double lon2);

class E2eWorld {
public:
    explicit E2eWorld(E2eSetup setup = {});
    ~E2eWorld();
    E2eWorld(const E2eWorld&) = delete;
    E2eWorld& operator=(const E2eWorld&) = delete;

    // Starts the program on the window thread (the stand-in simulator must be set up first:
    // the constructor loads the simulator scenario in lockstep at 100 fps).
    void start();
    // True once gf_runTavix has returned (within the wall-clock limit).
    bool waitEnded(std::chrono::milliseconds limit);
    int exitCode() const { return m_exitCode.load(); }

    // Waits (wall-clock bound) until the simulated time reaches the second, the program driving
    // the frames. False when the limit passed or the program ended first.
    bool runUntilSimSecond(double second, std::chrono::milliseconds limit = std::chrono::seconds(90));
    // The same to the moment the traffic replay reaches the scenario second.
    bool runUntilScenarioSecond(double second, std::chrono::milliseconds limit = std::chrono::seconds(90));
    // Waits until the predicate holds; steps frames itself while the main loop does not run.
    bool stepWhile(const std::function<bool()>& notYet, std::chrono::milliseconds limit);

    // The user closes the window (as SIGTERM does in the headless program).
    void closeWindow();

    double simSeconds() const;
    // The scenario second replayed at the simulated second (replayStart before the first request).
    double scenarioSecondAt(double simSecond) const
    {
        const double start = m_trafficStartSim.load();
        return m_setup.replayStart + (start < 0.0 ? 0.0 : std::max(0.0, simSecond - start));
    }
    double scenarioSecond() const { return scenarioSecondAt(simSeconds()); }
    double replayStart() const { return m_setup.replayStart; }
    tvxstandin::TrafficStandin& traffic() { return *m_traffic; }
    const tvxstandin::TrafficScenario& scenario() const { return m_scenario; }
    const tvxstandin::ScenarioTrack* trackOfCallsign(const std::string& callsign) const;
    std::string logText() const;
    // The simulator's trace of position writes, by object id (written into the folder's trace/).
    std::map<std::uint32_t, std::vector<TracePosition>> tracePositions() const;
    const std::filesystem::path& folder() const { return m_box.path(); }
    // The user aircraft's position from the simulator scenario.
    double userLat() const { return m_userLat; }
    double userLon() const { return m_userLon; }
    // The titles of the demo's Community packages ("Tavix Demo B752 Icelandair", ...).
    const std::vector<std::string>& installedTitles() const { return m_titles; }
    // The titles the simulator refuses: the scenario's and those added with refuseTitle.
    std::vector<std::string> refusedTitles() const;
    void refuseTitle(const std::string& title);

    // The clock; public for the hooks. wake(): one main-loop wait (a frame every second call);
    // advance(): frames for a wait of that length.
    void wake();
    void advance(std::chrono::milliseconds wait);
    // The simulator stalls: the next main-loop wakes (100 a second of the program's time) pass
    // without a frame, so the simulated clock and the traffic replay stand still meanwhile.
    void stallFrames(long wakes);
    // The program's steady time (the stays of parked aircraft) is the simulated time plus the time
    // passed here at once: an hour and a half of a quiet stand without 270,000 frames.
    void passSteadyTime(std::chrono::seconds time);
    // The traffic stand-in's replay time to the simulated clock (under m_clockMutex).
    void syncTraffic();

private:
    AppSandbox m_box;
    E2eSetup m_setup;
    tvxstandin::TrafficScenario m_scenario;
    std::unique_ptr<tvxstandin::TrafficStandin> m_traffic;
    std::vector<std::string> m_titles;
    mutable std::mutex m_refusedMutex;
    std::vector<std::string> m_refused;
    double m_userLat = 0, m_userLon = 0;
    std::mutex m_clockMutex;
    long m_wakes = 0;  // main-loop wakes, guarded by m_clockMutex
    long m_stalledWakes = 0;  // wakes still to pass without a frame, guarded by m_clockMutex
    std::atomic<double> m_trafficStartSim{-1.0};  // simulated second of the first traffic request
    std::thread m_window;
    std::atomic<bool> m_ended{false};
    std::atomic<int> m_exitCode{0};
};

}  // namespace tvxtest
