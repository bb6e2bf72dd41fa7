// The airport parking file format: the writer's figures, forms and parameters, the opt identity
// rules, one stand's parsing and the typed parameter readers.
#include "parking/parking_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "foundation/settings.h"
#include "liveries/aircraft_db.h"
#include "liveries/regcodes.h"
#include "support/apf_files.h"
#include "support/disk_full.h"
#include "support/liveries_fixture.h"
#include "support/settings_fixture.h"

namespace {

ParkPos lf_stand(const std::string& name, double radiusM = 34.0)
{
    return ParkPos(name, {}, 50.0333333, 8.5, 1.5707963, radiusM, false, true, false);
}

ParkPosOption lf_opt(std::uint32_t number, std::string registration, std::string airline, std::string type)
{
    ParkPosOption o;
    o.registration = std::move(registration);
    o.airline = std::move(airline);
    o.type = std::move(type);
    o.number = number;
    o.weekday = 3;
    o.slots.set(12);
    o.slots.set(13);
    return o;
}

// The attribute names of an element, in order.
std::vector<std::string> lf_attributeNames(const pugi::xml_node& node)
{
    std::vector<std::string> names;
    for (const pugi::xml_attribute a : node.attributes())
        names.emplace_back(a.name());
    return names;
}

std::vector<std::string> lf_parameterNames(const pugi::xml_document& doc)
{
    std::vector<std::string> names;
    for (const pugi::xml_node p : doc.child("parameters").children("parameter"))
        names.emplace_back(p.attribute("name").as_string());
    return names;
}

class ApfFormat : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_parkPositions.clear();
        g_handmadeOverruled.store(false);
    }
    void TearDown() override
    {
        g_parkPositions.clear();
        g_handmadeOverruled.store(false);
        gf_clearAircraftDb();
        gf_clearRegcodes();
    }
    // Writes the record and loads the file back as a document.
    pugi::xml_document writeAndLoad(const ApfRecord& record, std::uint32_t fromScan)
    {
        const auto file = m_sandbox.folder() / "out.xml";
        EXPECT_TRUE(gf_writeApf(record, file, fromScan));
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_file(file.c_str()));
        return doc;
    }

    tvxtest::SettingsSandbox m_sandbox;
};

TEST_F(ApfFormat, ScanFileHasFullStandsNoSettingsNoOptions)
{
    ApfRecord record;
    record.airportName = "Frankfurt";
    record.publisher = "unknown";
    record.bglPath = "C:\\x\\apx.bgl";
    record.manufacturer = "ABC";
    record.creator = "me";
    record.altitude = 364;
    record.stands.push_back(lf_stand("A1", 0.0183585 * 1852.0));
    record.stands.back().options.push_back(lf_opt(1, "", "DLH", "A320"));
    record.stands.push_back(ParkPos("H1", {}, 50.0, 8.0, 0.0, 10.0, true, false, true));

    const pugi::xml_document doc = writeAndLoad(record, 1);
    EXPECT_EQ(lf_parameterNames(doc), (std::vector<std::string>{"airport_name", "publisher", "altitude", "num_parkpos",
                                                                "BGLpath", "manufacturer", "creator"}));
    EXPECT_EQ(gf_readIntParameter(doc, "altitude"), 364);
    EXPECT_EQ(gf_readIntParameter(doc, "num_parkpos"), 2);
    EXPECT_EQ(gf_readStringParameter(doc, "BGLpath"), "C:\\x\\apx.bgl");
    EXPECT_TRUE(doc.child("meta").find_child_by_attribute("info", "name", "author"));

    const pugi::xml_node a1 = doc.child("parkpositions").child("parkpos");
    EXPECT_EQ(lf_attributeNames(a1),
              (std::vector<std::string>{"id", "latitude", "longitude", "heading", "radius", "cargo", "ramp"}));
    EXPECT_STREQ(a1.attribute("latitude").value(), "50.033333");
    EXPECT_STREQ(a1.attribute("heading").value(), "90.0");
    EXPECT_STREQ(a1.attribute("radius").value(), "34.0");
    EXPECT_STREQ(a1.attribute("cargo").value(), "false");
    EXPECT_STREQ(a1.attribute("ramp").value(), "true");
    EXPECT_FALSE(a1.child("opt"));
    // A helicopter stand says heli and leaves cargo out.
    const pugi::xml_node h1 = a1.next_sibling("parkpos");
    EXPECT_EQ(lf_attributeNames(h1),
              (std::vector<std::string>{"id", "latitude", "longitude", "heading", "radius", "heli", "ramp"}));
}

