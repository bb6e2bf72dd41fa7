// The settings table (keys, kinds, defaults, limits, controls) and its parameters.xml store:
// round trip, missing and unknown keys, values outside their limits, an unreadable file.
#include "foundation/settings.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <set>
#include <thread>

#include "foundation/settings_store.h"
#include "support/settings_fixture.h"

namespace {

using tvxtest::readFile;
using tvxtest::SettingsSandbox;
using tvxtest::writeFile;

struct IntRow {
    IntParameter* setting;
    const char* key;
    std::int32_t def, min, max;
    bool hasControl;
};

TEST(SettingsTable, WholeNumbersKeepTheirDefaultsAndLimits)
{
    const IntRow rows[] = {
        {&g_optParkingPercentage, "parking_percentage", 30, 0, 100, true},
        {&g_optCustomParkingPercentage, "CUSTOM_PARKING_PERCENTAGE", -1, -1, 100, false},
        {&g_optAirportHeight, "AIRPORT_HEIGHT", 18000, 2000, 45000, true},
        {&g_optAirportRange, "AIRPORT_RANGE", 20, 8, 30, true},
        {&g_optMaxLive, "MAX_LIVE", -1, -1, 300, true},
        {&g_optCustomMaxPark, "CUSTOM_MAX_PARK", -1, -1, 500, true},
        {&g_optLateralRange, "LATERAL_RANGE", 40, 2, 100, true},
        {&g_optMaxFit, "MAX_FIT", 47, 0, 47, true},
        {&g_optHoldingThresholdMeters, "HOLDING_THRESHOLD_METERS", 250, 10, 4000, false},
        {&g_optMaxHoldingMinutes, "MAX_HOLDING_MINUTES", 20, 1, 60, false},
    };
    for (const IntRow& r : rows) {
        SCOPED_TRACE(r.key);
        EXPECT_EQ(r.setting->key(), r.key);
        EXPECT_EQ(r.setting->defaultValue(), r.def);
        EXPECT_EQ(r.setting->minimum(), r.min);
        EXPECT_EQ(r.setting->maximum(), r.max);
        EXPECT_EQ(r.setting->value(), r.def);
        EXPECT_EQ(r.setting->control() != nullptr, r.hasControl);
        EXPECT_TRUE(r.setting->stored());
    }

    EXPECT_EQ(g_optMaxFitFl.key(), "MAX_FIT_FL");
    EXPECT_EQ(g_optMaxFitFl.defaultValue(), 24.0);
    EXPECT_EQ(g_optMaxFitFl.minimum(), 0.5);
    EXPECT_EQ(g_optMaxFitFl.maximum(), 24.0);
}

TEST(SettingsTable, CheckBoxesAndTextsKeepTheirDefaults)
{
    const std::pair<BoolParameter*, std::pair<const char*, bool>> boxes[] = {
        {&g_optMsfs2020, {"MSFS_2020", true}},
        {&g_optLog, {"LOG", true}},
        {&g_optLightAircraft, {"LIGHT_AIRCRAFT", true}},
        {&g_optHighPerfAircraft, {"HIGH_PERF_AIRCRAFT", true}},
        {&g_optHelicopters, {"HELICOPTERS", true}},
        {&g_optGuidChanges, {"GUID_CHANGES", true}},
        {&g_optNavLightsWhileParked, {"NAV_LIGHTS_WHILE_PARKED", true}},
        {&g_optStraightPbsOnly, {"STRAIGHT_PBS_ONLY", false}},
        {&g_optCollisionUserAir, {"COLLISION_USER_AIR", true}},
        {&g_optCollisionUserGnd, {"COLLISION_USER_GND", true}},
        {&g_optCollisionLiveParkedGnd, {"COLLISION_LIVE_PARKED_GND", false}},
        {&g_optScanAirports, {"SCAN_AIRPORTS", true}},
        {&g_optLearnSoft, {"LEARN_SOFT", true}},
        {&g_optParkSoft, {"PARK_SOFT", true}},
        {&g_optWeek, {"WEEK", false}},
        {&g_optParkFake, {"PARK_FAKE", false}},
        {&g_optRtParktrafficOnly, {"RT_PARKTRAFFIC_ONLY", false}},
        {&g_optInitialLoadOnly, {"INITIAL_LOAD_ONLY", false}},
        {&g_optCallsignObjectids, {"CALLSIGN_OBJECTIDS", false}},
        {&g_optAutoRange, {"AUTO_RANGE", true}},
    };
    for (const auto& [setting, expected] : boxes) {
        SCOPED_TRACE(expected.first);
        EXPECT_EQ(setting->key(), expected.first);
        EXPECT_EQ(setting->defaultValue(), expected.second);
        ASSERT_NE(setting->control(), nullptr);
    }
    for (StringParameter* text : {static_cast<StringParameter*>(&g_optDestination),
                                  static_cast<StringParameter*>(&g_optCallsign2Objectid),
                                  static_cast<StringParameter*>(&g_optBlockCallsign)}) {
        EXPECT_EQ(text->defaultValue(), "");
        EXPECT_NE(text->control(), nullptr);
    }
    EXPECT_EQ(g_optCallsign2Objectid.key(), "CALLSIGN_2_OBJECTID");
}

TEST(SettingsTable, EveryKeyAndEveryControlIdIsUnique)
{
    std::set<std::string> keys;
    std::set<int> ids;
    for (Parameter* p : gf_allParameters()) {
        EXPECT_TRUE(keys.insert(p->key()).second) << p->key();
        if (GuiControl* c = p->control()) {
            EXPECT_TRUE(ids.insert(c->controlId()).second) << p->key();
        }
    }
    EXPECT_EQ(gf_findParameter("LATERAL_RANGE"), &g_optLateralRange);
    EXPECT_EQ(gf_findParameter("NO_SUCH_KEY"), nullptr);
    EXPECT_FALSE(g_btnFlushStatic.stored());
    EXPECT_EQ(g_btnFlushStatic.label(), "Flush static");
}

TEST(SettingsValues, SetKeepsLimitsAndClampedSetLimitsTheValue)
{
    SettingsSandbox sandbox;
    EXPECT_FALSE(g_optMaxLive.set(999));
    EXPECT_EQ(g_optMaxLive.value(), -1);
    EXPECT_TRUE(g_optMaxLive.set(120));
    EXPECT_EQ(g_optMaxLive.value(), 120);
    EXPECT_EQ(g_optMaxLive.setClamped(999), 300);
    EXPECT_EQ(g_optMaxLive.setClamped(-7), -1);
    EXPECT_EQ(g_optMaxLive.setClamped(std::int64_t{1} << 40), 300);

    EXPECT_FALSE(g_optMaxFitFl.set(24.5));
    EXPECT_EQ(g_optMaxFitFl.setClamped(0.1), 0.5);

    g_optMsfs2020.set(false);
    EXPECT_FALSE(g_simIs2020.load());
    g_optMsfs2020.set(true);
    EXPECT_TRUE(g_simIs2020.load());
}

TEST(SettingsStore, FirstStartWritesEveryDefaultAndAChangeIsSavedAtOnce)
{
    SettingsSandbox sandbox;
    ASSERT_TRUE(gf_loadSettings());
    EXPECT_EQ(g_rangeMeters.load(), 40u * 1852u + 10000u);

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(sandbox.settingsPath().c_str()));
    EXPECT_TRUE(gf_checkMetaData(doc));
    for (Parameter* p : gf_allParameters()) {
        const pugi::xml_node node = doc.select_node(gf_parameterXPath(p->key()).c_str()).node();
        EXPECT_EQ(static_cast<bool>(node), p->stored()) << p->key();
    }
    EXPECT_STREQ(doc.select_node(gf_parameterXPath("MAX_FIT_FL").c_str()).node().attribute("value").value(), "24");

