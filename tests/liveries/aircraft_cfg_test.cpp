// aircraft.cfg parsing: encodings, comments, quotes, key case, fallbacks, real files.
#include "liveries/aircraft_cfg.h"

#include <gtest/gtest.h>

#include "support/liveries_fixture.h"
#include "support/temp_folder.h"

namespace {

using tvxtest::CfgEncoding;

const std::string kR11 =
    "[GENERAL]\n"
    "icao_type_designator=\"B738\"\n"
    "[FLTSIM.0]\n"
    "title=\"Test B738 KLM\"\n"
    "atc_airline=\"KLM\"\n"
    "icao_airline=\"KLM\"\n"
    "atc_id=\"PH-BXA\"\n";

AircraftCfg lf_parse(const std::string& bytes)
{
    AircraftCfg cfg;
    std::string error;
    EXPECT_TRUE(gf_parseAircraftCfg(bytes, cfg, error)) << error;
    return cfg;
}

TEST(AircraftCfg, SameLiveryFromEveryEncoding)
{
    for (auto enc : {CfgEncoding::Utf8, CfgEncoding::Utf8Bom, CfgEncoding::Utf16Le,
                     CfgEncoding::Utf16Be}) {
        std::string crlf;
        for (char c : kR11) {
            if (c == '\n')
                crlf += '\r';
            crlf += c;
        }
        for (const std::string& text : {kR11, crlf}) {
            const AircraftCfg cfg = lf_parse(tvxtest::encodeCfg(text, enc));
            EXPECT_EQ(cfg.acType, "B738");
            ASSERT_EQ(cfg.liveries.size(), 1u) << static_cast<int>(enc);
            const LiveryData& l = cfg.liveries[0];
            EXPECT_EQ(l.title, "Test B738 KLM");
            EXPECT_EQ(l.airline, "KLM");
            EXPECT_EQ(l.acType, "B738");
            EXPECT_EQ(l.atcId, "PH-BXA");
            EXPECT_EQ(l.cargo, 0);
        }
    }
}

TEST(AircraftCfg, CommentsUnquotedValuesKeyCaseAndFallbacks)
{
    const std::string text =
        "; header comment\n"
        "[General]\n"
        "ATC_MODEL = \"TT:ATCCOM.AC_MODEL A20N.0.text\" ; model\n"
        "[fltsim.0]\n"
        "Title = Unquoted Freighter ; trailing comment\n"
        "ATC_AIRLINE = \"Speedbird\"\n"
        "atc_id = G-ABCD;no space\n"
        "// another comment\n"
        "[FLTSIM.1]\n"
        "title = \"Semi; colon inside\" ; comment\n"
        "icao_airline = \"\"\n"
        "atc_airline = \"DLH\"\n"
        "[FLTSIM.2]\n"
        "atc_id = \"NOTITLE\"\n"
        "[broken section\n"
        "[FLTSIM.3]\n"
        "title=\"CARGO Express\"\n"
        "icao_airline=BCS\n";
    const AircraftCfg cfg = lf_parse(text);
    EXPECT_EQ(cfg.acType, "A20N");
    ASSERT_EQ(cfg.liveries.size(), 3u);
    EXPECT_EQ(cfg.liveries[0].title, "Unquoted Freighter");
    EXPECT_EQ(cfg.liveries[0].airline, "Speedbird");  // atc_airline when icao_airline is missing
    EXPECT_EQ(cfg.liveries[0].atcId, "G-ABCD");
    EXPECT_EQ(cfg.liveries[0].cargo, 1);
    EXPECT_EQ(cfg.liveries[1].title, "Semi; colon inside");
    EXPECT_EQ(cfg.liveries[1].airline, "DLH");  // an empty icao_airline falls back too
    EXPECT_EQ(cfg.liveries[1].cargo, 0);
    EXPECT_EQ(cfg.liveries[2].title, "CARGO Express");
    EXPECT_EQ(cfg.liveries[2].airline, "BCS");
    EXPECT_EQ(cfg.liveries[2].cargo, 1);
}

// Regression: a section's airline and ATC id leaked into the next [FLTSIM.n], so a house livery
// written after an airline's livery was taken as that airline's.
TEST(AircraftCfg, HouseLiveryAfterAnAirlineLiveryInheritsNothing)
{
    const std::string text =
        "[GENERAL]\n"
        "icao_type_designator = \"A320\"\n"
        "[FLTSIM.0]\n"
        "title = \"A320 Wizz Air\"\n"
        "icao_airline = \"WZZ\"\n"
        "atc_airline = \"Wizz Air\"\n"
        "atc_id = \"HA-LWA\"\n"
        "[FLTSIM.1]\n"
        "title = \"A320 House\"\n";
    const AircraftCfg cfg = lf_parse(text);
    ASSERT_EQ(cfg.liveries.size(), 2u);
    EXPECT_EQ(cfg.liveries[0].airline, "WZZ");
    EXPECT_EQ(cfg.liveries[0].atcId, "HA-LWA");
    EXPECT_EQ(cfg.liveries[1].title, "A320 House");
    EXPECT_EQ(cfg.liveries[1].airline, "");
    EXPECT_EQ(cfg.liveries[1].atcId, "");
}

TEST(AircraftCfg, TypeFromAtcModel)
{
    EXPECT_EQ(gf_typeFromAtcModel("TT:ATCCOM.AC_MODEL A388.0.text"), "A388");
    EXPECT_EQ(gf_typeFromAtcModel("TT:ATCCOM.AC_MODEL_B738.0.text"), "B738");
    EXPECT_EQ(gf_typeFromAtcModel(" C172 "), "C172");
}

TEST(AircraftCfg, BadInput)
{
    // A title that is not valid UTF-8 is skipped and counted; the others stay.
    const AircraftCfg cfg = lf_parse("[GENERAL]\nicao_type_designator=B738\n[FLTSIM.0]\ntitle=\"Bad \xC3\x28\"\n"
                                     "[FLTSIM.1]\ntitle=\"Good\"\n");
    EXPECT_EQ(cfg.badTitles, 1u);
    ASSERT_EQ(cfg.liveries.size(), 1u);
    EXPECT_EQ(cfg.liveries[0].title, "Good");

    AircraftCfg broken;
    std::string error;
    EXPECT_FALSE(gf_parseAircraftCfg(std::string("\xFF\xFE\x41", 3), broken, error));
    EXPECT_EQ(error, "UTF-16 file with an odd number of bytes");
    EXPECT_FALSE(gf_parseAircraftCfg(std::string("\xFF\xFE\x00\xD8\x41\x00", 6), broken, error));
    EXPECT_NE(error.find("UTF-16 text not valid"), std::string::npos);

    // No sections at all, or sections without titles: nothing, no failure.
    EXPECT_TRUE(lf_parse("title=\"Orphan\"\n").liveries.empty());
    EXPECT_TRUE(lf_parse("").liveries.empty());
}

TEST(AircraftCfg, Utf8Validation)
{
    EXPECT_TRUE(gf_isValidUtf8("plain"));
    EXPECT_TRUE(gf_isValidUtf8("K\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x9B\xAB"));
    EXPECT_FALSE(gf_isValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(gf_isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(gf_isValidUtf8("\xE2\x82"));          // cut short
    EXPECT_FALSE(gf_isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

TEST(AircraftCfg, RealFilesOfBothLayouts)
{
    const auto testdata = tvxtest::sharedTestdata();
    if (testdata.empty())
        GTEST_SKIP() << "shared/testdata not present beside the project (TAVIX_SOURCE_DIR)";
    const auto folder = testdata / "msfs_aircraft_cfg" / "flybywire";

    // 2020 layout: type in [GENERAL], capitalised Title, value then ';' without a space.
    AircraftCfg a380 = lf_parse(tvxtest::readFile(folder / "A380_842_2020_aircraft.cfg"));
    EXPECT_EQ(a380.acType, "A388");
    ASSERT_EQ(a380.liveries.size(), 1u);
    EXPECT_EQ(a380.liveries[0].title, "FlyByWire A380X");
    EXPECT_EQ(a380.liveries[0].atcId, "FBWA380X");
    EXPECT_EQ(a380.liveries[0].airline, "");

    // 2024 presets layout: no [GENERAL]; the livery keeps its fields, the type comes from the
    // model folder during the scan.
    AircraftCfg preset = lf_parse(tvxtest::readFile(folder / "A380X_2024_preset_aircraft.cfg"));
    EXPECT_EQ(preset.acType, "");
    ASSERT_EQ(preset.liveries.size(), 1u);
    EXPECT_EQ(preset.liveries[0].title, "FlyByWire A380X (A380-842)");
    EXPECT_EQ(preset.liveries[0].airline, "FlyByWire");

    // Livery-only package: base container, trailing comments after the values.
    AircraftCfg livery = lf_parse(tvxtest::readFile(folder / "A32NX_Asobo_A320_NEO-LIVERY_aircraft.cfg"));
    EXPECT_EQ(livery.baseContainer, "..\\Asobo_A320_NEO");
    ASSERT_EQ(livery.liveries.size(), 1u);
    EXPECT_EQ(livery.liveries[0].title, "FlyByWire A320 NEO");
    EXPECT_EQ(livery.liveries[0].atcId, "A32NX");
    EXPECT_EQ(livery.liveries[0].airline, "FBWSIM");

    // A 2024 livery.cfg has no [FLTSIM.n]: nothing.
    EXPECT_TRUE(lf_parse(tvxtest::readFile(folder / "A380X_2024_livery.cfg")).liveries.empty());
}

}  // namespace