TEST_F(ApfFormat, LearnedFileCarriesSettingsInOrder)
{
    ApfRecord record;
    record.airportName = "Keflavik";
    record.publisher = "stock";
    g_optMaxLive.set(-1);
    pugi::xml_document doc = writeAndLoad(record, 0);
    EXPECT_EQ(lf_parameterNames(doc),
              (std::vector<std::string>{"airport_name", "publisher", "num_parkpos", "LATERAL_RANGE", "AUTO_RANGE", "WEEK",
                                        "PARK_FAKE", "PARK_SOFT", "parking_percentage", "INITIAL_LOAD_ONLY", "MAX_FIT",
                                        "RT_PARKTRAFFIC_ONLY", "LEARN_SOFT"}));
    EXPECT_EQ(gf_readStringParameter(doc, "AUTO_RANGE"), "true");
    EXPECT_EQ(gf_readIntParameter(doc, "LATERAL_RANGE"), 40);

    // MAX_LIVE 0 or more is written; a hand-made file adds handmade, altitude and the factors.
    g_optMaxLive.set(0);
    g_handmadeOverruled.store(true);
    record.altitude = 170;
    record.qfReal = 63;
    record.qfSoft = 0;
    doc = writeAndLoad(record, 0);
    EXPECT_EQ(lf_parameterNames(doc),
              (std::vector<std::string>{"airport_name", "publisher", "handmade", "altitude", "num_parkpos", "Qf_real",
                                        "Qf_soft", "LATERAL_RANGE", "AUTO_RANGE", "WEEK", "PARK_FAKE", "PARK_SOFT",
                                        "parking_percentage", "INITIAL_LOAD_ONLY", "MAX_FIT", "RT_PARKTRAFFIC_ONLY",
                                        "MAX_LIVE", "LEARN_SOFT"}));
    EXPECT_EQ(gf_readStringParameter(doc, "handmade"), "true");
    EXPECT_EQ(gf_readIntParameter(doc, "MAX_LIVE"), 0);
}

TEST_F(ApfFormat, LearnedStandForms)
{
    struct Case {
        const char* what;
        bool radiusChange, cargoChange, manual, handmade;
        std::vector<std::string> attributes;
    };
    const std::vector<std::string> full{"id", "latitude", "longitude", "heading", "radius", "cargo", "ramp"};
    std::vector<std::string> fullManual = full;
    fullManual.push_back("manual");
    const std::vector<Case> cases{
        {"radius enlarged", true, false, false, false, {"id", "radius_change", "radius"}},
        {"cargo changed", false, true, false, false, {"id", "cargo_change", "cargo"}},
        {"both changed", true, true, false, false, {"id", "radius_change", "radius", "cargo_change", "cargo"}},
        {"manual and changed", true, false, true, false, fullManual},
        {"unchanged", false, false, false, false, {"id"}},
        {"manual", false, false, true, false, fullManual},
        {"hand-made file", false, false, false, true, full},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_handmadeOverruled.store(c.handmade);
        ApfRecord record;
        ParkPos stand = lf_stand("B7");
        stand.radiusChange = c.radiusChange;
        stand.cargoChange = c.cargoChange;
        stand.manual = c.manual;
        stand.options.push_back(lf_opt(1, "", "ICE", "B38M"));
        record.stands.push_back(stand);
        const pugi::xml_document doc = writeAndLoad(record, 0);
        const pugi::xml_node parkpos = doc.child("parkpositions").child("parkpos");
        EXPECT_EQ(lf_attributeNames(parkpos), c.attributes);
        EXPECT_TRUE(parkpos.child("opt")) << "options follow in every form";
        if (c.radiusChange && !c.manual) {
            EXPECT_STREQ(parkpos.attribute("radius").value(), "34.0");
        }
    }
}

