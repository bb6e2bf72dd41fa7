// Aircraft database: loading, class order, spans and averages, bad input.
#include "liveries/aircraft_db.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "foundation/log.h"
#include "liveries/publishers.h"
#include "liveries/regcodes.h"
#include "support/liveries_fixture.h"
#include "support/temp_folder.h"

namespace {

constexpr double kHalfNm = 0.5 * 0.0005399568034557236;

class AircraftDbTest : public ::testing::Test {
protected:
    void TearDown() override { gf_clearAircraftDb(); }
};

TEST_F(AircraftDbTest, WingspanIsHalfTheSpanInNauticalMiles)
{
    auto db = tvxtest::DbFixture::standard();
    db.types.push_back({"A320", 36.0});
    db.sets = {{"large", "B738 A320"}, {"heavy", "A388"}, {"rotorcraft", "EC35"}};
    ASSERT_TRUE(db.load());
    EXPECT_NEAR(gf_wingspan("A320"), 0.0097192, 5e-8);
    EXPECT_DOUBLE_EQ(gf_wingspan("A388"), 79.8 * kHalfNm);
    EXPECT_DOUBLE_EQ(gf_maxHalfSpan(), 79.8 * kHalfNm);
}

TEST_F(AircraftDbTest, NothingBeforeTheDatabaseIsLoaded)
{
    EXPECT_EQ(gf_wingspan("B738"), 0.0);
    EXPECT_EQ(gf_maxHalfSpan(), 0.0);
    EXPECT_EQ(gf_sizeClassOfType("B738"), SizeClass::Light);
    EXPECT_FALSE(gf_isKnownType("B738"));
}

TEST_F(AircraftDbTest, UnlistedTypeGetsTheAverageOfItsClass)
{
    auto db = tvxtest::DbFixture::standard();
    db.types.push_back({"A320", 34.2});
    db.types.push_back({"ZZZZ", 0.0});  // known, no span
    db.sets = {{"large", "B738 A320 B77X"}, {"heavy", "A388"}, {"rotorcraft", "EC35"}};
    ASSERT_TRUE(db.load());
    const double largeAverage = (35.8 + 34.2) / 2 * kHalfNm;
    EXPECT_DOUBLE_EQ(gf_classAverageSpan(SizeClass::Large), largeAverage);
    EXPECT_DOUBLE_EQ(gf_wingspan("B77X"), largeAverage);  // in a set, no span
    // A type in no set is Light: C172 is the only spanned Light type.
    EXPECT_DOUBLE_EQ(gf_wingspan("XXXX"), 11.0 * kHalfNm);
    EXPECT_DOUBLE_EQ(gf_wingspan("ZZZZ"), 11.0 * kHalfNm);
    EXPECT_TRUE(gf_isKnownType("ZZZZ"));
    // Classes without any span take the mean of all spans.
    const double allMean = (35.8 + 79.8 + 11.0 + 10.2 + 34.2) / 5 * kHalfNm;
    EXPECT_DOUBLE_EQ(gf_classAverageSpan(SizeClass::Buzjets), allMean);
    EXPECT_DOUBLE_EQ(gf_classAverageSpan(SizeClass::HighPerf), allMean);
}

TEST_F(AircraftDbTest, SetsAreTestedLargeHeavyBizjetRotorcraftHighperf)
{
    struct Case {
        const char* type;
        SizeClass expected;
    };
    tvxtest::DbFixture db;
    db.sets = {{"highperf", "F16 T1 T4"},
               {"rotorcraft", "EC35 T1 T3"},
               {"bizjet", "C68A T1 T2 T3 T4"},
               {"heavy", "A388 T1 T2"},
               {"large", "B738 T1"}};
    ASSERT_TRUE(db.load());
    const Case cases[] = {
        {"T1", SizeClass::Large},   {"T2", SizeClass::Heavy},      {"T3", SizeClass::Buzjets},
        {"T4", SizeClass::Buzjets}, {"EC35", SizeClass::Rotorcraft}, {"F16", SizeClass::HighPerf},
        {"B738", SizeClass::Large}, {"A388", SizeClass::Heavy},    {"C68A", SizeClass::Buzjets},
        {"C172", SizeClass::Light}, {"", SizeClass::Light},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gf_sizeClassOfType(c.type), c.expected) << c.type;
}

TEST_F(AircraftDbTest, KnownTypesAreTheListedOnes)
{
    ASSERT_TRUE(tvxtest::DbFixture::standard().load());
    EXPECT_TRUE(gf_isKnownType("B738"));
    EXPECT_TRUE(gf_isKnownType("C172"));
    EXPECT_FALSE(gf_isKnownType(""));
    EXPECT_FALSE(gf_isKnownType("b738"));
    EXPECT_FALSE(gf_isKnownType("B7380"));
}

TEST_F(AircraftDbTest, XmlAttributeAsDouble)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<s lat=\"52.5\" bad=\"x1\" blank=\" 7\"/>"));
    const pugi::xml_node s = doc.child("s");
    EXPECT_DOUBLE_EQ(gf_xmlAttributeAsDouble(s, "lat"), 52.5);
    EXPECT_DOUBLE_EQ(gf_xmlAttributeAsDouble(s, "blank"), 7.0);
    EXPECT_EQ(gf_xmlAttributeAsDouble(s, "missing"), 0.0);
    EXPECT_EQ(gf_xmlAttributeAsDouble(doc.child("none"), "lat"), 0.0);
    try {
        gf_xmlAttributeAsDouble(s, "bad");
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "invalid stod argument");
    }
}

