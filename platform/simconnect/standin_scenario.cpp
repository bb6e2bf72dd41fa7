// Demo set-up of the stand-in simulator: the defaults of a run without a scenario, the scenario
// file (JSON, named by TAVIX_SIM_SCENARIO) and the trace files written into TAVIX_SIM_TRACE_DIR.
//
// Scenario file, every member optional:
//   {
//     "app":      {"name": "KittyHawk", "version": [1, 0, 0, 0]},   // or "version": "1.0.0.0"
//     "fps":      30,
//     "flight":   "running" | "menu" | 5,       // a number: seconds until the flight starts
//     "user":     {"lat": 50.0333, "lon": 8.5706, "altFt": 364, "headingDeg": 250,
//                  "onGround": true, "title": "...", "model": "A20N", "atcId": "D-USER"},
//     "userPath": [{"lat": .., "lon": .., "altFt": .., "seconds": 0}, ...],  // linear in between
//     "terrainFt": 364,                          // constant terrain elevation, or
//     "terrainFields": [{"lat": .., "lon": .., "elevFt": ..}, ...],  // the nearest field's elevation
//     "titles":   "any" | ["Title A", {"title": "Title B", "cgFt": 9.5, "pitchRad": -0.02,
//                                       "type": "aircraft" | "helicopter", "model": "B738"}],
//     "refused":  ["Title C"],
//     "failures": {"opens": 2, "quitAfterSeconds": 600}
//   }
// A member of the wrong type is an error naming the file and the member; unknown members are
// kept as stand-in warnings. Defaults (no file): "KittyHawk" 1.0.0.0 at 30 fps, free-running, the
// flight running after 5 s, the user parked at Frankfurt (50.0333, 8.5706, 364 ft, terrain 364 ft),
// every title accepted.
//
// Runs with World::mutex held, on the thread of the first SimConnect call or a control call.
#ifndef TAVIX_SIM_SDK  // the vendor library answers instead
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "simconnect/standin_world.h"

namespace simstandin {

namespace {

using nlohmann::json;

struct ScenarioReader {
    const std::string& path;

    [[noreturn]] void fail(const std::string& member, const std::string& what) const
    {
        throw std::runtime_error(fmt::format("scenario {}: member \"{}\": {}", path, member, what));
    }
    double number(const json& j, const std::string& member) const
    {
        if (!j.is_number())
            fail(member, "expected a number");
        return j.get<double>();
    }
    bool boolean(const json& j, const std::string& member) const
    {
        if (!j.is_boolean())
            fail(member, "expected true or false");
        return j.get<bool>();
    }
    std::string text(const json& j, const std::string& member) const
    {
        if (!j.is_string())
            fail(member, "expected a text");
        return j.get<std::string>();
    }
    const json& object(const json& j, const std::string& member) const
    {
        if (!j.is_object())
            fail(member, "expected an object");
        return j;
    }
    const json& array(const json& j, const std::string& member) const
    {
        if (!j.is_array())
            fail(member, "expected a list");
        return j;
    }
};

void lf_readApp(World& w, const ScenarioReader& r, const json& app)
{
    r.object(app, "app");
    if (app.contains("name"))
        w.cfg.appName = r.text(app["name"], "app.name");
    if (!app.contains("version"))
        return;
    const json& v = app["version"];
    std::array<std::uint32_t, 4> parts{0, 0, 0, 0};
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (std::sscanf(s.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) < 1)
            r.fail("app.version", "expected \"major.minor.build.revision\"");
        parts = {a, b, c, d};
    } else {
        r.array(v, "app.version");
        if (v.size() > 4)
            r.fail("app.version", "more than four numbers");
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double n = r.number(v[i], fmt::format("app.version[{}]", i));
            if (n < 0 || n > 4294967295.0)
                r.fail("app.version", "numbers must lie in 0..4294967295");
            parts[i] = static_cast<std::uint32_t>(n);
        }
    }
    w.cfg.appVersion = parts;
}

