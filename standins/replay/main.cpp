// tavix-replay: converts recorded ADS-B tracks, and replays a traffic scenario through the program
// (gf_runTavix, as the tavix executable runs it) against the stand-in simulator in lockstep and
// the traffic-service stand-in on the simulated clock. The result does not depend on the machine's
// load, and a run takes a fraction of the simulated time. scripts/replay drives it.
//
//   tavix-replay convert RECORDING OUT.json
//       RECORDING in a layout the track converter reads (gzip or not); writes the scenario and
//       prints "converted: R rows, S skipped, T tracks".
//   tavix-replay run --scenario S.json --sim SIM.json --community DIR --work DIR --seconds N
//                    [--fps 30] [--set KEY=VALUE]... [--memory FILE] [--no-positions]
//                    [--park-file FILE.xml [--learned-file FILE.xml]]
//       Lays the simulator installation (DIR as its Community folder), the settings and key file
//       and the download tree in the work folder, replays the scenario from second 0 for N
//       seconds from the program's first traffic request, closes the program's window and waits for
//       its exit. Writes in the work folder: positions.csv (every position write: frame, sim_s,
//       wall_s, object, lat, lon, alt_ft, heading_rad, tas_kt), replay-start.txt (the simulated
//       second of the first traffic request: scenario second = sim_s minus it), objects.csv
//       (object, tail, title, created frame, outcome) and the program's Log.txt under run/. Prints
//       "replay run: N simulated s in W s, exit code C". --memory samples the process's resident
//       memory and heap in use at every simulated minute into FILE ("sim_s,rss_kb,heap_kb") and
//       prints the objects left in the simulator after the exit ("objects left: N"); --no-positions
//       keeps no positions.csv (an hour of hundreds of aircraft would fill gigabytes); --park-file
//       puts an airport's parking file in the download tree as its stock file, --learned-file
//       its learned file in run/airports/learned/stock. scripts/soak drives these.
//
// Time: every main-loop wait (10 ms) is one AI tick; frames follow at the given rate. The
// start-up's waits advance the frames they wait for. Exit status 0 when the run happened (also
// when the program logged errors), 2 on bad arguments or input.
//
// Threads: the main thread steps the clock while the program's main loop does not run; the
// program runs on its window thread, its main loop drives the clock through g_mainLoopSleep.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>
#include <unistd.h>

#include <httplib.h>

#include "app/entry.h"
#include "app/exit.h"
#include "app/main_loop.h"
#include "app/startup.h"
#include "download_server/download_server.h"
#include "frame/server_files.h"
#include "frame/window_model.h"
#include "simconnect/standin_sim.h"
#include "simulator/feed_handover.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/readers.h"
#include "traffic_service/track_converter.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/traffic_standin.h"
#include "win32/win_api.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

[[noreturn]] void lf_fail(const std::string& what)
{
    std::cerr << "tavix-replay: " << what << "\n";
    std::exit(2);
}

std::string lf_read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        lf_fail("cannot read " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void lf_write(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out)
        lf_fail("cannot write " + path.string());
}

// The text of a file, gunzipped when it starts with the gzip magic.
std::string lf_readMaybeGz(const fs::path& path)
{
    std::string text = lf_read(path);
    if (text.size() < 2 || static_cast<unsigned char>(text[0]) != 0x1f || static_cast<unsigned char>(text[1]) != 0x8b)
        return text;
    std::string plain;
    httplib::detail::gzip_decompressor unpack;
    if (!unpack.decompress(text.data(), text.size(), [&](const char* data, size_t n) {
            plain.append(data, n);
            return true;
        }))
        lf_fail(path.string() + ": broken gzip data");
    return plain;
}

int lf_convert(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        lf_fail("usage: tavix-replay convert RECORDING OUT.json");
    const auto converted = tvxstandin::gf_scenarioFromTracks(lf_readMaybeGz(args[0]));
    if (!converted.error.empty())
        lf_fail(args[0] + ": " + converted.error);
    lf_write(args[1], tvxstandin::gf_scenarioJson(converted.scenario));
    std::printf("converted: %d rows, %d skipped, %zu tracks\n", converted.rowsRead, converted.rowsSkipped,
                converted.scenario.tracks.size());
    return 0;
}

