// The livery scan over a package tree, LiveriesScanned.xml and the report files.
#include "liveries/livery_scan.h"

#include <gtest/gtest.h>

#include "foundation/log.h"
#include "liveries/aircraft_db.h"
#include "liveries/livery_tables.h"
#include "support/liveries_fixture.h"
#include "support/temp_folder.h"

namespace {

using tvxtest::CfgEncoding;
using tvxtest::CfgLivery;

class LiveryScanTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tvxtest::DbFixture::standard().load()); }
    void TearDown() override
    {
        gf_closeLog();
        gf_setLiveries({});
        gf_clearAircraftDb();
    }

    // Community: b-pack (B738, UTF-16), a-pack (A388 + a livery-only package of it), and a
    // package with a broken file; Official: one C172.
    void buildTree()
    {
        using tvxtest::aircraftCfgText;
        tvxtest::writePackageCfg(
            community, "b-pack", "B738_KLM",
            tvxtest::encodeCfg(aircraftCfgText("B738", {{"Test B738 KLM", "KLM", "KLM", "PH-BXA"},
                                                        {"Test B738 Cargo", "TAY", "", "OO-TNA"}}),
                               CfgEncoding::Utf16Le));
        tvxtest::writePackageCfg(community, "a-pack", "Big_A388",
                                 aircraftCfgText("A388", {{"A388 House", "", "", ""}}));
        tvxtest::writePackageCfg(community, "a-livery", "Big_A388-LIVERY",
                                 "[VARIATION]\nbase_container = \"..\\Big_A388\"\n"
                                 "[FLTSIM.0]\ntitle = \"A388 Emirates\" ; x\nicao_airline=UAE\n");
        tvxtest::writePackageCfg(community, "c-broken", "X", std::string("\xFF\xFE\x41", 3));
        tvxtest::writePackageCfg(community, "d-orphan", "Y",
                                 "[FLTSIM.0]\ntitle=\"No type anywhere\"\n");
        tvxtest::writePackageCfg(community, "e-dup", "Z",
                                 aircraftCfgText("B738", {{"Test B738 KLM", "KLM", "", ""}}));
        tvxtest::writePackageCfg(official, "asobo-aircraft-c172", "C172",
                                 aircraftCfgText("C172", {{"Cessna Skyhawk", "", "", "N172SP"}}));
        tvxtest::writeFile(community / "loose-file.txt", "not a package");
    }

    tvxtest::TempFolder folder;
    std::filesystem::path official = folder / "Official";
    std::filesystem::path community = folder / "Community";
};

TEST_F(LiveryScanTest, WalkOrderFolderOrderAndLiveryOnlyPackages)
{
    buildTree();
    ASSERT_TRUE(gf_openLog(folder.path(), "1.0"));
    std::size_t packages = 0;
    const auto files = gf_findAircraftCfgFiles({official, community}, &packages);
    EXPECT_EQ(packages, 7u);
    ASSERT_EQ(files.size(), 7u);
    EXPECT_EQ(files[0].folderOrder, 0u);  // Official first
    EXPECT_EQ(files[1].path.parent_path().filename(), "Big_A388-LIVERY");  // a-livery
    EXPECT_EQ(files[1].folderOrder, 1u);

    const LiveryScanStats stats = gf_scanLiveries({official, community});
    EXPECT_EQ(stats.files, 7u);
    EXPECT_EQ(stats.liveries, 5u);
    EXPECT_EQ(stats.withoutType, 1u);
    EXPECT_EQ(stats.duplicateTitles, 1u);
    EXPECT_EQ(stats.badFiles, 1u);

    const auto& table = gf_liveries();
    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table[0].title, "Cessna Skyhawk");
    EXPECT_EQ(table[1].title, "A388 Emirates");
    EXPECT_EQ(table[1].acType, "A388");  // from the base container's folder
    EXPECT_EQ(table[1].airline, "UAE");
    EXPECT_EQ(table[1].folderOrder, 1u);
    EXPECT_EQ(table[2].title, "A388 House");
    EXPECT_EQ(table[3].title, "Test B738 KLM");
    EXPECT_EQ(table[3].folderOrder, 3u);
    EXPECT_EQ(table[4].title, "Test B738 Cargo");
    EXPECT_EQ(table[4].cargo, 1);
    gf_closeLog();
    const std::string log = tvxtest::readFile(folder / "Log.txt");
    EXPECT_NE(log.find("Livery scan: 7 aircraft.cfg files in 7 packages, 5 liveries (1 without "
                       "aircraft type, 1 duplicate titles, 0 invalid titles, 1 files skipped)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("c-broken"), std::string::npos);
}

TEST_F(LiveryScanTest, ParallelReadingKeepsTheWalkOrder)
{
    // Enough files for several workers; the table still follows the walk order.
    for (int f = 0; f < 300; ++f)
        tvxtest::writePackageCfg(community, "pkg-" + std::to_string(100 + f / 30),
                                 "model-" + std::to_string(1000 + f),
                                 tvxtest::aircraftCfgText("B738", {{"L" + std::to_string(1000 + f), "KLM", "", ""}}));
    const LiveryScanStats stats = gf_scanLiveries({community});
    EXPECT_EQ(stats.packages, 10u);
    ASSERT_EQ(gf_liveries().size(), 300u);
    for (std::size_t i = 0; i < 300; ++i) {
        EXPECT_EQ(gf_liveries()[i].title, "L" + std::to_string(1000 + i));
        EXPECT_EQ(gf_liveries()[i].folderOrder, i / 30);
    }
}

TEST_F(LiveryScanTest, OfficialStoreFolderHoldsThePackages)
{
    tvxtest::writePackageCfg(official / "OneStore", "asobo-b", "B",
                             tvxtest::aircraftCfgText("B738", {{"Asobo B738", "", "", ""}}));
    tvxtest::writePackageCfg(official / "OneStore", "asobo-a", "A",
                             tvxtest::aircraftCfgText("A388", {{"Asobo A388", "", "", ""}}));
    std::size_t packages = 0;
    const auto files = gf_findAircraftCfgFiles({official}, &packages);
    EXPECT_EQ(packages, 2u);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].path.parent_path().filename(), "A");
    EXPECT_EQ(files[1].folderOrder, 1u);
}