void lf_readUser(World& w, const ScenarioReader& r, const json& u)
{
    r.object(u, "user");
    constexpr double kRadPerDeg = 3.14159265358979323846 / 180.0;
    for (const auto& [key, value] : u.items()) {
        const std::string m = "user." + key;
        if (key == "lat")
            w.user.pos.latDeg = r.number(value, m);
        else if (key == "lon")
            w.user.pos.lonDeg = r.number(value, m);
        else if (key == "altFt")
            w.user.pos.altFt = r.number(value, m);
        else if (key == "headingDeg")
            w.user.headingRad = r.number(value, m) * kRadPerDeg;
        else if (key == "onGround")
            w.user.onGround = r.boolean(value, m);
        else if (key == "title")
            w.user.title = r.text(value, m);
        else if (key == "model")
            w.user.atcModel = r.text(value, m);
        else if (key == "atcId")
            w.user.atcId = r.text(value, m);
        else if (key == "groundSpeedKt")
            w.user.groundSpeedKt = r.number(value, m);
        else
            w.warning(fmt::format("scenario {}: unknown member \"{}\" ignored", r.path, m));
    }
    if (std::fabs(w.user.pos.latDeg) > 90 || std::fabs(w.user.pos.lonDeg) > 180)
        r.fail("user", "position outside latitude +-90 / longitude +-180");
}

// The ground of a run over several airports: at every point the elevation of the nearest field
// (by the flat-earth distance, scaled by the cosine of the latitude), as a simulator's ground
// lies at its airports' elevation around them.
void lf_readTerrainFields(World& w, const ScenarioReader& r, const json& t)
{
    struct Field {
        double lat, lon, elevFt;
    };
    r.array(t, "terrainFields");
    if (t.empty())
        r.fail("terrainFields", "expected at least one field");
    std::vector<Field> fields;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::string m = fmt::format("terrainFields[{}]", i);
        const json& f = r.object(t[i], m);
        for (const char* need : {"lat", "lon", "elevFt"})
            if (!f.contains(need))
                r.fail(m, fmt::format("missing \"{}\"", need));
        const Field field{r.number(f["lat"], m + ".lat"), r.number(f["lon"], m + ".lon"),
                          r.number(f["elevFt"], m + ".elevFt")};
        if (std::fabs(field.lat) > 90 || std::fabs(field.lon) > 180)
            r.fail(m, "position outside latitude +-90 / longitude +-180");
        fields.push_back(field);
    }
    w.terrain = [fields = std::move(fields)](double lat, double lon) {
        const double scale = std::cos(lat * 3.14159265358979323846 / 180.0);
        double best = 1e300;
        double elevation = fields.front().elevFt;
        for (const Field& f : fields) {
            double dLon = std::fabs(f.lon - lon);
            if (dLon > 180)
                dLon = 360 - dLon;
            const double d = (f.lat - lat) * (f.lat - lat) + dLon * dLon * scale * scale;
            if (d < best) {
                best = d;
                elevation = f.elevFt;
            }
        }
        return elevation;
    };
}

void lf_readTitles(World& w, const ScenarioReader& r, const json& t)
{
    if (t.is_string()) {
        if (t.get<std::string>() != "any")
            r.fail("titles", "expected \"any\" or a list");
        w.cfg.acceptAnyTitle = true;
        return;
    }
    r.array(t, "titles");
    w.cfg.acceptAnyTitle = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::string m = fmt::format("titles[{}]", i);
        TitleInfo info;
        std::string title;
        if (t[i].is_string()) {
            title = t[i].get<std::string>();
        } else {
            r.object(t[i], m);
            if (!t[i].contains("title"))
                r.fail(m, "missing \"title\"");
            title = r.text(t[i]["title"], m + ".title");
            if (t[i].contains("cgFt"))
                info.staticCgFt = r.number(t[i]["cgFt"], m + ".cgFt");
            if (t[i].contains("pitchRad"))
                info.staticPitchRad = r.number(t[i]["pitchRad"], m + ".pitchRad");
            if (t[i].contains("model"))
                info.atcModel = r.text(t[i]["model"], m + ".model");
            if (t[i].contains("type")) {
                const std::string type = r.text(t[i]["type"], m + ".type");
                if (type == "aircraft")
                    info.type = ObjType::Aircraft;
                else if (type == "helicopter")
                    info.type = ObjType::Helicopter;
                else
                    r.fail(m + ".type", "expected \"aircraft\" or \"helicopter\"");
            }
        }
        if (title.empty())
            r.fail(m, "empty title");
        const std::string key = gf_upper(title);
        w.titles[key] = info;
        w.titleSpelling[key] = title;
    }
}

}  // namespace

