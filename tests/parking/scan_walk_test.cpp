// The add-on airport scan's driver: path filters, root checks, the walk with its worker tasks and
// failures, the whole scan with its log and setting, and the TBLO pass.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "foundation/settings.h"
#include "foundation/task_gate.h"
#include "frame/exit_request.h"
#include "frame/server_files.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "liveries/packages.h"
#include "parking/addon_scan.h"
#include "parking/archive_links.h"
#include "support/bgl_builder.h"
#include "support/bgl_scan_fixture.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

void writeAirport(const fs::path& file, const std::string& icao, const tvxtest::BglLayout& layout = {})
{
    tvxtest::BglAirport a;
    a.icao = icao;
    a.parking = {tvxtest::BglParkingEntry{}};
    tvxtest::writeBgl(file, tvxtest::buildAirportBgl({a}, layout).file.bytes());
}

fs::path thirdparty(const tvxtest::ScanSandbox& box, const std::string& name)
{
    return box.path() / "airports" / "my_thirdparty" / name;
}

// A generated third-party file as the scan writes it, with the publisher texts given.
void writeGenerated(const fs::path& file, const std::string& publisher, const std::string& creator)
{
    tvxtest::writeFile(file, "<parameters><parameter name=\"publisher\" value=\"" + publisher +
                                 "\"/><parameter name=\"creator\" value=\"" + creator +
                                 "\"/></parameters><parkpositions/>");
}

// The maker's stock file of the code, served from a file:// server in the sandbox.
void serveStock(const tvxtest::ScanSandbox& box, const std::string& code, int qfReal)
{
    tvxtest::writeFile(box.path() / "server" / "MSFS" / "archive" / "stock" / (code + ".xml"),
                       "<parameters><parameter name=\"Qf_real\" value=\"" + std::to_string(qfReal) +
                           "\"/></parameters>");
}

// Restores the globals a scan test changes outside the sandbox.
struct ScanGlobals {
    ScanGlobals() : server(g_serverBaseUrl), path2020(g_installPath2020), path2024(g_installPath2024) {}
    ~ScanGlobals()
    {
        g_serverBaseUrl = server;
        g_installPath2020 = path2020;
        g_installPath2024 = path2024;
        g_exitRequested = false;
        gf_initTaskGate();
        gf_clearStatusLine();
    }
    std::string server;
    fs::path path2020;
    fs::path path2024;
};

}  // namespace

TEST(ScanFilters, SkippedPathsAndBglExtensions)
{
    const std::pair<std::string, bool> paths[] = {
        {"C:\\Community\\flytampa-eham\\scenery", false},
        {"C:\\Community\\fsltl-traffic-base", true},
        {"C:\\Official\\OneStore\\fs-base-genericairports", true},
        {"C:\\Community\\x\\SimObjects\\Airplanes", false},  // case-sensitive
        {"C:\\Community\\x\\simobjects", true},
        {"C:\\Community\\aig-aitraffic-oci", true},
        {"C:\\Community\\gsx-pro-eham", true},
        {"C:\\Official\\OneStore\\asobo-landingchallenge-x", true},
        {"C:\\Community\\asobo-discovery-x", true},
        {std::string(249, 'a'), false},
        {std::string(250, 'a'), true},
    };
    for (const auto& [path, skipped] : paths)
        EXPECT_EQ(lf_isSkippedScanPath(path), skipped) << path;

    const std::pair<std::string, bool> extensions[] = {
        {".bgl", true}, {".BGL", true}, {".Bgl", false}, {".bGL", false}, {".bg", false}, {"", false}};
    for (const auto& [extension, taken] : extensions)
        EXPECT_EQ(lf_isBglExtension(extension), taken) << extension;
}

TEST(ScanWalk, RootsThatAreNotFolders)
{
    tvxtest::ScanSandbox box;
    ScanGlobals globals;
    tvxtest::writeFile(box.path() / "file.txt", "x");
    lf_scanAirportRoot((box.path() / "file.txt").string());
    EXPECT_EQ(gf_statusLineText(), (box.path() / "file.txt").string() + " is not a folder name, skipped!");
    lf_scanAirportRoot((box.path() / "missing").string());
    EXPECT_EQ(gf_statusLineText(), (box.path() / "missing").string() + " does not exist, skipped!");
    EXPECT_NE(box.logText().find(" is not a folder name, skipped!"), std::string::npos);
    EXPECT_NE(box.logText().find(" does not exist, skipped!"), std::string::npos);
    lf_scanAirportRoot("");
    EXPECT_TRUE(box.messages().empty());
}