// ---- run ------------------------------------------------------------------------------------

struct Clock {
    tvxstandin::TrafficStandin* traffic = nullptr;
    float fps = 30.0f;
    std::mutex mutex;
    long wakes = 0;   // main-loop waits (10 ms each)
    long frames = 0;  // frames stepped by the wakes
    std::ofstream* memory = nullptr;  // --memory: resident memory at every simulated minute
    double nextSample = 0.0;

    double start = -1.0;  // simulated second of the program's first traffic request

    // The replay starts with the program's first traffic request (how many frames the start-up
    // waited before it depends on how fast the reader threads got there) and follows the simulated
    // clock from there; while the program exits its readers stop.
    void sync()
    {
        if (start < 0.0) {
            if (!traffic->awaitFirstTraffic())
                return;
            start = simstandin::sim().simSeconds();
        }
        traffic->advanceTo(simstandin::sim().simSeconds() - start, [] { return !g_exitRequested.load(); });
    }
    double replaySeconds()
    {
        std::lock_guard lock(mutex);
        return start < 0.0 ? 0.0 : simstandin::sim().simSeconds() - start;
    }
    // One main-loop wait: the frames due after this tick.
    void wake()
    {
        std::lock_guard lock(mutex);
        ++wakes;
        const long due = static_cast<long>(std::floor(wakes * static_cast<double>(fps) / 100.0 + 1e-9));
        if (due > frames) {
            simstandin::sim().frame(static_cast<int>(due - frames));
            frames = due;
            sync();
            sample();
        }
    }
    void sample()
    {
        const double now = simstandin::sim().simSeconds();
        if (memory == nullptr || now < nextSample)
            return;
        std::ifstream statm("/proc/self/statm");
        long pages = 0, resident = 0;
        statm >> pages >> resident;
        // Beside the resident size, the heap bytes in use: growth there is data kept, growth of the
        // resident size alone is the allocator's.
        const struct mallinfo2 heap = mallinfo2();
        *memory << static_cast<long>(now) << "," << resident * (sysconf(_SC_PAGESIZE) / 1024) << ","
                << (heap.uordblks + heap.hblkhd) / 1024 << "\n"
                << std::flush;
        nextSample = std::floor(now / 60.0) * 60.0 + 60.0;
    }
    void advance(std::chrono::milliseconds wait)
    {
        {
            std::lock_guard lock(mutex);
            simstandin::sim().frame(std::max<int>(1, static_cast<int>(wait.count() * fps / 1000)));
            sync();
        }
        // The start-up also waits for the reader threads, which run on the wall clock.
        std::this_thread::sleep_for(wait / 5);
    }
    void step()
    {
        std::lock_guard lock(mutex);
        simstandin::sim().frame(1);
        sync();
    }
};
Clock g_clock;

std::string lf_settingsXml(const std::vector<std::pair<std::string, std::string>>& settings)
{
    std::string xml = "<?xml version=\"1.0\"?>\n<meta>\n\t<info name=\"author\" value=\"Tavix\" />\n"
                      "\t<info name=\"version\" value=\"" + gf_versionText(gf_programVersion()) + "\" />\n"
                      "\t<info name=\"date\" value=\"2026-12-07\" />\n"
                      "\t<info name=\"copyright\" value=\"Copyright (c) the Tavix authors\" />\n"
                      "\t<info name=\"MSFS\" value=\"2020\" />\n</meta>\n<parameters>\n";
    for (const auto& [key, value] : settings)
        xml += "\t<parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
    return xml + "</parameters>\n";
}