void gf_demoDefaultsLocked(World& w)
{
    w.user = UserAc{};
    w.user.pos = Geo{50.0333, 8.5706, 364.0};
    w.user.onGround = true;
    w.terrain = [](double, double) { return 364.0; };
    w.flightRunning = false;
    w.flightStartsAt = 5.0;
    w.cfg.acceptAnyTitle = true;
}

void gf_loadScenarioLocked(World& w, const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(fmt::format("scenario {}: cannot be read", path));
    json j;
    try {
        j = json::parse(in);
    } catch (const json::parse_error& e) {
        throw std::runtime_error(fmt::format("scenario {}: not JSON: {}", path, e.what()));
    }
    const ScenarioReader r{path};
    r.object(j, "(top level)");
    for (const auto& [key, value] : j.items()) {
        if (key == "app") {
            lf_readApp(w, r, value);
        } else if (key == "fps") {
            const double fps = r.number(value, "fps");
            if (!(fps > 0 && fps <= 1000))
                r.fail("fps", "expected a rate in (0, 1000]");
            w.setFpsLocked(static_cast<float>(fps));
            w.cfg.fps = static_cast<float>(fps);
        } else if (key == "flight") {
            if (value.is_number()) {
                const double s = value.get<double>();
                if (s < 0)
                    r.fail("flight", "seconds until the start must not be negative");
                w.flightRunning = false;
                w.flightStartsAt = w.simSeconds() + s;
            } else {
                const std::string state = r.text(value, "flight");
                if (state != "running" && state != "menu")
                    r.fail("flight", "expected \"running\", \"menu\" or seconds until the start");
                w.flightRunning = state == "running";
                w.flightStartsAt.reset();
            }
        } else if (key == "user") {
            lf_readUser(w, r, value);
        } else if (key == "userPath") {
            r.array(value, "userPath");
            std::vector<std::pair<double, Geo>> path;
            double last = -1;
            for (std::size_t i = 0; i < value.size(); ++i) {
                const std::string m = fmt::format("userPath[{}]", i);
                const json& p = r.object(value[i], m);
                for (const char* need : {"lat", "lon", "altFt", "seconds"})
                    if (!p.contains(need))
                        r.fail(m, fmt::format("missing \"{}\"", need));
                const double t = r.number(p["seconds"], m + ".seconds");
                if (t < last)
                    r.fail(m + ".seconds", "times must not decrease");
                last = t;
                path.emplace_back(t, Geo{r.number(p["lat"], m + ".lat"), r.number(p["lon"], m + ".lon"),
                                         r.number(p["altFt"], m + ".altFt")});
            }
            w.userPath = std::move(path);
            w.userPathStart = w.simSeconds();
        } else if (key == "terrainFt") {
            if (j.contains("terrainFields"))
                r.fail("terrainFt", "give \"terrainFt\" or \"terrainFields\", not both");
            const double elevation = r.number(value, "terrainFt");
            w.terrain = [elevation](double, double) { return elevation; };
        } else if (key == "terrainFields") {
            lf_readTerrainFields(w, r, value);
        } else if (key == "titles") {
            lf_readTitles(w, r, value);
        } else if (key == "refused") {
            r.array(value, "refused");
            for (std::size_t i = 0; i < value.size(); ++i)
                w.refused.push_back(gf_upper(r.text(value[i], fmt::format("refused[{}]", i))));
        } else if (key == "failures") {
            r.object(value, "failures");
            if (value.contains("opens")) {
                const double n = r.number(value["opens"], "failures.opens");
                if (n < 0 || n > 1e6)
                    r.fail("failures.opens", "expected a count 0..1000000");
                w.opensToFail = static_cast<int>(n);
            }
            if (value.contains("quitAfterSeconds")) {
                const double s = r.number(value["quitAfterSeconds"], "failures.quitAfterSeconds");
                if (s < 0)
                    r.fail("failures.quitAfterSeconds", "must not be negative");
                w.quitAt = w.simSeconds() + s;
            }
        } else {
            w.warning(fmt::format("scenario {}: unknown member \"{}\" ignored", path, key));
        }
    }
}