TEST(ScanWalk, WalkDecodesOnlyAirportFilesItMayEnter)
{
    tvxtest::ScanSandbox box;
    ScanGlobals globals;
    gf_setTaskGateLimit(1);  // the walk waits for the oldest task after each start
    const fs::path root = box.path() / "Community";
    writeAirport(root / "pkg-a" / "scenery" / "a.bgl", "EGTK");
    writeAirport(root / "pkg-e" / "scenery" / "e.BGL", "EDDM");
    writeAirport(root / "fsltl-traffic" / "scenery" / "b.bgl", "LOWW");
    writeAirport(root / "pkg-c" / "AFCAD Updates" / "c.bgl", "LOWI");
    writeAirport(root / "pkg-d" / "scenery" / "d.Bgl", "EDDF");
    writeAirport(root / "pkg-f" / "statics" / "f.bgl", "EDDH");
    writeAirport(root / "pkg-h" / "x_heliports" / "h.bgl", "EDDK");
    tvxtest::BglLayout scenery;
    scenery.sectionType = 0x65;
    writeAirport(root / "pkg-g" / "scenery" / "g.bgl", "EDDL", scenery);

    lf_walkAirportFolder(root);

    EXPECT_TRUE(fs::exists(thirdparty(box, "EGTK.xml")));
    EXPECT_TRUE(fs::exists(thirdparty(box, "EDDM.xml")));
    for (const char* code : {"LOWW", "LOWI", "EDDF", "EDDH", "EDDK", "EDDL"})
        EXPECT_FALSE(fs::exists(thirdparty(box, std::string(code) + ".xml"))) << code;
    EXPECT_EQ(box.messages().front(), "Scanning for addon airports in " + root.string());
    EXPECT_FALSE(box.hasMessage("fsltl"));  // never entered, so never asked for a publisher
    EXPECT_EQ(gf_taskGateCount(), 0u);
}

TEST(ScanWalk, FailingTasksAreReportedAndTheWalkGoesOn)
{
    tvxtest::ScanSandbox box;
    ScanGlobals globals;
    gf_setTaskGateLimit(1);
    const fs::path root = box.path() / "Community";
    tvxtest::BglAirport a;
    a.parking = {tvxtest::BglParkingEntry{}};
    tvxtest::BglBytes damaged = tvxtest::buildAirportBgl({a}).file;
    damaged.patchU32(56 + 20 + 8, 0x7FFFFFF0u);  // subsection data beyond the file
    tvxtest::writeBgl(root / "pkg-a" / "a.bgl", damaged.bytes());
    tvxtest::writeBgl(root / "pkg-b" / "b.bgl", damaged.bytes());
    writeAirport(root / "pkg-c" / "c.bgl", "LOWW");

    lf_walkAirportFolder(root);

    EXPECT_TRUE(fs::exists(thirdparty(box, "LOWW.xml")));
    const auto messages = box.messages();
    const auto failures = std::count_if(messages.begin(), messages.end(), [](const std::string& m) {
        return m.starts_with("===>  airports search") && m.find("futs") != std::string::npos &&
               m.find("lies beyond the") != std::string::npos;
    });
    EXPECT_EQ(failures, 2);
    EXPECT_NE(box.logText().find("===> Exception in lf_toParkingPositions: " + (root / "pkg-a" / "a.bgl").string()),
              std::string::npos);
    EXPECT_EQ(gf_taskGateCount(), 0u);
}