TEST_F(ApfFormat, OptionAttributes)
{
    ASSERT_TRUE(tvxtest::DbFixture::standard().load());
    ParkPos stand = lf_stand("C1");
    stand.options.push_back(lf_opt(1, "PH-BXA", "XXX", "B738"));  // known: no airl/type
    stand.options.push_back(lf_opt(0, "", "GONE", "A320"));       // numbered 0: not written
    ParkPosOption soft = lf_opt(2, "", "ICE", "B38M");
    soft.real = 0;
    soft.callsign = "ICE400";
    soft.callsign2 = "ICE401";
    stand.options.push_back(soft);
    ParkPosOption secondOnly = lf_opt(3, "TF-XYZ", "ICE", "B752");  // unknown registration
    secondOnly.callsign2 = "ICE9";
    stand.options.push_back(secondOnly);
    ApfRecord record;
    record.stands.push_back(stand);

    const pugi::xml_document doc = writeAndLoad(record, 0);
    std::vector<pugi::xml_node> opts;
    for (const pugi::xml_node o : doc.child("parkpositions").child("parkpos").children("opt"))
        opts.push_back(o);
    ASSERT_EQ(opts.size(), 3u);
    EXPECT_EQ(lf_attributeNames(opts[0]), (std::vector<std::string>{"reg", "day", "hh"}));
    EXPECT_STREQ(opts[0].attribute("reg").value(), "PH-BXA");
    EXPECT_STREQ(opts[0].attribute("hh").value(), "12,13");
    EXPECT_STREQ(opts[0].attribute("day").value(), "3");
    EXPECT_EQ(lf_attributeNames(opts[1]), (std::vector<std::string>{"reg", "airl", "type", "soft", "day", "hh", "cs"}));
    EXPECT_STREQ(opts[1].attribute("cs").value(), "ICE400:ICE401");
    EXPECT_STREQ(opts[2].attribute("airl").value(), "ICE");
    EXPECT_STREQ(opts[2].attribute("cs").value(), ":ICE9");
}

TEST_F(ApfFormat, OptIdentityRules)
{
    ASSERT_TRUE(tvxtest::DbFixture::standard().load());
    struct Case {
        const char* opt;
        OptIdentity expected;
    };
    const std::vector<Case> cases{
        {R"(<opt cs="DLH400:DLH401" airl="DLH" type="A320"/>)", {"DLH400", "DLH401", "DLH", "A320"}},
        {R"(<opt cs="A:B:C" airl="DLH" type="A320"/>)", {"A", "", "DLH", "A320"}},
        {R"(<opt airl="DLH"/>)", {"", "", "DLH", ""}},
        {R"(<opt cs=":X"/>)", {"", "X", "", ""}},
        // The database's identity wins over airl and type; its operator over its airline.
        {R"(<opt reg="PH-BXA" airl="XXX" type="C172"/>)", {"", "", "KLM", "B738"}},
        {R"(<opt reg="G-EUPA"/>)", {"", "", "SHT", "B738"}},
        {R"(<opt reg="N-NOTHERE" airl="UAL" type="B77W"/>)", {"", "", "UAL", "B77W"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opt);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(c.opt));
        const OptIdentity got = lf_readOptIdentity(doc.child("opt"));
        EXPECT_EQ(got.callsign, c.expected.callsign);
        EXPECT_EQ(got.callsign2, c.expected.callsign2);
        EXPECT_EQ(got.airline, c.expected.airline);
        EXPECT_EQ(got.type, c.expected.type);
    }
}