    g_optLog.set(false);
    ASSERT_TRUE(g_optLog.save());
    g_optBlockCallsign.set("DLH400,BAW1");
    ASSERT_TRUE(g_optBlockCallsign.save());
    g_optAirportRange.set(12);  // changed but not saved: must not reach the file
    const std::string text = readFile(sandbox.settingsPath());
    EXPECT_NE(text.find("name=\"LOG\" value=\"false\""), std::string::npos) << text;
    EXPECT_NE(text.find("name=\"BLOCK_CALLSIGN\" value=\"DLH400,BAW1\""), std::string::npos) << text;
    EXPECT_NE(text.find("name=\"AIRPORT_RANGE\" value=\"20\""), std::string::npos) << text;

    // A new start reads them back.
    gf_resetSettingsStore();
    for (Parameter* p : gf_allParameters())
        p->resetToDefault();
    ASSERT_TRUE(gf_loadSettings());
    EXPECT_FALSE(g_optLog.value());
    EXPECT_EQ(g_optBlockCallsign.value(), "DLH400,BAW1");
    EXPECT_EQ(g_optAirportRange.value(), 20);

    // gf_saveSettings (at exit) writes every current value.
    g_optAirportRange.set(12);
    g_optMaxFitFl.set(3.5);
    ASSERT_TRUE(gf_saveSettings());
    const std::string saved = readFile(sandbox.settingsPath());
    EXPECT_NE(saved.find("name=\"AIRPORT_RANGE\" value=\"12\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("name=\"MAX_FIT_FL\" value=\"3.5\""), std::string::npos) << saved;
}