TEST(ScanWalk, ManyFilesInParallel)
{
    tvxtest::ScanSandbox box;
    ScanGlobals globals;
    gf_setTaskGateLimit(4);
    const fs::path root = box.path() / "Community";
    std::vector<std::string> codes;
    for (char c = 'A'; c <= 'L'; ++c) {
        codes.push_back(std::string("EG") + c + "X");
        writeAirport(root / ("pkg-" + codes.back()) / "scenery" / "ap.bgl", codes.back());
    }
    // Two files of one airport: decoded side by side, one complete file remains.
    writeAirport(root / "pkg-twin1" / "ap.bgl", "LOWW");
    writeAirport(root / "pkg-twin2" / "ap.bgl", "LOWW");

    lf_walkAirportFolder(root);

    for (const std::string& code : codes)
        EXPECT_TRUE(fs::exists(thirdparty(box, code + ".xml"))) << code;
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(thirdparty(box, "LOWW.xml").c_str()));
    const auto messages = box.messages();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string& m) { return m.starts_with("Generated "); }),
              14);
    EXPECT_EQ(gf_taskGateCount(), 0u);
}

TEST(ScanWalk, ExitRequestStopsTakingFiles)
{
    tvxtest::ScanSandbox box;
    ScanGlobals globals;
    writeAirport(box.path() / "Community" / "pkg-a" / "a.bgl", "EGTK");
    g_exitRequested = true;
    lf_walkAirportFolder(box.path() / "Community");
    EXPECT_FALSE(fs::exists(thirdparty(box, "EGTK.xml")));
}