TEST_F(ApfFormat, ReadParkPosConvertsUnitsAndNumbersOptions)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<parkpos id="A1" latitude="63.985" longitude="-22.605" heading="90" radius="34"
        cargo="yes" ramp="0" heli="T">
        <opt airl="ICE" type="B38M" day="1" hh="0,47"/>
        <opt airl="ICE" type="B752" day="7" hh="" soft="yes"/>
        <opt soft="1"/>
        <opt soft="false" day="x"/>
      </parkpos>)"));
    gf_readParkPos(doc.child("parkpos"), "A1", 1);
    ASSERT_EQ(g_parkPositions.size(), 1u);
    const ParkPos& s = g_parkPositions[0];
    EXPECT_EQ(s.name, "A1");
    EXPECT_DOUBLE_EQ(s.lat, 63.985);
    EXPECT_DOUBLE_EQ(s.lon, -22.605);
    EXPECT_NEAR(s.heading, M_PI / 2, 1e-12);
    EXPECT_NEAR(s.radius, 34.0 / 1852.0, 1e-12);
    EXPECT_TRUE(s.cargo);
    EXPECT_FALSE(s.ramp);
    EXPECT_TRUE(s.heli);
    EXPECT_EQ(s.standId, 0u);
    ASSERT_EQ(s.options.size(), 4u);
    EXPECT_EQ(s.options.capacity(), 4u) << "trimmed to its size";
    const std::vector<std::uint32_t> real{1, 0, 0, 1};
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(s.options[i].number, i + 1);
        EXPECT_EQ(s.options[i].source, 1u);
        EXPECT_EQ(s.options[i].real, real[i]) << i;
    }
    EXPECT_EQ(s.options[0].weekday, 1u);
    EXPECT_TRUE(s.options[0].slots.test(0));
    EXPECT_TRUE(s.options[0].slots.test(47));
    EXPECT_EQ(s.options[1].slots.count(), 0u);
    EXPECT_EQ(s.options[3].weekday, 0u);

    // Every attribute missing: a stand at 0,0 with radius 0 and no flags.
    ASSERT_TRUE(doc.load_string("<parkpos/>"));
    gf_readParkPos(doc.child("parkpos"), "", 0);
    const ParkPos& bare = g_parkPositions[1];
    EXPECT_EQ(bare.lat, 0.0);
    EXPECT_EQ(bare.radius, 0.0);
    EXPECT_FALSE(bare.cargo || bare.ramp || bare.heli);
    EXPECT_TRUE(bare.options.empty());

    // Read in one pass over the attributes as a look-up by name reads them: the first of a
    // repeated name counts; numbers and slot lists in other forms than the writer's take the general
    // reading (leading blank, plus sign, exponent; blanks in hh, an empty piece ending the list);
    // children other than opt are no options.
    ASSERT_TRUE(doc.load_string(R"(<parkpos latitude=" 63.5" latitude="1" longitude="+6.35e1" radius="20.">
        <opt hh="3, 5" day="2" day="3" airl="A" airl="B"/><note/><opt hh="1,2,,4"/>
      </parkpos>)"));
    gf_readParkPos(doc.child("parkpos"), "B2", 1);
    const ParkPos& other = g_parkPositions[2];
    EXPECT_DOUBLE_EQ(other.lat, 63.5);
    EXPECT_DOUBLE_EQ(other.lon, 63.5);
    EXPECT_NEAR(other.radius, 20.0 / 1852.0, 1e-12);
    ASSERT_EQ(other.options.size(), 2u);
    EXPECT_EQ(other.options[0].weekday, 2u);
    EXPECT_EQ(other.options[0].airline, "A");
    EXPECT_EQ(other.options[0].slots, (SlotSet{}.set(3).set(5)));
    EXPECT_EQ(other.options[1].number, 2u);
    EXPECT_EQ(other.options[1].slots, (SlotSet{}.set(1).set(2)));  // the empty piece ends the reading
}

