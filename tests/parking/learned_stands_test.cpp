// Learned stands: the merge of a learned file into the parking file's stands (changed radius and
// cargo flag, options with duplicates dropped, manual stands), the hand-made replacement, the
// damaged-file copy, the settings taken back, and the offline-learning test of stock files.
#include "parking/learned_stands.h"

#include <gtest/gtest.h>

#include "foundation/data_folders.h"
#include "foundation/settings.h"
#include "frame/server_files.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "model/airport_list.h"
#include "parking/learned_save.h"
#include "parking/park_read.h"
#include "parking/parking_file.h"
#include "simulator/user_aircraft.h"
#include "support/apf_files.h"
#include "support/app_sandbox.h"
#include "support/full_disk_folder.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const std::string kText = (fs::path("airports") / "my_thirdparty" / "EHAM.xml").string();
const std::string kLearned = "airports\\learned\\thirdparty\\P\\EHAM.xml";

ParkPosOption lf_option(std::uint32_t weekday, std::uint32_t real, std::string reg, std::string airline,
                        std::string type, std::initializer_list<int> slots)
{
    ParkPosOption o;
    o.weekday = weekday;
    o.real = real;
    o.registration = std::move(reg);
    o.airline = std::move(airline);
    o.type = std::move(type);
    for (int s : slots)
        o.slots.set(static_cast<std::size_t>(s));
    return o;
}

class LearnedStands : public ::testing::Test {
protected:
    void SetUp() override
    {
        lf_reset();
        ASSERT_TRUE(gf_prepareDataFolders());
        g_parkAirport = AirportEntry{"EHAM", "AMS", 52.3, 4.76, -11.0};
        // The parking file: two stands, A1 with one option.
        tvxtest::ApfFixture apf = tvxtest::ApfFixture::stock("Schiphol", "P", -11);
        apf.addStand("A1", 52.30, 4.76, 90.0, 30.0)
            .options.push_back({{"airl", "KLM"}, {"type", "B738"}, {"day", "1"}, {"hh", "12,13"}});
        apf.addStand("A2", 52.31, 4.77, 180.0, 25.0).attributes.push_back({"cargo", "false"});
        apf.write(kText);
    }
    void TearDown() override { lf_reset(); }
    static void lf_reset()
    {
        g_parkPositions.clear();
        g_handmadeOverruled.store(false);
        g_apfLoaded.store(false);
        g_parkAirport = AirportEntry{};
    }
    // A learned file with the given parameters and stands at the learned path.
    static tvxtest::ApfFixture learnedFile(const std::string& airportName = "Schiphol")
    {
        tvxtest::ApfFixture f;
        f.parameters = {{"airport_name", airportName}, {"publisher", "P"}};
        return f;
    }
    std::string readApf(QualityPair* qualityOut = nullptr)
    {
        ApfHeader header;
        QualityPair quality;
        std::string result = gf_readApf(kText, header, quality);
        if (qualityOut)
            *qualityOut = quality;
        return result;
    }
    const ParkPos* stand(const std::string& name) const
    {
        for (const ParkPos& s : g_parkPositions)
            if (s.name == name)
                return &s;
        return nullptr;
    }

    tvxtest::AppSandbox m_box;
};