void World::writeTraceLocked(const std::string& folder)
{
    namespace fs = std::filesystem;
    if (positionLog)
        positionLog->flush();
    fs::create_directories(folder);
    {
        std::ofstream out(fs::path(folder) / "sim-world.txt", std::ios::trunc);
        out << fmt::format("frame {} sim {:.2f} s, flight {}, user {:.6f},{:.6f} {:.0f} ft\n", frame, simSeconds(),
                           flightRunning ? "running" : "menu", userPos().latDeg, userPos().lonDeg, userPos().altFt);
        for (const auto& [id, o] : objects) {
            const Lights& l = o.lights;
            out << fmt::format("{} \"{}\" atc \"{}\" {:.6f},{:.6f} {:.0f} ft hdg {:.3f} rad lights {}{}{}{}{}{}{} "
                               "flaps {} gear {} engines {} plan {}\n",
                               id, o.title, o.atcId, o.lat, o.lon, o.alt, o.heading, l.nav ? 'N' : '-',
                               l.beacon ? 'B' : '-', l.landing ? 'L' : '-', l.taxi ? 'T' : '-',
                               l.strobes ? 'S' : '-', l.logo ? 'O' : '-', l.cabin ? 'C' : '-', o.flaps,
                               o.gearDown ? "down" : "up", o.enginesRunning ? "on" : "off",
                               o.plan ? o.plan->departure + "-" + o.plan->destination : std::string("-"));
        }
        if (!out)
            throw std::runtime_error(fmt::format("trace {}: cannot write sim-world.txt", folder));
    }
    {
        // The stand-in's own CPU time (see CpuMeter), for the demo's summary.
        std::ofstream cpu(fs::path(folder) / "sim-cpu.txt", std::ios::trunc);
        cpu << fmt::format("{:.3f}\n", static_cast<double>(cpuNanoseconds.load()) / 1e9);
    }
    // The run's own trace folder gets the samples since its last write appended (a rewrite of the
    // whole ring every 10 s costs more the longer the run); another folder gets the whole ring.
    const bool append = folder == traceDir && sampledFileStarted;
    std::ofstream csv(fs::path(folder) / "sim-positions.csv", append ? std::ios::app : std::ios::trunc);
    if (!append)
        csv << "frame,object,lat,lon,alt_ft,pitch_rad,bank_rad,heading_rad,vs_fps,tas_kt\n";
    const std::size_t fresh = append ? std::min<std::uint64_t>(sampledCount - sampledTraced, sampledPositions.size())
                                     : sampledPositions.size();
    fmt::memory_buffer text;
    for (auto p = sampledPositions.end() - static_cast<std::ptrdiff_t>(fresh); p != sampledPositions.end(); ++p)
        fmt::format_to(std::back_inserter(text), "{},{},{:.6f},{:.6f},{:.1f},{:.4f},{:.4f},{:.4f},{:.2f},{:.1f}\n",
                       p->frame, p->objectId, p->lat, p->lon, p->alt, p->pitch, p->bank, p->heading, p->vs, p->tas);
    csv.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (folder == traceDir) {
        sampledTraced = sampledCount;
        sampledFileStarted = true;
    }
    if (!csv)
        throw std::runtime_error(fmt::format("trace {}: cannot write sim-positions.csv", folder));
}

}  // namespace simstandin

#endif  // TAVIX_SIM_SDK
