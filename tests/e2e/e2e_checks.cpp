// The end-to-end checks (see e2e_checks.h).
#include "e2e/e2e_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "simulator/ai_tick.h"
#include "support/temp_folder.h"
#include "simulator/command_queues.h"
#include "simulator/feed_handover.h"

namespace tvxtest {

namespace fs = std::filesystem;

namespace {

struct DemoLivery {
    std::string type, airline, title;
};

std::string lf_value(const std::string& line)
{
    const auto eq = line.find('=');
    std::string v = line.substr(eq + 1);
    v.erase(0, v.find_first_not_of(" \t\""));
    v.erase(v.find_last_not_of(" \t\"\r") + 1);
    return v;
}

// The liveries of the demo's Community folder, read line by line ([GENERAL] type, one livery a
// [FLTSIM.n] section with its own title and icao_airline).
std::vector<DemoLivery> lf_demoLiveries(const fs::path& community)
{
    std::vector<DemoLivery> out;
    for (const auto& entry : fs::recursive_directory_iterator(community)) {
        if (entry.path().filename() != "aircraft.cfg")
            continue;
        std::ifstream in(entry.path());
        std::string line, type;
        std::vector<DemoLivery> file;
        while (std::getline(in, line)) {
            if (line.rfind("icao_type_designator", 0) == 0)
                type = lf_value(line);
            else if (line.rfind("[FLTSIM.", 0) == 0)
                file.push_back({});
            else if (line.rfind("title", 0) == 0 && !file.empty())
                file.back().title = lf_value(line);
            else if (line.rfind("icao_airline", 0) == 0 && !file.empty())
                file.back().airline = lf_value(line);
        }
        for (auto& l : file) {
            l.type = type;
            out.push_back(l);
        }
    }
    return out;
}

fs::path lf_community(const E2eWorld& world)
{
    return world.folder() / "sim" / "Packages" / "Community";
}

}  // namespace

std::map<std::uint32_t, simstandin::CreationRec> gf_createdObjects()
{
    std::map<std::uint32_t, simstandin::CreationRec> out;
    for (const auto& c : simstandin::sim().creations())
        if (c.outcome == simstandin::CreationRec::Created)
            out[c.objectId] = c;
    return out;
}

std::optional<simstandin::ObjectView> gf_objectOfTail(const std::string& tail)
{
    return simstandin::sim().objectByAtcId(tail);
}

bool gf_wasCreated(const std::string& tail)
{
    for (const auto& [id, c] : gf_createdObjects())
        if (c.tail == tail)
            return true;
    return false;
}

bool gf_removedByProgram(const std::string& tail)
{
    const auto created = gf_createdObjects();
    for (const auto& r : simstandin::sim().removals()) {
        const auto it = created.find(r.objectId);
        if (r.packet != 0 && r.exception == 0 && it != created.end() && it->second.tail == tail)
            return true;
    }
    return false;
}

std::string gf_expectedTitle(const E2eWorld& world, const tvxstandin::ScenarioTrack& track)
{
    const auto liveries = lf_demoLiveries(lf_community(world));
    const auto refused = world.refusedTitles();
    const std::string airline = track.callsign.substr(0, 3);
    auto usable = [&](const DemoLivery& l) {
        return std::find(refused.begin(), refused.end(), l.title) == refused.end();
    };
    for (const auto& l : liveries)
        if (l.type == track.type && l.airline == airline && usable(l))
            return l.title;
    for (const auto& l : liveries)
        if (l.type == track.type && l.airline.empty() && usable(l))
            return l.title;
    // Other types: the demo installs only airliners of the large class.
    static const std::vector<std::string> kLarge = {"A319", "A320", "A321", "B737", "B738", "B752", "E190"};
    if (std::find(kLarge.begin(), kLarge.end(), track.type) != kLarge.end())
        return "any";
    return "";
}

std::vector<std::string> gf_expectedCreations(const E2eWorld& world, double simSecond, double rangeNm)
{
    const auto liveries = lf_demoLiveries(lf_community(world));
    std::vector<std::string> out;
    const double last = world.scenarioSecondAt(simSecond) - 50.0;
    for (const auto& track : world.scenario().tracks) {
        const bool typeInstalled = std::any_of(liveries.begin(), liveries.end(),
                                               [&](const DemoLivery& l) { return l.type == track.type; });
        if (!typeInstalled)
            continue;
        // Inside the query box (half a mile in from its edges) for 20 s on end.
        const double dLat = (rangeNm - 0.5) / 60.0;
        const double dLon = dLat / std::cos(world.userLat() * 3.14159265358979323846 / 180.0);
        int inside = 0;
        for (double s = world.replayStart(); s <= last && inside < 20; s += 1.0) {
            const auto fix = gf_trackAt(track, s);
            const bool in = fix && std::abs(fix->lat - world.userLat()) <= dLat
                            && std::abs(fix->lon - world.userLon()) <= dLon;
            inside = in ? inside + 1 : 0;
        }
        if (inside >= 20)
            out.push_back(track.callsign);
    }
    return out;
}

const char* gf_motionKindName(MotionKind kind)
{
    switch (kind) {
    case MotionKind::Taxi:
        return "taxiing or standing";
    case MotionKind::Runway:
        return "take-off or landing";
    case MotionKind::Air:
        return "in the air";
    }
    return "?";
}

std::array<Deviation, 3> gf_largestDeviations(const E2eWorld& world)
{
    std::array<Deviation, 3> worst;
    const auto trace = world.tracePositions();
    for (const auto& [id, c] : gf_createdObjects()) {
        const auto* track = world.trackOfCallsign(c.tail);
        const auto positions = trace.find(id);
        if (track == nullptr || positions == trace.end())
            continue;
        // Each traced position against the track every 0.2 s of its window.
        for (const TracePosition& p : positions->second) {
            const double replaySecond = world.scenarioSecondAt(static_cast<double>(p.frame) / 50.0);
            const double feedSecond = replaySecond - 30.0;
            double best = -1.0;
            for (double s = feedSecond - 5.0; s <= feedSecond + kLeadSeconds; s += 0.2)
                if (const auto fix = gf_trackAt(*track, s)) {
                    const double d = gf_metres(p.lat, p.lon, fix->lat, fix->lon);
                    best = best < 0 ? d : std::min(best, d);
                }
            const auto now = gf_trackAt(*track, feedSecond);
            if (best < 0 || !now)
                continue;
            // The half minute around a fast ground point belongs to the take-off or the landing:
            // the start of the roll and the end of the rollout are slow, the approach's last
            // seconds, the flare, the lift-off and the first climb are in the air.
            bool runway = false;
            for (double s = feedSecond - 30.0; s <= feedSecond + 30.0 && !runway; s += 1.0)
                if (const auto fix = gf_trackAt(*track, s))
                    runway = fix->onGround && fix->gs > 40.0;
            const MotionKind kind = runway          ? MotionKind::Runway
                                    : !now->onGround ? MotionKind::Air
                                                     : MotionKind::Taxi;
            Deviation& w = worst[static_cast<std::size_t>(kind)];
            ++w.samples;
            if (best > w.metres) {
                w.metres = best;
                w.callsign = c.tail;
                w.feedSecond = feedSecond;
            }
        }
    }
    return worst;
}

void gf_expectNothingLeft()
{
    const auto created = gf_createdObjects();
    for (const auto& o : simstandin::sim().objects())
        EXPECT_FALSE(o.own) << "object " << o.id << " \"" << o.title << "\" " << o.atcId << " left behind";
    for (const auto& [id, c] : created) {
        bool removed = false;
        for (const auto& r : simstandin::sim().removals())
            removed = removed || (r.objectId == id && r.packet != 0 && r.exception == 0);
        EXPECT_TRUE(removed) << "object " << id << " " << c.tail << " was not removed by the program";
    }
    EXPECT_TRUE(g_liveAc.empty()) << g_liveAc.size() << " live aircraft kept";
    EXPECT_TRUE(g_staticAc.empty());
    EXPECT_TRUE(g_removeRequests.empty()) << g_removeRequests.size() << " removal requests pending";
    EXPECT_TRUE(g_liveCreateRequests.empty()) << g_liveCreateRequests.size() << " creation requests pending";
    EXPECT_TRUE(g_staticCreateRequests.empty());
    EXPECT_TRUE(g_spawnQueue.empty());
    {
        std::lock_guard lock(g_simConnectMutex);
        EXPECT_TRUE(g_removeAcCmds.empty()) << g_removeAcCmds.size() << " removals not sent";
        EXPECT_TRUE(g_createAcCmds.empty()) << g_createAcCmds.size() << " creations not sent";
        EXPECT_TRUE(g_acPosUpdates.write.empty() && g_acPosUpdates.send.empty());
    }
    std::lock_guard lock(g_udpMutex);
    EXPECT_TRUE(g_udpMessages.empty());
}

std::vector<std::string> gf_errorLines(const std::string& log)
{
    std::vector<std::string> out;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("===> ", 0) == 0)
            out.push_back(line);
    return out;
}