TEST_F(LearnedStands, MergeChangesOptionsAndManualStands)
{
    tvxtest::ApfFixture learned = learnedFile();
    learned.stands.push_back({{{"id", "A1"}, {"radius_change", "true"}, {"radius", "41.0"}},
                              {
                                  // same day, kind, airline and type, shares slot 13: dropped
                                  {{"reg", ""}, {"airl", "KLM"}, {"type", "B738"}, {"day", "1"}, {"hh", "13,14"}},
                                  {{"reg", ""}, {"airl", "KLM"}, {"type", "B738"}, {"day", "2"}, {"hh", "13"}},
                                  {{"reg", ""}, {"airl", "KLM"}, {"type", "B738"}, {"soft", "true"}, {"day", "1"},
                                   {"hh", "13"}, {"cs", "KLM1:KLM2"}},
                              }});
    learned.stands.push_back({{{"id", "A2"}, {"radius_change", "true"}, {"cargo_change", "true"}, {"cargo", "true"}}, {}});
    learned.stands.push_back({{{"id", "ZZ"}}, {}});
    learned.stands.push_back(
        {{{"id", "M1"}, {"latitude", "0.0005"}, {"longitude", "0.01"}, {"radius", "20"}, {"manual", "true"}}, {}});
    learned.stands.push_back(
        {{{"id", "M2"}, {"latitude", "52.32"}, {"longitude", "4.78"}, {"radius", "20"}, {"manual", "true"}},
         {{{"airl", "TRA"}, {"type", "B738"}, {"day", "5"}, {"hh", "20"}}}});
    learned.stands.push_back(
        {{{"id", "M3"}, {"latitude", "52.33"}, {"longitude", "4.79"}, {"manual", "true"}}, {}});  // no radius
    learned.stands.push_back(
        {{{"id", "A1"}, {"latitude", "52.32"}, {"longitude", "4.78"}, {"radius", "20"}, {"manual", "true"}}, {}});
    learned.write(gf_apfNativePath(kLearned));

    QualityPair quality;
    EXPECT_EQ(readApf(&quality), "");
    ASSERT_EQ(g_parkPositions.size(), 3u);

    const ParkPos* a1 = stand("A1");
    ASSERT_NE(a1, nullptr);
    EXPECT_NEAR(a1->radius, 41.0 / 1852.0, 1e-12);
    EXPECT_TRUE(a1->radiusChange);
    ASSERT_EQ(a1->options.size(), 3u);
    EXPECT_EQ(a1->options[0].source, 1u);
    EXPECT_EQ(a1->options[1].number, 2u) << "the dropped duplicate used no number";
    EXPECT_EQ(a1->options[1].weekday, 2u);
    EXPECT_EQ(a1->options[1].source, 0u);
    EXPECT_EQ(a1->options[2].number, 3u);
    EXPECT_EQ(a1->options[2].real, 0u);
    EXPECT_EQ(a1->options[2].callsign2, "KLM2");

    const ParkPos* a2 = stand("A2");
    EXPECT_EQ(a2->radius, 0.0) << "radius_change without a radius gives 0";
    EXPECT_TRUE(a2->cargo);
    EXPECT_TRUE(a2->cargoChange);

    const ParkPos* m2 = stand("M2");
    ASSERT_NE(m2, nullptr);
    EXPECT_TRUE(m2->manual);
    EXPECT_EQ(m2->standId, 3u);
    ASSERT_EQ(m2->options.size(), 1u);
    EXPECT_EQ(m2->options[0].source, 0u);
    EXPECT_FALSE(g_handmadeOverruled.load());
    // Quality recomputed from the merged stands instead of the file's (absent) factors.
    EXPECT_GE(quality.first, 0);

    const std::string log = m_box.logText();
    for (const std::string& line :
         {"Read from learned airport file: \"" + kLearned + "\"", "learned stand ZZ in " + kLearned + " not found?",
          "===> manually created standid M1 misses correct attributes in " + kLearned,
          "===> manually created standid M3 misses correct attributes in " + kLearned,
          "===> manually created standid A1 already exists in " + kLearned,
          "Airport file read from \"" + kText + "\" for Schiphol"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_EQ(log.find("parking_percentage      : 30%"), std::string::npos) << "only without a learned file";
}

// The learned file cannot be saved (a full disk): a fault line and the error line name the reason,
// and the file there is kept whole.
TEST_F(LearnedStands, ASaveOntoAFullDiskIsNamedOnTheErrorLine)
{
    ASSERT_EQ(readApf(), "");
    // Where the stands learned at this publisher's airport are kept.
    const std::string kSaved = "airports\\learned\\thirdparty\\EHAM.xml";
    const fs::path learned = gf_apfNativePath(kSaved);
    tvxtest::FullDiskFolder full(learned.parent_path());
    gf_clearErrorLine();
    gf_saveParkFile();
    EXPECT_EQ(gf_errorLineText(), "Error \"" + kSaved + "\" could not be saved: " + full.cause());
    EXPECT_FALSE(fs::exists(learned));
    if (full.mounted()) {
        const std::string log = m_box.logText();
        // A fault line: "===> hh:mm:ss saving ..."
        const std::size_t at = log.find(" saving \"" + kSaved + "\" did not succeed: " + full.cause() + "\n");
        ASSERT_NE(at, std::string::npos) << log;
        ASSERT_GE(at, 14u);
        EXPECT_EQ(log.substr(at - 14, 6), "\n===> ") << log;
    }
}

TEST_F(LearnedStands, HandmadeFileReplacesStands)
{
    tvxtest::ApfFixture learned = learnedFile();
    learned.parameters.push_back({"handmade", "false"});  // its presence decides, not its value
    learned.addStand("H1", 52.35, 4.70, 10.0, 20.0);
    learned.addStand("H2", 52.36, 4.71, 20.0, 20.0)
        .options.push_back({{"airl", "KLM"}, {"type", "E190"}, {"day", "3"}, {"hh", "1"}});
    learned.write(gf_apfNativePath(kLearned));

    EXPECT_EQ(readApf(), "");
    ASSERT_EQ(g_parkPositions.size(), 2u);
    EXPECT_EQ(g_parkPositions[0].name, "H1");
    EXPECT_EQ(g_parkPositions[1].standId, 2u);
    EXPECT_EQ(g_parkPositions[1].options[0].source, 1u);
    EXPECT_TRUE(g_handmadeOverruled.load());
    EXPECT_TRUE(gf_paintedValues().handmadeMark);
    const std::string log = m_box.logText();
    EXPECT_NE(log.find(std::string(10, ' ') + "handmade                : false\n"), std::string::npos);
    EXPECT_NE(log.find("A handmade airport file overruled the archived file!"), std::string::npos);
    EXPECT_NE(log.find("Airport file read from \"" + kLearned + "\" for Schiphol"), std::string::npos);
}

TEST_F(LearnedStands, HandmadeDuplicateKeepsStandsReadSoFar)
{
    tvxtest::ApfFixture learned = learnedFile();
    learned.parameters.push_back({"handmade", "true"});
    learned.addStand("H1", 52.35, 4.70, 10.0, 20.0);
    learned.addStand("H1", 52.36, 4.71, 20.0, 20.0);
    learned.write(gf_apfNativePath(kLearned));
    EXPECT_EQ(readApf(), "");
    ASSERT_EQ(g_parkPositions.size(), 1u);
    EXPECT_TRUE(g_handmadeOverruled.load());
    EXPECT_NE(m_box.logText().find("lf_readLearned: 94: Parking position H1 appears more than once?"),
              std::string::npos);
}

TEST_F(LearnedStands, DamagedFileIsCopiedAside)
{
    const fs::path native = gf_apfNativePath(kLearned);
    tvxtest::writeFile(native, "<meta><info");
    tvxtest::writeFile(native.parent_path() / "EHAM0.xml", "older copy");
    EXPECT_EQ(readApf(), "");
    EXPECT_EQ(g_parkPositions.size(), 2u) << "the parking file's stands alone";
    EXPECT_EQ(tvxtest::readFile(native.parent_path() / "EHAM0.xml"), "<meta><info");
    EXPECT_TRUE(fs::exists(native)) << "the learned file stays in place";
    EXPECT_NE(m_box.logText().find(kLearned + " found, but could not be loaded, saved as *.0.xml: "), std::string::npos);
}

TEST_F(LearnedStands, LearnedPathOutsideTheLearnedFolderIsNeitherReadNorCopied)
{
    // Server paths whose learned path leaves airports/learned: one taken unchanged (no "archive"
    // in it), one that climbs out with "..". A damaged file waits at each learned path.
    const struct {
        std::string text, server, learned;
    } cases[] = {
        {"other/EHAM.xml", "other/EHAM.xml", "other/EHAM.xml"},
        {"archive/../../outside/EHAM.xml", "outside/EHAM.xml", "airports\\learned\\..\\..\\outside\\EHAM.xml"},
    };
    tvxtest::ApfFixture apf = tvxtest::ApfFixture::stock("Schiphol", "P", -11);
    apf.addStand("S1", 52.30, 4.76, 90.0, 30.0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        apf.write(m_box.path() / "server" / c.server);  // where "archive/../.." leads on the server
        for (const char* folder : {"MSFS", "MSFS2024"}) {
            fs::create_directories(m_box.path() / "server" / folder / "archive");
            apf.write(m_box.path() / "server" / folder / c.server);
        }
        const fs::path native = gf_apfNativePath(c.learned);
        tvxtest::writeFile(native, "<meta><info");
        g_parkPositions.clear();
        g_optParkingPercentage.set(55);
        ApfHeader header;
        QualityPair quality;
        EXPECT_EQ(gf_readApf(c.text, header, quality), "");
        ASSERT_EQ(g_parkPositions.size(), 1u);
        EXPECT_EQ(g_parkPositions[0].name, "S1");
        EXPECT_EQ(g_optParkingPercentage.value(), 30) << "as without a learned file";
        EXPECT_NE(m_box.logText().find("learned file \"" + c.learned + "\" refused (outside airports\\learned)"),
                  std::string::npos);
        EXPECT_EQ(m_box.logText().find("found, but could not be loaded"), std::string::npos);
        EXPECT_FALSE(fs::exists(native.parent_path() / "EHAM0.xml")) << "nothing copied aside out there";
        EXPECT_EQ(tvxtest::readFile(native), "<meta><info");
    }
}

TEST_F(LearnedStands, SettingsTakenBack)
{
    tvxtest::ApfFixture learned = learnedFile("Amsterdam");
    learned.parameters.insert(learned.parameters.end(), {{"LEARN_SOFT", "false"},
                                                         {"MAX_LIVE", "999"},
                                                         {"WEEK", "true"},
                                                         {"PARK_FAKE", "y"},
                                                         {"PARK_SOFT", "0"},
                                                         {"INITIAL_LOAD_ONLY", "T"},
                                                         {"MAX_FIT", "60"},
                                                         {"RT_PARKTRAFFIC_ONLY", "1"}});
    learned.write(gf_apfNativePath(kLearned));
    g_optParkingPercentage.set(70);
    const ApfHeader header{"Schiphol", "P", -11};
    lf_readLearned(kLearned, header);

    EXPECT_FALSE(g_optLearnSoft.value());
    EXPECT_EQ(g_optMaxLive.value(), 300) << "clamped to the setting's maximum";
    EXPECT_TRUE(g_optWeek.value());
    EXPECT_TRUE(g_optParkFake.value());
    EXPECT_FALSE(g_optParkSoft.value());
    EXPECT_TRUE(g_optInitialLoadOnly.value());
    EXPECT_EQ(g_optMaxFit.value(), 47);
    EXPECT_EQ(g_optMaxFitFl.value(), 24.0);
    EXPECT_TRUE(g_optRtParktrafficOnly.value());
    EXPECT_EQ(g_optParkingPercentage.value(), 30) << "absent: 30";

    const std::string log = m_box.logText();
    const std::string pad(10, ' ');
    for (const std::string& line : {pad + "LEARN_SOFT              : false\n", pad + "MAX_LIVE                : 300\n",
                                    pad + "PARK_FAKE               : true\n",
                                    pad + "MAX_FIT                 : 47 (max number of half hours, is 24 hrs decimal)\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_EQ(log.find("parking_percentage"), std::string::npos) << "an absent percentage is not logged";
    const std::string warning =
        "Warning: learned file airport name: \"Amsterdam\" differs from archived file airport name: \"Schiphol\"";
    EXPECT_EQ(gf_statusLineText(), warning);
    EXPECT_NE(log.find(warning), std::string::npos);

    // Second file: MAX_FIT 0, no MAX_LIVE, a percentage.
    tvxtest::ApfFixture second = learnedFile();
    second.parameters.insert(second.parameters.end(), {{"MAX_FIT", "0"}, {"parking_percentage", "45"}});
    second.write(gf_apfNativePath(kLearned));
    lf_readLearned(kLearned, header);
    EXPECT_EQ(g_optMaxFitFl.value(), 0.5);
    EXPECT_EQ(g_optMaxLive.value(), -1);
    EXPECT_EQ(g_optParkingPercentage.value(), 45);
    EXPECT_NE(m_box.logText().find("MAX_FIT                 : 0 (max number of half hours, is 0.5 hrs decimal)"),
              std::string::npos);
}

TEST_F(LearnedStands, AutoRangeSetsAsideOrRestoresLateralRange)
{
    const ApfHeader header{"Schiphol", "P", -11};
    // AUTO_RANGE off: the file's LATERAL_RANGE is set first, then the set-aside value returns.
    g_manualLateralRange = 60;
    tvxtest::ApfFixture off = learnedFile();
    off.parameters.insert(off.parameters.end(), {{"LATERAL_RANGE", "25"}, {"AUTO_RANGE", "false"}});
    off.write(gf_apfNativePath(kLearned));
    lf_readLearned(kLearned, header);
    EXPECT_EQ(g_optLateralRange.value(), 60);
    EXPECT_FALSE(g_optAutoRange.value());
    EXPECT_FALSE(g_autoRangeGround.load());
    EXPECT_TRUE(gf_paintedValues().lateralRangeEnabled);
    EXPECT_NE(m_box.logText().find(std::string(10, ' ') + "LATERAL_RANGE           : 25\n"), std::string::npos);

    // AUTO_RANGE on: the file's LATERAL_RANGE is set aside and the automatic range (on the ground:
    // 10 nm) chosen.
    g_userOnGround.store(true);
    tvxtest::ApfFixture on = learnedFile();
    on.parameters.insert(on.parameters.end(), {{"LATERAL_RANGE", "25"}, {"AUTO_RANGE", "true"}});
    on.write(gf_apfNativePath(kLearned));
    lf_readLearned(kLearned, header);
    EXPECT_EQ(g_manualLateralRange.load(), 25);
    EXPECT_EQ(g_optLateralRange.value(), 10);
    EXPECT_TRUE(g_autoRangeGround.load());
    EXPECT_FALSE(gf_paintedValues().lateralRangeEnabled);
    g_userOnGround.store(false);
}

TEST_F(LearnedStands, SameOptionRule)
{
    const ParkPosOption base = lf_option(3, 1, "PH-BXA", "KLM", "B738", {10, 11});
    struct Case {
        const char* what;
        ParkPosOption other;
        bool same;
    };
    ParkPosOption differentCallsign = lf_option(3, 1, "PH-BXA", "KLM", "B738", {11});
    differentCallsign.callsign = "KLM1";
    differentCallsign.number = 9;
    differentCallsign.source = 1;
    const std::vector<Case> cases{
        {"one shared slot", lf_option(3, 1, "PH-BXA", "KLM", "B738", {11, 30}), true},
        {"callsign, number, source ignored", differentCallsign, true},
        {"no shared slot", lf_option(3, 1, "PH-BXA", "KLM", "B738", {12}), false},
        {"other weekday", lf_option(4, 1, "PH-BXA", "KLM", "B738", {10}), false},
        {"soft", lf_option(3, 0, "PH-BXA", "KLM", "B738", {10}), false},
        {"other registration", lf_option(3, 1, "", "KLM", "B738", {10}), false},
        {"other airline", lf_option(3, 1, "PH-BXA", "TRA", "B738", {10}), false},
        {"other type", lf_option(3, 1, "PH-BXA", "KLM", "B737", {10}), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lf_sameOption(base, c.other), c.same) << c.what;
}

TEST_F(LearnedStands, OfflineLearningNeedsQualityAndAWeekOfData)
{
    const fs::path stock = m_box.path() / "server" / "MSFS" / "archive" / "stock";
    struct Case {
        const char* code;
        tvxtest::Attributes parameters;
        bool suitable;
    };
    const std::vector<Case> cases{
        {"AAAA", {{"Qf_real", "40"}}, true},
        {"BBBB", {{"Qf_real", "40"}, {"WEEK", "true"}}, false},  // reads as 0
        {"CCCC", {{"Qf_soft", "5"}, {"WEEK", "17"}}, false},
        {"DDDD", {{"Qf_soft", "5"}, {"WEEK", "18"}}, true},
        {"EEEE", {{"Qf_real", "70"}, {"WEEK", "-3"}}, true},
        {"FFFF", {{"WEEK", "30"}}, false},  // no quality factors, nothing logged
    };
    for (const Case& c : cases) {
        tvxtest::ApfFixture f = tvxtest::ApfFixture::stock("X", "stock", 0);
        f.parameters.insert(f.parameters.end(), c.parameters.begin(), c.parameters.end());
        f.write(stock / (std::string(c.code) + ".xml"));
        EXPECT_EQ(gf_suitableForOfflineLearning(c.code), c.suitable) << c.code;
        EXPECT_FALSE(fs::exists(std::string(c.code) + ".xml")) << "the download does not stay";
    }
    tvxtest::writeFile(stock / "GGGG.xml", "<meta");
    EXPECT_FALSE(gf_suitableForOfflineLearning("GGGG"));
    EXPECT_FALSE(gf_suitableForOfflineLearning("HHHH"));
    EXPECT_FALSE(fs::exists("GGGG.xml"));
    const std::string log = m_box.logText();
    EXPECT_NE(log.find("===> GGGG Not suitable for offline learning"), std::string::npos);
    EXPECT_NE(log.find("===> HHHH Not suitable for offline learning"), std::string::npos);
    EXPECT_EQ(log.find("FFFF"), std::string::npos);
}

}  // namespace