TEST(SettingsStore, MissingKeyAddedUnknownRemovedOutOfRangeClamped)
{
    SettingsSandbox sandbox;
    writeFile(sandbox.settingsPath(),
              "<?xml version=\"1.0\"?>\n"
              "<meta><info name=\"author\" value=\"someone\"/><info name=\"date\" value=\"2024-01-01\"/>"
              "<info name=\"version\" value=\"9.9.9\"/></meta>\n"
              "<parameters>\n"
              "  <parameter name=\"LOG\" value=\"false\"/>\n"
              "  <parameter name=\"COLLISION_USER_GND\" value=\"maybe\"/>\n"
              "  <parameter name=\"COLLISION_USER_AIR\" value=\" No \"/>\n"
              "  <parameter name=\"OLD_SETTING\" value=\"1\"/>\n"
              "  <parameter name=\"AIRPORT_RANGE\" value=\"99\"/>\n"
              "  <parameter name=\"MAX_LIVE\" value=\"-40\"/>\n"
              "  <parameter name=\"AIRPORT_HEIGHT\" value=\"high\"/>\n"
              "  <parameter name=\"LATERAL_RANGE\" value=\"60\"/>\n"
              "  <parameter name=\"LATERAL_RANGE\" value=\"80\"/>\n"
              "  <parameter name=\"DESTINATION\" value=\"EDDF\"/>\n"
              "</parameters>\n");
    ASSERT_TRUE(gf_loadSettings());

    EXPECT_FALSE(g_optLog.value());
    EXPECT_TRUE(g_optCollisionUserGnd.value()) << "not a yes or no: the default";
    EXPECT_FALSE(g_optCollisionUserAir.value()) << "\" No \" is no";
    EXPECT_EQ(g_optAirportRange.value(), 30);
    EXPECT_EQ(g_optMaxLive.value(), -1);
    EXPECT_EQ(g_optAirportHeight.value(), 18000);
    EXPECT_EQ(g_optLateralRange.value(), 60);  // the first of two
    EXPECT_EQ(g_rangeMeters.load(), 60u * 1852u + 10000u);
    EXPECT_EQ(g_optDestination.value(), "EDDF");
    EXPECT_EQ(g_optWeek.value(), false);  // missing: default
    EXPECT_EQ(g_metaVersion.value(), "9.9.9");

    const std::string log = sandbox.logText();
    EXPECT_NE(log.find("parameters.xml: unknown setting \"OLD_SETTING\" removed"), std::string::npos) << log;
    EXPECT_NE(log.find("===> parameters.xml: AIRPORT_RANGE 99 is outside 8..30, set to 30"), std::string::npos) << log;
    EXPECT_NE(log.find("===> parameters.xml: MAX_LIVE -40 is outside -1..300, set to -1"), std::string::npos) << log;
    EXPECT_NE(log.find("===> parameters.xml: AIRPORT_HEIGHT \"high\" is not a whole number, default 18000 used"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("===> parameters.xml: COLLISION_USER_GND \"maybe\" is not true or false, default true used"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("COLLISION_USER_AIR"), std::string::npos) << log;
    EXPECT_NE(log.find("parameters.xml: WEEK added with default false"), std::string::npos) << log;

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(sandbox.settingsPath().c_str()));
    const auto valueOf = [&doc](const char* key) {
        return std::string(doc.select_node(gf_parameterXPath(key).c_str()).node().attribute("value").value());
    };
    EXPECT_FALSE(doc.select_node(gf_parameterXPath("OLD_SETTING").c_str()));
    EXPECT_EQ(doc.select_nodes(gf_parameterXPath("LATERAL_RANGE").c_str()).size(), 1u);
    EXPECT_EQ(valueOf("AIRPORT_RANGE"), "30");
    EXPECT_EQ(valueOf("AIRPORT_HEIGHT"), "18000");
    EXPECT_EQ(valueOf("WEEK"), "false");
    EXPECT_EQ(valueOf("LOG"), "false");
    // The file now names this program as its writer.
    EXPECT_EQ(std::string(doc.child("meta").find_child_by_attribute("info", "name", "version").attribute("value").value()),
              g_metaVersion.defaultValue());
}

TEST(SettingsStore, OldFileWithoutMetaIsTakenAndGetsItsMetaBlock)
{
    SettingsSandbox sandbox;
    writeFile(sandbox.settingsPath(), "<parameters><parameter name=\"MAX_FIT\" value=\" +12 \"/></parameters>");
    ASSERT_TRUE(gf_loadSettings());
    EXPECT_EQ(g_optMaxFit.value(), 12);
    EXPECT_NE(sandbox.logText().find("===> meta data incorrect?"), std::string::npos);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(sandbox.settingsPath().c_str()));
    EXPECT_EQ(std::string(doc.first_child().name()), "meta");
    EXPECT_TRUE(gf_checkMetaData(doc));
}