TEST_F(AircraftDbTest, MalformedEntriesAreSkippedAndTheRestLoads)
{
    tvxtest::TempFolder folder;
    ASSERT_TRUE(gf_openLog(folder.path(), "1.0"));
    const std::string xml = R"(<aircraftdb>
      <types><t c="B738" span="35.8"/><t c="b7"/><t c="A388" span="wide"/><t c="TOOLONG"/></types>
      <typesets><set name="large">B738 bad-code</set><set name="huge">A388</set></typesets>
      <registrations><r k="zz" a="" t="B738" o=""/><r k="0" a="" t="B738" o=""/></registrations>
      <thirdparties20><publisher name="X"><e>EHAM</e><e>EHAMx</e><e>EHAM12</e></publisher></thirdparties20>
    </aircraftdb>)";
    ASSERT_TRUE(gf_loadAircraftDbText(xml, "aircraftdb.xml"));
    gf_closeLog();
    EXPECT_TRUE(gf_isKnownType("B738"));
    EXPECT_TRUE(gf_isKnownType("A388"));  // the type stands, its span does not
    EXPECT_EQ(gf_sizeClassOfType("B738"), SizeClass::Large);
    EXPECT_EQ(gf_sizeClassOfType("A388"), SizeClass::Light);
    EXPECT_EQ(gf_regcodeCount(), 0u);
    ASSERT_EQ(g_thirdparties2020.size(), 1u);
    EXPECT_EQ(g_thirdparties2020[0].airports, std::vector<std::string>{"EHAM12"});
    const std::string log = tvxtest::readFile(folder / "Log.txt");
    EXPECT_NE(log.find("===> aircraft database aircraftdb.xml: 2 invalid type codes and 1 invalid "
                       "spans skipped"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("unknown type set \"huge\" skipped"), std::string::npos);
    EXPECT_NE(log.find("registrations aircraftdb.xml: 2 malformed entries skipped"),
              std::string::npos);
    EXPECT_NE(log.find("2 malformed entries in thirdparties20 skipped"), std::string::npos);
}

TEST_F(AircraftDbTest, BrokenFileLeavesEmptyTablesAndSaysWhy)
{
    tvxtest::TempFolder folder;
    ASSERT_TRUE(tvxtest::DbFixture::standard().load());
    tvxtest::writeFile(folder / "aircraftdb.xml", "<aircraftdb><types><t c=\"B738\"");
    ASSERT_TRUE(gf_openLog(folder.path(), "1.0"));
    EXPECT_FALSE(gf_loadAircraftDb(folder / "aircraftdb.xml"));
    EXPECT_FALSE(gf_loadAircraftDb(folder / "missing.xml"));
    gf_closeLog();
    EXPECT_FALSE(gf_isKnownType("B738"));
    EXPECT_EQ(gf_wingspan("B738"), 0.0);
    const std::string log = tvxtest::readFile(folder / "Log.txt");
    EXPECT_NE(log.find("aircraftdb.xml not loaded"), std::string::npos) << log;
    EXPECT_NE(log.find("missing.xml not loaded"), std::string::npos) << log;
}

TEST_F(AircraftDbTest, FileWithMetaBlockLoads)
{
    tvxtest::TempFolder folder;
    auto db = tvxtest::DbFixture::standard();
    std::string xml = db.xml();
    xml.insert(xml.find("<aircraftdb>"),
               "<meta><info name=\"author\" value=\"x\"/></meta>\n");
    tvxtest::writeFile(folder / "aircraftdb.xml", xml);
    ASSERT_TRUE(gf_loadAircraftDb(folder / "aircraftdb.xml"));
    EXPECT_EQ(gf_sizeClassOfType("EC35"), SizeClass::Rotorcraft);
    EXPECT_EQ(gf_regcodeCount(), 3u);
    EXPECT_EQ(g_simaddonAirports.count("EHBK"), 1u);
}

TEST_F(AircraftDbTest, CommittedDemoDatabase)
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    if (!source)
        GTEST_SKIP() << "TAVIX_SOURCE_DIR not set";
    ASSERT_TRUE(gf_loadAircraftDb(std::filesystem::path(source) / "standins" / "download_server" /
                                  "data" / "aircraftdb.xml"));
    struct Case {
        const char* type;
        SizeClass cls;
        double span;  // metres, 0 = class average
    };
    const Case cases[] = {
        {"B738", SizeClass::Large, 34.32},     {"A388", SizeClass::Heavy, 79.75},
        {"C172", SizeClass::Light, 10.9},      {"C68A", SizeClass::Buzjets, 22.04},
        {"EC35", SizeClass::Rotorcraft, 10.2}, {"F16", SizeClass::HighPerf, 9.96},
        {"DH8D", SizeClass::Large, 28.42},     {"B77W", SizeClass::Heavy, 64.8},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(gf_isKnownType(c.type)) << c.type;
        EXPECT_EQ(gf_sizeClassOfType(c.type), c.cls) << c.type;
        EXPECT_DOUBLE_EQ(gf_wingspan(c.type), c.span * kHalfNm) << c.type;
    }
    EXPECT_DOUBLE_EQ(gf_maxHalfSpan(), 88.4 * kHalfNm);  // An-225
    EXPECT_EQ(gf_regcodeCount(), 400u);
    DbaseRegEntry entry;
    ASSERT_TRUE(gf_lookupRegcode("PH-CKA", &entry));
    EXPECT_EQ(entry.airline, "KLM");
    EXPECT_EQ(entry.type, "B744");
    EXPECT_EQ(entry.cargo, 1);
    EXPECT_EQ(gf_regcodeType("PHAOA"), "A332");
    EXPECT_EQ(gf_publisherOf("Community/benjwri-egtk"), "Benjwri");
}

}  // namespace