TEST(ScanWhole, Scan2020WritesLogFilesAndSwitchesItselfOff)
{
    tvxtest::ScanSandbox box;
    ScanGlobals globals;
    g_serverBaseUrl = "file://" + (box.path() / "server").string() + "/";
    g_installPath2020 = box.path() / "packages";
    serveStock(box, "EGTK", 60);
    const fs::path community = box.path() / "packages" / "Community";
    writeAirport(community / "oxford" / "scenery" / "egtk.bgl", "EGTK");
    tvxtest::writeFile(community / "oxford" / "manifest.json", R"({"title":"Oxford","creator":"Benjwri"})");
    writeAirport(box.path() / "packages" / "Official" / "OneStore" / "asobo-airport-lfpg" / "lfpg.bgl", "LFPG");
    tvxtest::writeFile(box.path() / "airports" / "my_simaddon" / "OLD.xml", "stale");
    tvxtest::writeFile(thirdparty(box, "OLD.txt"), "stale");
    tvxtest::writeFile(box.path() / "TBLO" / "OLD.xml", "stale");
    g_optScanAirports.set(true);

    gf_scanAddonAirports();

    EXPECT_FALSE(g_optScanAirports.value());
    EXPECT_NE(tvxtest::readFile(box.path() / "parameters.xml").find(R"(name="SCAN_AIRPORTS" value="false")"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(box.path() / "airports" / "my_simaddon" / "OLD.xml"));
    EXPECT_FALSE(fs::exists(thirdparty(box, "OLD.txt")));
    EXPECT_TRUE(fs::exists(box.path() / "airports" / "my_simaddon" / "LFPG.xml"));
    EXPECT_TRUE(fs::exists(thirdparty(box, "EGTK.xml")));

    const std::string log = box.logText();
    EXPECT_NE(log.find("\n++++++++++++++++++++++++ airports scan  starts +++++++++++++++++++++++++++++"),
              std::string::npos);
    EXPECT_NE(log.find((fs::path("output") / "info" / "AirportsScanLog.txt").string() + " written"), std::string::npos);
    EXPECT_NE(log.find("Airports scan successful"), std::string::npos);
    EXPECT_NE(log.find("-------------------------- airports scan ends    ----------------------------\n"),
              std::string::npos);
    EXPECT_EQ(log.find("Warning: Scan has not found"), std::string::npos);

    // Official is walked before Community; the log holds every message of the walk.
    const std::string scanLog = tvxtest::readFile(box.path() / "output" / "info" / "AirportsScanLog.txt");
    const auto official = scanLog.find("Scanning for addon airports in " + (box.path() / "packages" / "Official").string());
    const auto communityLine = scanLog.find("Scanning for addon airports in " + community.string());
    ASSERT_NE(official, std::string::npos);
    ASSERT_NE(communityLine, std::string::npos);
    EXPECT_LT(official, communityLine);
    EXPECT_NE(scanLog.find("Generated EGTK.xml: 1 position\n"), std::string::npos);
    EXPECT_NE(scanLog.find("LFPG does not exist as simaddon"), std::string::npos);
    EXPECT_TRUE(box.messages().empty());

    // The generated third-party file needs offline learning: copied to TBLO, kept (no link).
    EXPECT_EQ(tvxtest::readFile(box.path() / "TBLO" / "EGTK.xml"), tvxtest::readFile(thirdparty(box, "EGTK.xml")));
    EXPECT_FALSE(fs::exists(box.path() / "TBLO" / "OLD.xml"));
    EXPECT_EQ(g_tbloCount.load(), 1);
    EXPECT_NE(log.find("EGTK copied to " + (fs::path("TBLO") / "EGTK.xml").string()), std::string::npos);
    EXPECT_NE(log.find("===> Please zip the folder \"TBLO\""), std::string::npos);
    EXPECT_EQ(gf_paintedValues().tbloText, "1 airport in TBLO folder");
    EXPECT_TRUE(g_airportNames.empty());
}

TEST(ScanWhole, Scan2024ThatFindsNothing)
{
    tvxtest::ScanSandbox box;
    ScanGlobals globals;
    g_optMsfs2020.set(false);
    g_installPath2024 = box.path() / "packages24";
    fs::create_directories(box.path() / "packages24" / "Community" / "empty");
    tvxtest::writeFile(box.path() / "airports" / "my_simaddon" / "KEEP.xml", "kept");
    g_optScanAirports.set(true);

    gf_scanAddonAirports();

    EXPECT_FALSE(g_optScanAirports.value());
    EXPECT_TRUE(fs::exists(box.path() / "airports" / "my_simaddon" / "KEEP.xml"));
    EXPECT_FALSE(fs::exists(box.path() / "TBLO"));
    const std::string log = box.logText();
    EXPECT_NE(log.find("Warning: Scan has not found any add-on airports"), std::string::npos);
    EXPECT_NE(log.find("All your third party airports are done, no off line learning needed."), std::string::npos);
    EXPECT_EQ(log.find("Airports scan successful"), std::string::npos);
    EXPECT_EQ(gf_paintedValues().tbloText, "");
}

TEST(ScanTblo, PassCopiesOnlyWhatNeedsLearning)
{
    tvxtest::ScanSandbox box;
    ScanGlobals globals;
    g_serverBaseUrl = "file://" + (box.path() / "server").string() + "/";
    serveStock(box, "EGTK", 60);
    serveStock(box, "EGLL", 60);
    serveStock(box, "EDDF", -1);  // stock file without quality factors: not suitable
    writeGenerated(thirdparty(box, "EGTK.xml"), "unknown", "Benjwri");
    tvxtest::writeFile(thirdparty(box, "EGTK.txt"), "archive/thirdparty/x/EGTK.xml\n");
    writeGenerated(thirdparty(box, "EGLL.xml"), "unknown", "X");  // publisher still to be told
    writeGenerated(thirdparty(box, "EDDF.xml"), "unknown", "Benjwri");
    writeGenerated(thirdparty(box, "KMCI.xml"), "TropicalSim", "");
    writeGenerated(thirdparty(box, "LONGER.xml"), "unknown", "Benjwri");

    lf_tbloPass();

    // Copied, and with a link beside it the generated copy goes.
    EXPECT_TRUE(fs::exists(box.path() / "TBLO" / "EGTK.xml"));
    EXPECT_FALSE(fs::exists(thirdparty(box, "EGTK.xml")));
    EXPECT_FALSE(fs::exists(box.path() / "TBLO" / "EGLL.xml"));
    EXPECT_TRUE(fs::exists(thirdparty(box, "EGLL.xml")));
    EXPECT_FALSE(fs::exists(box.path() / "TBLO" / "EDDF.xml"));
    EXPECT_FALSE(fs::exists(thirdparty(box, "KMCI.xml")));
    EXPECT_FALSE(fs::exists(box.path() / "TBLO" / "LONGER.xml"));
    EXPECT_EQ(g_tbloCount.load(), 1);
}