std::string lf_csvText(const std::string& s)
{
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

int lf_run(const std::vector<std::string>& args)
{
    fs::path scenarioPath, simPath, community, work, memoryPath, parkFile, learnedFile;
    bool positions = true;
    double seconds = 0;
    float fps = 30.0f;
    std::vector<std::pair<std::string, std::string>> settings;
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size())
                lf_fail(args[i] + " needs a value");
            return args[++i];
        };
        const std::string& a = args[i];
        if (a == "--scenario")
            scenarioPath = value();
        else if (a == "--sim")
            simPath = value();
        else if (a == "--community")
            community = value();
        else if (a == "--work")
            work = value();
        else if (a == "--seconds")
            seconds = std::atof(value().c_str());
        else if (a == "--memory")
            memoryPath = value();
        else if (a == "--park-file")
            parkFile = value();
        else if (a == "--learned-file")
            learnedFile = value();
        else if (a == "--no-positions")
            positions = false;
        else if (a == "--fps")
            fps = static_cast<float>(std::atof(value().c_str()));
        else if (a == "--set") {
            const std::string kv = value();
            const auto eq = kv.find('=');
            if (eq == std::string::npos)
                lf_fail("--set needs KEY=VALUE, not " + kv);
            settings.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
        } else
            lf_fail("unknown argument " + a);
    }
    if (scenarioPath.empty() || simPath.empty() || community.empty() || work.empty() || seconds <= 0 || fps < 1)
        lf_fail("usage: tavix-replay run --scenario S.json --sim SIM.json --community DIR --work DIR --seconds N "
                "[--fps 30] [--set KEY=VALUE]...");
    tvxstandin::TrafficScenario scenario;
    try {
        scenario = tvxstandin::gf_parseScenario(lf_read(scenarioPath));
    } catch (const std::exception& e) {
        lf_fail(scenarioPath.string() + ": " + e.what());
    }
    work = fs::absolute(work);
    simPath = fs::absolute(simPath);
    if (!memoryPath.empty())
        memoryPath = fs::absolute(memoryPath);
    if (!parkFile.empty())
        parkFile = fs::absolute(parkFile);
    if (!learnedFile.empty())
        learnedFile = fs::absolute(learnedFile);
    community = fs::absolute(community);
    for (const char* sub : {"run", "roaming", "local", "sim", "server"})
        fs::remove_all(work / sub);

    // The simulator installation: UserCfg.opt of the 2020 simulator naming the packages folder,
    // whose Community folder holds the AI model packages of the recorded types.
    fs::create_directories(work / "sim" / "Packages" / "Official");
    fs::copy(community, work / "sim" / "Packages" / "Community", fs::copy_options::recursive);
    lf_write(work / "local" / "Packages" / "Microsoft.FlightSimulator_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
             "Version 58\nInstalledPackagesPath \"" + (work / "sim" / "Packages").string() + "\"\n");
    lf_write(work / "roaming" / "Tavix" / "RealTraffic.lic", "{\"License\": \"TEST-1234-ABCD-5678\"}\n");
    lf_write(work / "roaming" / "Tavix" / "parameters.xml", lf_settingsXml(settings));
    std::string error;
    if (!dlstandin::buildServerRoot(dlstandin::committedTree(), work / "server", &error))
        lf_fail("download tree: " + error);
    fs::create_directories(work / "run");
    if (!parkFile.empty())
        lf_write(work / "server" / "MSFS" / "archive" / "stock" / parkFile.filename(), lf_read(parkFile));
    if (!learnedFile.empty())
        lf_write(work / "run" / "airports" / "learned" / "stock" / learnedFile.filename(), lf_read(learnedFile));
    fs::current_path(work / "run");
    setenv("TAVIX_ROAMING_DIR", (work / "roaming").c_str(), 1);
    setenv("TAVIX_LOCAL_DIR", (work / "local").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (work / "run").c_str(), 1);
    setenv("TAVIX_SERVER_BASE", ("file://" + (work / "server").string() + "/").c_str(), 1);

    // The traffic-service stand-in on the simulated clock, polled every 2 s of it.
    scenario.licences = {"TEST-1234-ABCD-5678"};
    scenario.type = 2;
    tvxstandin::TrafficStandin traffic(scenario);
    traffic.setRateLimits(100, 100);
    traffic.setReplayTime(0.0);
    traffic.useSimClock(2.0, 2.0);
    traffic.setReplySettled([] {
        std::lock_guard lock(g_udpMutex);
        return !g_udpMessages.empty();
    });
    // A request is due at every grid point once the traffic reader runs and knows where to ask.
    traffic.setReaderPolls([] {
        return gf_readersRunning() >= 2 && !g_trafficClient.stopRequested() && gf_trafficQueryPosition().set;
    });
    if (!traffic.start(0, std::chrono::seconds(600)))
        lf_fail("traffic stand-in: cannot bind a loopback port");
    g_trafficClient.setApiBase(traffic.apiBase());

    // The stand-in simulator in lockstep, with every position write logged.
    simstandin::Config config;
    config.mode = simstandin::Mode::Lockstep;
    config.fps = fps;
    config.lockstepTimeout = 5000ms;
    config.positionRing = 10;
    simstandin::sim().reset(config);
    try {
        simstandin::sim().loadScenario(simPath.string());
        simstandin::sim().setFps(fps);
        if (positions)
            simstandin::sim().logPositions((work / "positions.csv").string());
    } catch (const std::exception& e) {
        lf_fail(e.what());
    }

    g_clock.traffic = &traffic;
    g_clock.fps = fps;
    std::ofstream memory;
    if (!memoryPath.empty()) {
        memory.open(memoryPath, std::ios::trunc);
        if (!memory)
            lf_fail("cannot write " + memoryPath.string());
        memory << "sim_s,rss_kb,heap_kb\n";
        g_clock.memory = &memory;
    }
    g_mainLoopSleep = [](std::chrono::milliseconds) { g_clock.wake(); };
    g_startUpSleep = [](std::chrono::milliseconds wait) { g_clock.advance(wait); };
    g_exitTimings.readerStopWait = 0ms;
    g_exitTimings.countdownStep = 0ms;

    const auto started = std::chrono::steady_clock::now();
    std::atomic<bool> ended{false};
    std::atomic<int> exitCode{0};
    std::thread window([&] {
        exitCode = gf_runTavix();
        ended = true;
    });
    // Until the main loop runs, and after it has ended, the clock needs steps from here; the
    // wall-clock limit only guards against a program that hangs.
    auto drive = [&](const std::function<bool()>& notYet, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        int idle = 0;
        while (notYet() && std::chrono::steady_clock::now() < end) {
            if (!g_mainLoopRunning.load() || g_mainLoopEnded.load()) {
                if (++idle > 20)
                    g_clock.step();
            } else {
                idle = 0;
            }
            std::this_thread::sleep_for(1ms);
        }
        return !notYet();
    };
    const bool ran = drive([&] { return g_clock.replaySeconds() < seconds && !ended.load(); }, 3600s);
    if (!ran)
        std::cerr << "tavix-replay: the run did not reach " << seconds << " simulated seconds\n";
    if (g_hWnd != nullptr)
        PostMessageW(g_hWnd, WM_CLOSE, 0, 0);
    if (!drive([&] { return !ended.load(); }, 120s))
        lf_fail("the program did not end within 120 s after its window was closed");
    window.join();
    const double simulated = simstandin::sim().simSeconds();
    if (g_clock.memory != nullptr) {
        g_clock.nextSample = 0.0;
        g_clock.sample();
        g_clock.memory = nullptr;
        const auto objects = simstandin::sim().objects();
        std::printf("objects left: %td\n",
                    std::count_if(objects.begin(), objects.end(), [](const auto& o) { return o.own; }));
    }
    simstandin::sim().logPositions("");
    traffic.stop();

    std::ostringstream objects;
    objects << "object,tail,title,frame,outcome\n";
    for (const auto& c : simstandin::sim().creations()) {
        static const char* outcomes[] = {"pending", "created", "refused", "too many"};
        objects << c.objectId << "," << lf_csvText(c.tail) << "," << lf_csvText(c.title) << "," << c.frame << ","
                << outcomes[c.outcome] << "\n";
    }
    lf_write(work / "objects.csv", objects.str());
    lf_write(work / "replay-start.txt", std::to_string(std::max(0.0, g_clock.start)) + "\n");
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("replay run: %.0f simulated s in %.1f s, exit code %d\n", simulated, wall, exitCode.load());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        lf_fail("usage: tavix-replay convert RECORDING OUT.json | tavix-replay run ...");
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "convert")
        return lf_convert(args);
    if (command == "run")
        return lf_run(args);
    lf_fail("unknown command " + command);
}