TEST_F(ApfFormat, TypedParameterReaders)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<meta/><parameters>
        <parameter name="b1" value="Yes"/><parameter name="b2" value="no"/><parameter name="bare"/>
        <parameter name="i" value="-12"/><parameter name="t" value="true"/>
        <parameter name="RT_traffic_week" value="4000000000"/><parameter name="i" value="99"/>
      </parameters><parkpositions/>)"));
    EXPECT_EQ(gf_readBoolParameter(doc, "b1"), true);
    EXPECT_EQ(gf_readBoolParameter(doc, "b2"), false);
    EXPECT_EQ(gf_readBoolParameter(doc, "bare"), false);
    EXPECT_EQ(gf_readBoolParameter(doc, "none"), std::nullopt);
    EXPECT_EQ(gf_readIntParameter(doc, "i"), -12) << "the first of two wins";
    EXPECT_EQ(gf_readIntParameter(doc, "t"), 0);
    EXPECT_EQ(gf_readIntParameter(doc, "bare"), 0);
    EXPECT_EQ(gf_readRtTrafficWeek(doc), 4000000000u);
    EXPECT_EQ(gf_readStringParameter(doc, "bare"), "");
    EXPECT_EQ(gf_readStringParameter(doc, "none"), std::nullopt);
}

TEST_F(ApfFormat, WrittenStandsReadBackAlike)
{
    ParkPos stand("D4", {}, 21.328750, -157.914300, 3.0, 41.5, true, false, false);
    stand.manual = true;
    ParkPosOption o = lf_opt(1, "", "HAL", "A332");
    o.callsign = "HAL11";
    o.callsign2 = "HAL12";
    stand.options.push_back(o);
    ApfRecord record;
    record.stands.push_back(stand);
    const pugi::xml_document doc = writeAndLoad(record, 0);
    const pugi::xml_node parkpos = doc.child("parkpositions").child("parkpos");
    gf_readParkPos(parkpos, parkpos.attribute("id").as_string(), 0);
    ASSERT_EQ(g_parkPositions.size(), 1u);
    const ParkPos& back = g_parkPositions[0];
    EXPECT_NEAR(back.lat, stand.lat, 1e-6);
    EXPECT_NEAR(back.lon, stand.lon, 1e-6);
    EXPECT_NEAR(back.heading, stand.heading, 0.05 * M_PI / 180.0 + 1e-9);
    EXPECT_NEAR(back.radius, stand.radius, 0.05 / 1852.0 + 1e-12);
    EXPECT_TRUE(back.cargo);
    ASSERT_EQ(back.options.size(), 1u);
    EXPECT_EQ(back.options[0].callsign, "HAL11");
    EXPECT_EQ(back.options[0].callsign2, "HAL12");
    EXPECT_EQ(back.options[0].slots, o.slots);
    EXPECT_EQ(back.options[0].weekday, 3u);
}

TEST_F(ApfFormat, UnwritablePathIsReported)
{
    ApfRecord record;
    EXPECT_FALSE(gf_writeApf(record, m_sandbox.folder() / "missing" / "sub" / "x.xml", 1));
}

TEST_F(ApfFormat, AFullDiskLeavesTheOldLearnedFileWhole)
{
    const auto file = m_sandbox.folder() / "EHAM.xml";
    ApfRecord record;
    record.airportName = "Schiphol";
    record.stands.emplace_back("A1", std::vector<ParkPosOption>{}, 52.3, 4.76, 0.0, 30.0, false, true, false);
    ASSERT_TRUE(gf_writeApf(record, file, 0));
    const std::string before = tvxtest::readFile(file);
    record.stands.emplace_back("A2", std::vector<ParkPosOption>{}, 52.31, 4.77, 0.0, 30.0, false, true, false);
    {
        tvxtest::DiskFull full;
        EXPECT_FALSE(gf_writeApf(record, file, 0));
    }
    EXPECT_EQ(tvxtest::readFile(file), before);
    EXPECT_FALSE(std::filesystem::exists(m_sandbox.folder() / "EHAM.xml.tmp"));
}

}  // namespace