TEST(SettingsStore, UnreadableFileIsKeptAsideAndDefaultsUsed)
{
    SettingsSandbox sandbox;
    const std::string broken = "<parameters><parameter name=\"LOG\" value=\"false\"";
    writeFile(sandbox.settingsPath(), broken);
    g_optLog.set(false);

    EXPECT_FALSE(gf_loadSettings());
    EXPECT_TRUE(g_optLog.value());  // default, not the broken file's value
    EXPECT_EQ(readFile(sandbox.folder() / "parameters.xml.corrupt"), broken);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(sandbox.settingsPath().c_str()));
    EXPECT_STREQ(doc.select_node(gf_parameterXPath("LOG").c_str()).node().attribute("value").value(), "true");
    const std::string log = sandbox.logText();
    EXPECT_NE(log.find("parameters.xml could not be read"), std::string::npos) << log;
    EXPECT_NE(log.find("parameters.xml.corrupt; default settings used"), std::string::npos) << log;

    // A second broken file does not replace the first one kept aside.
    writeFile(sandbox.settingsPath(), "not xml <");
    gf_resetSettingsStore();
    EXPECT_FALSE(gf_loadSettings());
    EXPECT_EQ(readFile(sandbox.folder() / "parameters.xml.corrupt"), broken);
    EXPECT_EQ(readFile(sandbox.folder() / "parameters.xml.corrupt1"), "not xml <");
}

TEST(SettingsStore, UnopenableFileIsNeitherSetAsideNorOverwritten)
{
    SettingsSandbox sandbox;
    std::filesystem::create_directory(sandbox.settingsPath());  // a folder where the file should be
    EXPECT_FALSE(gf_loadSettings());
    EXPECT_EQ(g_optMaxLive.value(), -1);
    g_optMaxLive.set(5);
    EXPECT_FALSE(g_optMaxLive.save());
    EXPECT_FALSE(gf_saveSettings());
    EXPECT_TRUE(std::filesystem::is_directory(sandbox.settingsPath()));
    EXPECT_FALSE(std::filesystem::exists(sandbox.folder() / "parameters.xml.corrupt"));
    EXPECT_NE(sandbox.logText().find("default settings used and not saved"), std::string::npos);
}

