// The end-to-end test world (see e2e_world.h).
#include "e2e/e2e_world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/app_state.h"
#include "app/entry.h"
#include "app/exit.h"
#include "app/main_loop.h"
#include "app/real_subsystems.h"
#include "app/startup.h"
#include "download_server/download_server.h"
#include "foundation/time_slots.h"
#include "frame/frame_state.h"
#include "frame/server_files.h"
#include "liveries/liveries_state.h"
#include "model/airport_list.h"
#include "model/model_state.h"
#include "parking/parking_state.h"
#include "simconnect/standin_sim.h"
#include "simulator/simulator_state.h"
#include "support/temp_folder.h"
#include "simulator/feed_handover.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/readers.h"
#include "traffic_service/traffic_client.h"
#include "win32/win_api.h"

namespace tvxtest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

E2eWorld* g_world = nullptr;
std::atomic<double> g_steadySkipSeconds{0.0};  // steady time passed without frames (passSteadyTime)
constexpr float kFps = 50.0f;  // one frame every two AI ticks

fs::path lf_sourceDir()
{
    if (const char* source = std::getenv("TAVIX_SOURCE_DIR"); source && *source)
        return source;
    return dlstandin::committedTree().parent_path().parent_path();
}

std::string lf_read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

double gf_metres(double lat1, double lon1, double lat2, double lon2)
{
    constexpr double r = 3.14159265358979323846 / 180.0;
    const double dLat = (lat2 - lat1) * r;
    const double dLon = (lon2 - lon1) * r;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2)
        + std::cos(lat1 * r) * std::cos(lat2 * r) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 6875.493541569878 * std::asin(std::sqrt(std::min(1.0, h))) * 1852.0;
}

std::optional<TrackFix> gf_trackAt(const tvxstandin::ScenarioTrack& track, double second)
{
    const auto& p = track.points;
    if (p.empty() || second < p.front().t || second > p.back().t)
        return std::nullopt;
    const auto it = std::lower_bound(p.begin(), p.end(), second,
                                     [](const tvxstandin::TrackPoint& a, double t) { return a.t < t; });
    if (it == p.begin())
        return TrackFix{p.front().lat, p.front().lon, p.front().alt, p.front().gs, p.front().onGround};
    const auto& a = *(it - 1);
    const auto& b = *it;
    const double f = b.t > a.t ? (second - a.t) / (b.t - a.t) : 0.0;
    return TrackFix{a.lat + f * (b.lat - a.lat), a.lon + f * (b.lon - a.lon), a.alt + f * (b.alt - a.alt),
                    a.gs + f * (b.gs - a.gs), a.onGround && b.onGround};
}

void gf_dropFromAirportList(const fs::path& tree, const std::string& icao)
{
    const fs::path list = tree / "data" / "airports_msfs.xml";
    std::string xml = lf_read(list);
    const std::size_t at = xml.find("<airport code=\"" + icao + "\"");
    if (at == std::string::npos)
        throw std::runtime_error(icao + " is not in " + list.string());
    const std::size_t lineStart = xml.rfind('\n', at) + 1;
    xml.erase(lineStart, xml.find('\n', at) + 1 - lineStart);
    writeFile(list, xml);
}