std::vector<std::string> gf_otherErrorLines(const std::string& log, const std::vector<std::string>& provoked)
{
    std::vector<std::string> out;
    for (const auto& line : gf_errorLines(log))
        if (std::none_of(provoked.begin(), provoked.end(),
                         [&](const std::string& p) { return line.find(p) != std::string::npos; }))
            out.push_back(line);
    return out;
}

std::size_t gf_createdAfter(std::uint64_t frame)
{
    std::size_t n = 0;
    for (const auto& c : simstandin::sim().creations())
        n += (c.outcome == simstandin::CreationRec::Created && c.frame > frame) ? 1 : 0;
    return n;
}

std::size_t gf_positionWritesAfter(std::uint64_t frame)
{
    std::size_t n = 0;
    for (const auto& call : simstandin::sim().calls(simstandin::Call::SetDataOnSimObject))
        n += call.frame > frame ? 1 : 0;
    return n;
}

ReplayRun runReplayScript(const std::filesystem::path& recording, const std::string& args,
                          const std::filesystem::path& work)
{
    namespace fs = std::filesystem;
    ReplayRun run;
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    if (!source) {
        run.skip = "TAVIX_SOURCE_DIR not set";
        return run;
    }
    if (recording.empty() || !fs::exists(recording)) {
        run.skip = "recording not found beside the project (../shared/testdata): " + recording.string();
        return run;
    }
    // The build folder holds this program in tests/ and the replay driver in standins/replay/.
    const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
    if (!fs::exists(build / "standins" / "replay" / "tavix-replay")) {
        run.skip = "tavix-replay not built in " + build.string();
        return run;
    }
    if (std::system("python3 -c '' > /dev/null 2>&1") != 0) {
        run.skip = "python3 not found";
        return run;
    }
    const fs::path out = work / "replay.txt";
    const std::string cmd = "TAVIX_BUILD_DIR='" + build.string() + "' python3 '" + source + "/scripts/replay' '" +
                            recording.string() + "' " + args + " --no-build --work '" + (work / "run").string() +
                            "' > '" + out.string() + "' 2>&1";
    run.status = std::system(cmd.c_str());
    run.text = readFile(out);
    EXPECT_EQ(run.status, 0) << run.text;
    return run;
}

}  // namespace tvxtest