TEST_F(LiveryScanTest, TitlesNeverMoveWhenANewTableIsSet)
{
    buildTree();
    gf_scanLiveries({community});
    // The view the matching hands out (the pooled title), not the table's own string.
    const std::string_view title = gf_findLiveryTitle(gf_liveries().front().title);
    ASSERT_FALSE(title.empty());
    const std::string copy(title);
    gf_scanLiveries({official});  // a rescan frees the first table
    gf_setLiveries({});
    EXPECT_EQ(title, copy);  // still readable (ASan would catch a dangling view)
    EXPECT_TRUE(gf_liveries().empty());
    // Rescanning the same packages pools no second copy of a title: memory stays flat.
    gf_scanLiveries({community});
    EXPECT_EQ(gf_findLiveryTitle(copy).data(), title.data());
}

TEST_F(LiveryScanTest, ScannedFileRoundTripAndReports)
{
    buildTree();
    gf_scanLiveries({official, community});
    const auto file = folder / "LiveriesScanned.xml";
    EXPECT_TRUE(gf_liveryScanDue(file, false, false));
    ASSERT_TRUE(gf_writeLiveriesScanned(file));
    EXPECT_FALSE(gf_liveryScanDue(file, false, false));
    EXPECT_TRUE(gf_liveryScanDue(file, true, false));
    EXPECT_TRUE(gf_liveryScanDue(file, false, true));
    const std::string xml = tvxtest::readFile(file);
    EXPECT_NE(xml.find("<meta>"), std::string::npos);
    EXPECT_NE(xml.find("<l airline=\"TAY\" type=\"B738\" title=\"Test B738 Cargo\" atcid=\"OO-TNA\" "
                       "order=\"3\" cargo=\"true\" />"),
              std::string::npos)
        << xml;

    const std::vector<LiveryData> before(gf_liveries().begin(), gf_liveries().end());
    gf_setLiveries({});
    ASSERT_TRUE(gf_readLiveriesScanned(file));
    ASSERT_EQ(gf_liveries().size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        const LiveryData& l = gf_liveries()[i];
        EXPECT_EQ(l.title, before[i].title);
        EXPECT_EQ(l.airline, before[i].airline);
        EXPECT_EQ(l.acType, before[i].acType);
        EXPECT_EQ(l.atcId, before[i].atcId);
        EXPECT_EQ(l.folderOrder, before[i].folderOrder);
        EXPECT_EQ(l.cargo, before[i].cargo);
    }

    ASSERT_TRUE(gf_writeLiveryReports(folder / "output" / "info"));
    EXPECT_EQ(tvxtest::readFile(folder / "output" / "info" / "LiveriesByType.txt"),
              "A388     A388 House\n"
              "A388 UAE A388 Emirates\n"
              "B738 KLM Test B738 KLM\n"
              "B738 TAY Test B738 Cargo\n"
              "C172     Cessna Skyhawk\n");
    EXPECT_EQ(tvxtest::readFile(folder / "output" / "info" / "LiveriesNoAirline.txt"),
              "A388 A388 House\n"
              "C172 Cessna Skyhawk\n");
}