E2eWorld::E2eWorld(E2eSetup setup) : m_setup(std::move(setup))
{
    const fs::path source = lf_sourceDir();
    if (m_setup.trafficScenario.empty())
        m_setup.trafficScenario = source / "standins" / "scenarios" / "demo_bikf_traffic.json";
    if (m_setup.simScenario.empty())
        m_setup.simScenario = source / "standins" / "scenarios" / "demo_bikf_sim.json";
    const fs::path box = m_box.path();

    // The simulator installation: UserCfg.opt of the 2020 simulator naming the packages folder,
    // whose Community folder holds the demo's AI model packages.
    fs::create_directories(box / "sim" / "Packages" / "Official");
    fs::copy(source / "standins" / "demo" / "Community", box / "sim" / "Packages" / "Community",
             fs::copy_options::recursive);
    const fs::path userCfg =
        box / "local" / "Packages" / "Microsoft.FlightSimulator_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt";
    fs::create_directories(userCfg.parent_path());
    writeFile(userCfg, "Version 58\nInstalledPackagesPath \"" + (box / "sim" / "Packages").string() + "\"\n");
    // The service key file with the licence the stand-in accepts.
    fs::create_directories(box / "roaming" / "Tavix");
    writeFile(box / "roaming" / "Tavix" / "RealTraffic.lic", "{\"License\": \"TEST-1234-ABCD-5678\"}\n");
    // The download tree, read over file://.
    fs::path tree = dlstandin::committedTree();
    if (m_setup.editDownloadTree) {
        fs::copy(tree, box / "tree", fs::copy_options::recursive);
        tree = box / "tree";
        m_setup.editDownloadTree(tree);
    }
    std::string error;
    if (!dlstandin::buildServerRoot(tree, box / "server", &error))
        throw std::runtime_error("download tree: " + error);
    // A fresh installation in a fresh process: nothing an earlier world in this process loaded or
    // left (airport list, liveries refused by its simulator, aircraft, status lines) is kept.
    gf_resetFrameState();
    gf_resetAppState();
    gf_resetLiveriesState();
    gf_resetSimulatorState();
    gf_resetModelState();
    gf_resetParkingState();
    setenv("TAVIX_SERVER_BASE", AppSandbox::fileUrl(box / "server").c_str(), 1);

    // The traffic-service stand-in, replaying the scenario on the simulated clock.
    m_scenario = tvxstandin::gf_parseScenario(lf_read(m_setup.trafficScenario));
    if (m_setup.editScenario)
        m_setup.editScenario(m_scenario);
    m_traffic = std::make_unique<tvxstandin::TrafficStandin>(m_scenario);
    m_traffic->setRateLimits(100, 100);
    m_traffic->setReplayTime(m_setup.replayStart);
    m_traffic->useSimClock(2.0, 2.0);
    m_traffic->setReplySettled([] {
        std::lock_guard lock(g_udpMutex);
        return !g_udpMessages.empty();
    });
    // The traffic reader has a request due at every grid point once it runs, has a session and
    // knows where to ask: the clock waits for it even while it still sleeps between its checks of
    // the position, but not while the service is out of reach and the reader waits to log in.
    m_traffic->setReaderPolls([] {
        return gf_readersRunning() >= 2 && !g_trafficClient.stopRequested() && g_trafficClient.loggedIn()
            && gf_trafficQueryPosition().set;
    });
    if (!m_traffic->start(0, std::chrono::seconds(600)))
        throw std::runtime_error("traffic stand-in: cannot bind");
    // The client read TAVIX_API_BASE when the process started, before this stand-in existed.
    setenv("TAVIX_API_BASE", m_traffic->apiBase().c_str(), 1);
    g_trafficClient.setApiBase(m_traffic->apiBase());

    // The stand-in simulator in lockstep: the scenario's world at 50 frames a second.
    simstandin::Config config;
    config.mode = simstandin::Mode::Lockstep;
    config.fps = kFps;
    config.lockstepTimeout = 5000ms;
    // Each position write copies the object with its ring of positions: a short ring keeps the
    // writes cheap. The positions are read back from the trace (every tenth write) instead.
    config.positionRing = 50;
    simstandin::sim().reset(config);
    simstandin::sim().loadScenario(m_setup.simScenario.string());
    simstandin::sim().setFps(kFps);
    if (m_setup.flightLoaded)
        simstandin::sim().startFlight();
    const auto sim = nlohmann::json::parse(lf_read(m_setup.simScenario));
    m_userLat = sim["user"]["lat"].get<double>();
    m_userLon = sim["user"]["lon"].get<double>();
    for (const auto& title : sim["titles"])
        m_titles.push_back(title.is_string() ? title.get<std::string>() : title["title"].get<std::string>());
    if (sim.contains("refused"))
        for (const auto& title : sim["refused"])
            m_refused.push_back(title.get<std::string>());

    g_world = this;
    g_mainLoopSleep = [](std::chrono::milliseconds) { g_world->wake(); };
    g_startUpSleep = [](std::chrono::milliseconds wait) { g_world->advance(wait); };
    // The stays of parked aircraft run on the simulated clock.
    g_steadySkipSeconds = 0.0;
    gf_setSteadySource([] {
        return SteadyTime(std::chrono::duration_cast<SteadyTime::duration>(
            std::chrono::duration<double>(simstandin::sim().simSeconds() + g_steadySkipSeconds.load())));
    });

    // The user's settings.
    if (!m_setup.settings.empty()) {
        std::string xml = "<?xml version=\"1.0\"?>\n<meta>\n\t<info name=\"author\" value=\"Tavix\" />\n"
                          "\t<info name=\"version\" value=\"" + gf_versionText(gf_programVersion()) + "\" />\n"
                          "\t<info name=\"date\" value=\"2026-12-07\" />\n"
                          "\t<info name=\"copyright\" value=\"Copyright (c) the Tavix authors\" />\n"
                          "\t<info name=\"MSFS\" value=\"2020\" />\n</meta>\n<parameters>\n";
        for (const auto& [key, value] : m_setup.settings)
            xml += "\t<parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
        writeFile(box / "roaming" / "Tavix" / "parameters.xml", xml + "</parameters>\n");
    }
}

E2eWorld::~E2eWorld()
{
    if (m_window.joinable()) {
        if (!m_ended.load()) {
            closeWindow();
            stepWhile([this] { return !m_ended.load(); }, 30s);
        }
        m_window.join();
    }
    g_mainLoopSleep = [](std::chrono::milliseconds) {};
    g_startUpSleep = [](std::chrono::milliseconds) {};
    gf_setSteadySource(nullptr);
    g_world = nullptr;
    m_traffic->stop();
}

void E2eWorld::wake()
{
    std::lock_guard lock(m_clockMutex);
    if (m_stalledWakes > 0) {
        --m_stalledWakes;
        return;
    }
    if (++m_wakes % 2 != 0)
        return;
    simstandin::sim().frame(1);
    syncTraffic();
}