TEST(SettingsStore, SavesFromManyThreadsAllArrive)
{
    SettingsSandbox sandbox;
    ASSERT_TRUE(gf_loadSettings());
    IntParameter* const settings[] = {&g_optAirportHeight, &g_optAirportRange, &g_optMaxLive, &g_optCustomMaxPark,
                                      &g_optLateralRange,  &g_optMaxFit,       &g_optParkingPercentage,
                                      &g_optMaxHoldingMinutes};
    std::vector<std::thread> threads;
    for (IntParameter* s : settings)
        threads.emplace_back([s] {
            for (int i = 0; i < 20; ++i) {
                s->setClamped(s->minimum() + i);
                EXPECT_TRUE(s->save());
            }
        });
    for (auto& t : threads)
        t.join();

    gf_resetSettingsStore();
    for (IntParameter* s : settings)
        s->resetToDefault();
    ASSERT_TRUE(gf_loadSettings());
    for (IntParameter* s : settings)
        EXPECT_EQ(s->value(), std::min(s->minimum() + 19, s->maximum())) << s->key();
}

TEST(SettingsStore, ProgramFolderUnderTheRoamingFolder)
{
    tvxtest::TempFolder roaming;
    ASSERT_EQ(setenv("TAVIX_ROAMING_DIR", roaming.path().c_str(), 1), 0);
    ASSERT_TRUE(gf_initAppFolder());
    EXPECT_EQ(g_appFolder, roaming / "Tavix");
    EXPECT_TRUE(std::filesystem::is_directory(g_appFolder));
    EXPECT_EQ(gf_settingsPath(), roaming / "Tavix" / "parameters.xml");
    g_appFolder.clear();
    unsetenv("TAVIX_ROAMING_DIR");
}

TEST(SettingsXml, NodesAndXPathOfTheProgramsFiles)
{
    EXPECT_EQ(gf_parameterXPath("LOG"), "/parameters/parameter[@name='LOG']");

    pugi::xml_document doc;
    ASSERT_TRUE(gf_addMetaData(doc));
    ASSERT_TRUE(StringParameter::addNode(doc, "airport_name", "Frankfurt"));
    ASSERT_TRUE(IntParameter::addNode(doc, "LATERAL_RANGE", -12));
    ASSERT_TRUE(BoolParameter::setNode(doc, "WEEK", true));
    ASSERT_TRUE(BoolParameter::setNode(doc, "WEEK", false));  // updates, does not repeat
    ASSERT_TRUE(BoolParameter::setNode(doc, "PARK_FAKE", true));

    const pugi::xml_node parameters = doc.child("parameters");
    std::vector<std::pair<std::string, std::string>> found;
    for (const pugi::xml_node p : parameters.children("parameter"))
        found.emplace_back(p.attribute("name").value(), p.attribute("value").value());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"airport_name", "Frankfurt"}, {"LATERAL_RANGE", "-12"}, {"WEEK", "false"}, {"PARK_FAKE", "true"}};
    EXPECT_EQ(found, expected);
    EXPECT_EQ(doc.first_child().name(), std::string("meta"));

    std::vector<std::string> metaNames;
    for (const pugi::xml_node info : doc.child("meta").children("info"))
        metaNames.emplace_back(info.attribute("name").value());
    EXPECT_EQ(metaNames, (std::vector<std::string>{"author", "version", "date", "copyright", "MSFS"}));
}

TEST(SettingsXml, MetaCheckNeedsAuthorDateAndVersion)
{
    SettingsSandbox sandbox;
    pugi::xml_document complete;
    ASSERT_TRUE(complete.load_string("<meta><info name=\"author\" value=\"A\"/><info name=\"version\" value=\"2.0\"/>"
                                     "<info name=\"date\" value=\"D\"/></meta><parameters/>"));
    EXPECT_TRUE(gf_checkMetaData(complete));
    EXPECT_EQ(g_metaAuthor.value(), "A");
    EXPECT_EQ(g_metaVersion.value(), "2.0");
    EXPECT_EQ(g_metaDate.value(), "D");

    pugi::xml_document noDate;
    ASSERT_TRUE(noDate.load_string("<meta><info name=\"author\" value=\"A\"/><info name=\"version\" value=\"2.0\"/>"
                                   "</meta>"));
    EXPECT_FALSE(gf_checkMetaData(noDate));
    pugi::xml_document noMeta;
    ASSERT_TRUE(noMeta.load_string("<parameters/>"));
    EXPECT_FALSE(gf_checkMetaData(noMeta));
    const std::string log = sandbox.logText();
    const auto first = log.find("===> meta data incorrect?\n");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find("===> meta data incorrect?\n", first + 1), std::string::npos) << log;
}

}  // namespace