TEST_F(LiveryScanTest, StartUpReadsTheScannedFileUnlessAScanIsDue)
{
    buildTree();
    const auto file = folder / "LiveriesScanned.xml";
    const auto info = folder / "output" / "info";
    EXPECT_EQ(gf_loadOrScanLiveries({official, community}, file, info, false, false), 5u);  // no file yet
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_TRUE(std::filesystem::exists(info / "LiveriesByType.txt"));
    // A new package is seen only by a scan: after a version update or on the user's request.
    tvxtest::writePackageCfg(community, "f-new", "N",
                             tvxtest::aircraftCfgText("A388", {{"New A388", "UAE", "", ""}}));
    EXPECT_EQ(gf_loadOrScanLiveries({official, community}, file, info, false, false), 5u);
    EXPECT_EQ(gf_loadOrScanLiveries({official, community}, file, info, true, false), 6u);
    tvxtest::writeFile(file, "broken");
    EXPECT_EQ(gf_loadOrScanLiveries({official, community}, file, info, false, false), 6u);  // rescanned
    EXPECT_NE(tvxtest::readFile(file).find("New A388"), std::string::npos);
}

TEST_F(LiveryScanTest, DamagedScannedFile)
{
    ASSERT_TRUE(gf_openLog(folder.path(), "1.0"));
    const auto file = folder / "LiveriesScanned.xml";
    tvxtest::writeFile(file, "<liveries><l type=\"B738\" title=\"Good\"/><l type=\"B738\"/>"
                             "<l title=\"no type\"/><l type=\"B738\" title=\"Good\"/>"
                             "<l type=\"B738\" title=\"bad \xC3\x28\"/></liveries>");
    ASSERT_TRUE(gf_readLiveriesScanned(file));
    ASSERT_EQ(gf_liveries().size(), 1u);
    EXPECT_EQ(gf_liveries()[0].title, "Good");
    tvxtest::writeFile(file, "<liveries><l");
    EXPECT_FALSE(gf_readLiveriesScanned(file));
    tvxtest::writeFile(file, "<meta/><liveries/>");  // a scan that found nothing is not trusted
    EXPECT_FALSE(gf_readLiveriesScanned(file));
    gf_closeLog();
    const std::string log = tvxtest::readFile(folder / "Log.txt");
    EXPECT_NE(log.find("4 malformed liveries skipped"), std::string::npos) << log;
    EXPECT_NE(log.find("LiveriesScanned.xml not read"), std::string::npos) << log;
    EXPECT_NE(log.find("LiveriesScanned.xml holds no liveries"), std::string::npos) << log;
}

TEST_F(LiveryScanTest, RealPackageFiles)
{
    const auto testdata = tvxtest::sharedTestdata();
    if (testdata.empty())
        GTEST_SKIP() << "shared/testdata not present beside the project (TAVIX_SOURCE_DIR)";
    const auto src = testdata / "msfs_aircraft_cfg" / "flybywire";
    // The real files placed as the packages hold them: the 2020 model, its 2024 preset and a
    // livery-only package whose base model is not installed.
    tvxtest::writePackageCfg(community, "fbw-a380", "FlyByWire_A380_842",
                             tvxtest::readFile(src / "A380_842_2020_aircraft.cfg"));
    tvxtest::writeFile(community / "fbw-a380x" / "presets" / "flybywire" / "FlyByWire_A380_842" /
                           "config" / "aircraft.cfg",
                       tvxtest::readFile(src / "A380X_2024_preset_aircraft.cfg"));
    tvxtest::writePackageCfg(community, "fbw-a32nx", "Asobo_A320_NEO-LIVERY",
                             tvxtest::readFile(src / "A32NX_Asobo_A320_NEO-LIVERY_aircraft.cfg"));
    const LiveryScanStats stats = gf_scanLiveries({community});
    EXPECT_EQ(stats.files, 3u);
    EXPECT_EQ(stats.liveries, 2u);
    EXPECT_EQ(stats.withoutType, 1u);  // the A320 base model is not installed
    ASSERT_EQ(gf_liveries().size(), 2u);
    EXPECT_EQ(gf_liveries()[0].title, "FlyByWire A380X");
    EXPECT_EQ(gf_liveries()[1].title, "FlyByWire A380X (A380-842)");
    EXPECT_EQ(gf_liveries()[1].acType, "A388");  // the preset takes its model folder's type
}

}  // namespace