void E2eWorld::stallFrames(long wakes)
{
    std::lock_guard lock(m_clockMutex);
    m_stalledWakes = wakes;
}

void E2eWorld::advance(std::chrono::milliseconds wait)
{
    {
        std::lock_guard lock(m_clockMutex);
        simstandin::sim().frame(std::max<int>(1, static_cast<int>(wait.count() * kFps / 1000)));
        syncTraffic();
    }
    // The start-up also waits for the reader threads, which run on the wall clock: its waits pass
    // five times faster than in the program, but they do pass.
    std::this_thread::sleep_for(wait / 5);
}

void E2eWorld::syncTraffic()
{
    // The replay starts with the program's first traffic request: how many frames the start-up
    // waited before it depends on how fast the reader threads got there.
    if (m_trafficStartSim.load() < 0.0) {
        if (!m_traffic->awaitFirstTraffic())
            return;
        m_trafficStartSim = simstandin::sim().simSeconds();
    }
    // While the program exits its readers stop: the clock does not wait for their requests.
    if (!m_traffic->advanceTo(scenarioSecond(),
                              [] { return !g_exitRequested.load(); }))
        std::fprintf(stderr, "e2e: the traffic reader did not ask or take its reply within %lld s at simulated "
                             "second %.2f: the clock went on without it\n",
                     static_cast<long long>(tvxstandin::TrafficStandin::kSimClockDeadProgramWait.count() / 1000),
                     simstandin::sim().simSeconds());
}

void E2eWorld::passSteadyTime(std::chrono::seconds time)
{
    g_steadySkipSeconds = g_steadySkipSeconds.load() + static_cast<double>(time.count());
}

double E2eWorld::simSeconds() const
{
    return simstandin::sim().simSeconds();
}

void E2eWorld::start()
{
    gf_setSubsystems(nullptr);  // the whole program: its own subsystems, not the sandbox's recording ones
    m_window = std::thread([this] {
        m_exitCode = gf_runTavix();
        m_ended = true;
    });
}

bool E2eWorld::waitEnded(std::chrono::milliseconds limit)
{
    return stepWhile([this] { return !m_ended.load(); }, limit);
}

bool E2eWorld::runUntilSimSecond(double second, std::chrono::milliseconds limit)
{
    return stepWhile([&] { return simSeconds() < second && !m_ended.load(); }, limit) && simSeconds() >= second;
}

bool E2eWorld::runUntilScenarioSecond(double second, std::chrono::milliseconds limit)
{
    return stepWhile([&] { return scenarioSecond() < second && !m_ended.load(); }, limit) && scenarioSecond() >= second;
}

bool E2eWorld::stepWhile(const std::function<bool()>& notYet, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    int idle = 0;
    while (notYet()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        // The start-up and the main loop drive the clock; once the main loop has ended the
        // simulator thread's work (the exit's removals) needs frames from here. Before the
        // start-up thread runs nothing needs them: frames stepped then would depend on how fast
        // the window came up.
        if (g_mainLoopEnded.load()) {
            if (++idle > 20) {
                std::lock_guard lock(m_clockMutex);
                simstandin::sim().frame(1);
                syncTraffic();
            }
        } else {
            idle = 0;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

void E2eWorld::closeWindow()
{
    if (g_hWnd != nullptr)
        PostMessageW(g_hWnd, WM_CLOSE, 0, 0);
}

const tvxstandin::ScenarioTrack* E2eWorld::trackOfCallsign(const std::string& callsign) const
{
    for (const auto& track : m_scenario.tracks)
        if (track.callsign == callsign)
            return &track;
    return nullptr;
}

std::map<std::uint32_t, std::vector<TracePosition>> E2eWorld::tracePositions() const
{
    const fs::path folder = m_box.path() / "trace";
    simstandin::sim().writeTrace(folder.string());
    std::map<std::uint32_t, std::vector<TracePosition>> out;
    std::ifstream in(folder / "sim-positions.csv");
    std::string line;
    std::getline(in, line);  // header: frame,object,lat,lon,alt_ft,...
    while (std::getline(in, line)) {
        std::istringstream row(line);
        std::string frame, object, lat, lon;
        if (!std::getline(row, frame, ',') || !std::getline(row, object, ',') || !std::getline(row, lat, ',')
            || !std::getline(row, lon, ','))
            continue;
        out[static_cast<std::uint32_t>(std::stoul(object))].push_back(
            {std::stoull(frame), std::stod(lat), std::stod(lon)});
    }
    return out;
}

std::vector<std::string> E2eWorld::refusedTitles() const
{
    std::lock_guard lock(m_refusedMutex);
    return m_refused;
}

void E2eWorld::refuseTitle(const std::string& title)
{
    {
        std::lock_guard lock(m_refusedMutex);
        m_refused.push_back(title);
    }
    simstandin::sim().refuseTitle(title);
}

std::string E2eWorld::logText() const
{
    return readFile(m_box.path() / "Log.txt");
}

}  // namespace tvxtest
