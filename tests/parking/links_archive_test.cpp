// Archive links, generated airport files and TBLO entries, driven through the scan task on BGL
// files built field by field in a temporary working folder.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "foundation/format.h"
#include "foundation/units.h"

#include "foundation/settings.h"
#include "parking/archive_links.h"
#include "parking/bgl_decode.h"
#include "support/apf_files.h"
#include "support/bgl_builder.h"
#include "support/bgl_scan_fixture.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using tvxtest::BglAirport;
using tvxtest::BglParkingEntry;

namespace {

BglAirport airportWith(const std::string& icao, int stands, int helipads = 0)
{
    BglAirport a;
    a.icao = icao;
    for (int i = 0; i < stands; ++i) {
        BglParkingEntry e;
        e.number = static_cast<std::uint32_t>(stands - i);  // written in reverse name order
        e.lat = 51.8 + 0.001 * i;
        a.parking.push_back(e);
    }
    for (int i = 0; i < helipads; ++i)
        a.helipads.push_back({51.7 + 0.001 * i, -1.2, 20.0f});
    return a;
}

fs::path writeAirportBgl(const fs::path& file, const std::vector<BglAirport>& airports,
                         const tvxtest::BglLayout& layout = {})
{
    tvxtest::writeBgl(file, tvxtest::buildAirportBgl(airports, layout).file.bytes());
    return file;
}

constexpr auto parameter = tvxtest::apfParameter;

}  // namespace

TEST(LinksGenerated, UnknownPublisherGetsAGeneratedFile)
{
    tvxtest::ScanSandbox box;
    g_airportNames["EGTK"] = "Oxford";
    const fs::path bgl = writeAirportBgl(box.path() / "addon" / "scenery" / "egtk.bgl", {airportWith("EGTK", 2, 1)});
    lf_toParkingPositions(bgl);

    const fs::path generated = box.path() / "airports" / "my_thirdparty" / "EGTK.xml";
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(generated.c_str())) << generated;
    EXPECT_EQ(parameter(doc, "airport_name"), "Oxford");
    EXPECT_EQ(parameter(doc, "publisher"), "unknown");
    EXPECT_EQ(parameter(doc, "altitude"), "242");
    EXPECT_EQ(parameter(doc, "num_parkpos"), "3");
    EXPECT_EQ(parameter(doc, "BGLpath"), bgl.string());
    EXPECT_EQ(parameter(doc, "LATERAL_RANGE"), "<missing>");

    // Stands sorted by name, in the scan's full form.
    std::vector<std::string> ids;
    for (const pugi::xml_node& p : doc.child("parkpositions").children("parkpos"))
        ids.push_back(p.attribute("id").as_string());
    EXPECT_EQ(ids, (std::vector<std::string>{"A1", "A2", "helipad1"}));
    const pugi::xml_node a1 = doc.child("parkpositions").child("parkpos");
    EXPECT_STREQ(a1.attribute("heading").as_string(), "90.0");
    EXPECT_STREQ(a1.attribute("radius").as_string(), "20.0");
    EXPECT_STREQ(a1.attribute("ramp").as_string(), "true");
    EXPECT_FALSE(a1.child("opt"));

    EXPECT_TRUE(box.hasMessage("Generated EGTK.xml: 3 positions, of which 1 helipad"));
    EXPECT_TRUE(box.hasMessage("===> EGTK has 3 parkpos while archived one has 0"));
    EXPECT_TRUE(g_addonAirportFound.load());
}

// A large airport of every parking type and name code, with helipads and same-named stands: the
// generated file is what the document writer saves (read back and saved again it is the same
// bytes), its stands are the decoded ones sorted by name as strings compare, and every number is
// the decoded value in the writer's form.
TEST(LinksGenerated, LargeGeneratedFileIsTheDocumentWritersText)
{
    tvxtest::ScanSandbox box;
    BglAirport airport;
    airport.icao = "EGLL";
    for (int i = 0; i < 3000; ++i) {
        BglParkingEntry e;
        e.nameCode = static_cast<std::uint32_t>(i % 64);
        e.type = static_cast<std::uint32_t>(1 + i % 16);
        e.number = static_cast<std::uint32_t>(1 + (i / 64) % 40);  // names repeat: lettered groups
        e.radius = 5.0f + static_cast<float>(i % 37) * 1.37f;
        e.heading = static_cast<float>(i) * 7.3f;
        e.lat = 51.4 + 0.0000137 * i;
        e.lon = -0.45 - 0.0000113 * i;
        e.airlineCodes = static_cast<std::uint32_t>(i % 3);
        airport.parking.push_back(e);
    }
    for (int h = 0; h < 40; ++h)
        airport.helipads.push_back({51.5 + 0.001 * h, -0.4, 15.0f + static_cast<float>(h)});
    const fs::path bgl = writeAirportBgl(box.path() / "addon" / "scenery" / "egll.bgl", {airport});
    lf_toParkingPositions(bgl);

    const std::string text = tvxtest::readFile(box.path() / "airports" / "my_thirdparty" / "EGLL.xml");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str()));
    std::ostringstream saved;
    doc.save(saved);
    EXPECT_EQ(saved.str(), text);

    std::vector<ScannedAirport> decoded;
    ASSERT_TRUE(gf_decodeBglFile(bgl, decoded));
    ASSERT_EQ(decoded.size(), 1u);
    std::vector<ScannedStand> stands = decoded[0].stands;
    std::sort(stands.begin(), stands.end(),
              [](const ScannedStand& a, const ScannedStand& b) { return std::strcmp(a.name.c_str(), b.name.c_str()) < 0; });
    std::size_t i = 0;
    std::size_t helipads = 0;
    for (const pugi::xml_node p : doc.child("parkpositions").children("parkpos")) {
        ASSERT_LT(i, stands.size());
        const ScannedStand& s = stands[i++];
        EXPECT_EQ(p.attribute("id").as_string(), s.name.view());
        EXPECT_EQ(p.attribute("latitude").as_string(), fmt::format("{:.6f}", s.lat())) << s.name.view();
        EXPECT_EQ(p.attribute("longitude").as_string(), fmt::format("{:.6f}", s.lon())) << s.name.view();
        EXPECT_EQ(p.attribute("heading").as_string(), fmt::format("{:.1F}", s.heading() * kRadToDeg)) << s.name.view();
        EXPECT_EQ(p.attribute("radius").as_string(), fmt::format("{:.1F}", s.radius() * kMetresPerNm)) << s.name.view();
        EXPECT_EQ(p.attribute("ramp").as_bool(), s.ramp());
        if (s.heli()) {
            ++helipads;
            EXPECT_TRUE(p.attribute("heli").as_bool());
            EXPECT_FALSE(p.attribute("cargo"));
        } else {
            EXPECT_EQ(p.attribute("cargo").as_string(), std::string(s.cargo() ? "true" : "false"));
        }
    }
    EXPECT_EQ(i, stands.size());
    EXPECT_EQ(helipads, 40u);
    EXPECT_GT(stands.size(), 2400u);
}

TEST(LinksGenerated, PositionAndHelipadPlurals)
{
    struct Case {
        int stands;
        int helipads;
        std::string message;
    };
    const Case cases[] = {
        {1, 0, "Generated LOWW.xml: 1 position"},
        {0, 2, "Generated LOWW.xml: 2 positions, of which 2 helipads"},
        {3, 0, "Generated LOWW.xml: 3 positions"},
    };
    for (const Case& c : cases) {
        tvxtest::ScanSandbox box;
        lf_toParkingPositions(writeAirportBgl(box.path() / "a.bgl", {airportWith("LOWW", c.stands, c.helipads)}));
        const auto messages = box.messages();
        EXPECT_NE(std::find(messages.begin(), messages.end(), c.message), messages.end()) << c.message;
    }
    // No stands at all: no file and no result.
    tvxtest::ScanSandbox box;
    lf_toParkingPositions(writeAirportBgl(box.path() / "a.bgl", {airportWith("LOWW", 0)}));
    EXPECT_FALSE(fs::exists(box.path() / "airports" / "my_thirdparty" / "LOWW.xml"));
    EXPECT_FALSE(g_addonAirportFound.load());
}

TEST(LinksGenerated, ThirdpartyLinkUsesEscapedPublisherKey)
{
    tvxtest::ScanSandbox box;
    tvxtest::ScanSandbox::setPublishers(R"(<publishers><group name="Big Sky"><n>bigsky</n></group></publishers>
        <thirdparties20><publisher name="Big Sky"><e>KBOI</e><e>KSUN5</e><e>KBZN12</e></publisher></thirdparties20>)");
    const fs::path bgl = writeAirportBgl(box.path() / "Community" / "bigsky-kbzn" / "kbzn.bgl", {airportWith("KBZN", 3)});
    lf_toParkingPositions(bgl);

    EXPECT_EQ(tvxtest::readFile(box.path() / "airports" / "my_thirdparty" / "KBZN.txt"),
              "archive/thirdparty/Big%20Sky/KBZN.xml\n");
    EXPECT_TRUE(box.hasMessage("thirdparty airport KBZN linked to archive/thirdparty/Big%20Sky/KBZN.xml"));
    // 3 stands against 12 archived: no generated file.
    EXPECT_FALSE(fs::exists(box.path() / "airports" / "my_thirdparty" / "KBZN.xml"));
    EXPECT_TRUE(g_addonAirportFound.load());

    // More stands than the archive: linked and generated.
    lf_toParkingPositions(writeAirportBgl(box.path() / "Community" / "bigsky-ksun" / "ksun.bgl", {airportWith("KSUN", 6)}));
    EXPECT_TRUE(fs::exists(box.path() / "airports" / "my_thirdparty" / "KSUN.txt"));
    EXPECT_TRUE(fs::exists(box.path() / "airports" / "my_thirdparty" / "KSUN.xml"));
    EXPECT_TRUE(box.hasMessage("===> KSUN has 6 parkpos while archived one has 5"));

    // Not in the list: reported, generated from the stands.
    lf_toParkingPositions(writeAirportBgl(box.path() / "Community" / "bigsky-kxyz" / "kxyz.bgl", {airportWith("KXYZ", 1)}));
    EXPECT_TRUE(box.hasMessage("thirdparty Big Sky KXYZ does not exist"));
    EXPECT_FALSE(fs::exists(box.path() / "airports" / "my_thirdparty" / "KXYZ.txt"));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((box.path() / "airports" / "my_thirdparty" / "KXYZ.xml").c_str()));
    EXPECT_EQ(parameter(doc, "publisher"), "Big Sky");
    EXPECT_EQ(parameter(doc, "BGLpath"), "<missing>");  // only for publisher "unknown"
}

TEST(LinksGenerated, SimaddonLinks)
{
    tvxtest::ScanSandbox box;
    tvxtest::ScanSandbox::setPublishers("<simaddons20>LFPG EHAM</simaddons20>");
    lf_toParkingPositions(
        writeAirportBgl(box.path() / "Official" / "asobo-airport-lfpg" / "lfpg.bgl", {airportWith("LFPG", 40)}));
    EXPECT_EQ(tvxtest::readFile(box.path() / "airports" / "my_simaddon" / "LFPG.txt"), "archive/simaddon/LFPG.xml\n");
    EXPECT_TRUE(box.hasMessage("simaddon airport LFPG linked to archive/simaddon/LFPG.xml"));
    // simaddon airports are never generated beside their link, nor reported as larger.
    EXPECT_FALSE(fs::exists(box.path() / "airports" / "my_simaddon" / "LFPG.xml"));
    EXPECT_FALSE(box.hasMessage("LFPG has"));

    lf_toParkingPositions(
        writeAirportBgl(box.path() / "Official" / "microsoft-airport-lowi" / "lowi.bgl", {airportWith("LOWI", 2)}));
    EXPECT_TRUE(box.hasMessage("LOWI does not exist as simaddon"));
    EXPECT_TRUE(fs::exists(box.path() / "airports" / "my_simaddon" / "LOWI.xml"));
}

TEST(LinksGenerated, LinkedAirportIsDoneFor2024)
{
    tvxtest::ScanSandbox box;
    g_optMsfs2020.set(false);
    tvxtest::ScanSandbox::setPublishers(R"(<publishers><group name="Big Sky"><n>bigsky</n></group></publishers>
        <thirdparties24><publisher name="Big Sky"><e>KSUN5</e></publisher></thirdparties24>)");
    lf_toParkingPositions(writeAirportBgl(box.path() / "Community" / "bigsky-ksun" / "ksun.bgl", {airportWith("KSUN", 9)}));
    EXPECT_TRUE(fs::exists(box.path() / "airports" / "my_thirdparty" / "KSUN.txt"));
    EXPECT_FALSE(fs::exists(box.path() / "airports" / "my_thirdparty" / "KSUN.xml"));
    EXPECT_FALSE(box.hasMessage("KSUN has"));
}

TEST(LinksTblo, UnrecognisedAirportByStemGetsATbloEntry)
{
    tvxtest::ScanSandbox box;
    g_optMsfs2020.set(false);
    g_airports = {{"EGTK", "OXF", 51.8, -1.3, 270.0}, {"KBZN", "BZN", 45.8, -111.1, 4473.0}};
    tvxtest::BglLayout layout;
    layout.recordsBefore = {0x0113};
    const fs::path package = box.path() / "Community" / "oxford";
    tvxtest::writeFile(package / "manifest.json",
                       R"({"title":"Oxford Airport","creator":"Benjwri","manufacturer":"BW"})");
    const fs::path bgl = writeAirportBgl(package / "scenery" / "egtk.bgl", {airportWith("EGTK", 3)}, layout);
    lf_toParkingPositions(bgl);

    EXPECT_TRUE(box.hasMessage("\n==> Not recognised airport " + bgl.string()));
    EXPECT_TRUE(box.hasMessage("Not recognised airport has ICAO code \"EGTK\" as BGL stem"));
    EXPECT_TRUE(box.hasMessage("==> TBLO entry EGTK.xml created "));
    EXPECT_EQ(tvxtest::readFile(box.path() / "TBLO" / "EGTK.xml"),
              bgl.string() + "\nEGTK by unknown, title: Oxford Airport crea: Benjwri manu: BW\n");
    EXPECT_EQ(g_tbloCount.load(), 1);
    // Nothing of the record itself was decoded.
    EXPECT_FALSE(fs::exists(box.path() / "airports" / "my_thirdparty" / "EGTK.xml"));
}

TEST(LinksTblo, UnrecognisedAirportByManifestTitleAndPath)
{
    tvxtest::ScanSandbox box;
    g_optMsfs2020.set(false);
    g_airports = {{"EGLL", "", 51.4, -0.4, 83.0}, {"EGTK", "OXF", 51.8, -1.3, 270.0}};
    tvxtest::BglLayout layout;
    layout.recordsBefore = {0x0113};

    // The title starts with the code.
    const fs::path titled = box.path() / "Community" / "pkg-a";
    tvxtest::writeFile(titled / "manifest.json", R"({"title":"EGTK Oxford","creator":"X"})");
    lf_toParkingPositions(writeAirportBgl(titled / "scenery" / "airport.bgl", {airportWith("EGTK", 1)}, layout));
    EXPECT_TRUE(box.hasMessage("Not recognised airport has ICAO \"EGTK\" in title \"EGTK Oxford\" of manifest"));

    // The code between dashes in the path.
    const fs::path dashed = box.path() / "Community" / "maker-egll-heathrow";
    tvxtest::writeFile(dashed / "manifest.json", R"({"title":"Heathrow"})");
    const fs::path bgl = writeAirportBgl(dashed / "scenery" / "airport.bgl", {airportWith("EGLL", 1)}, layout);
    lf_toParkingPositions(bgl);
    EXPECT_TRUE(box.hasMessage("Not recognised airport has ICAO \"EGLL\" in BGL path \"" + bgl.string() + "\""));
    EXPECT_EQ(g_tbloCount.load(), 2);

    // Neither: lost, no entry.
    const fs::path lost = box.path() / "Community" / "mystery";
    tvxtest::writeFile(lost / "manifest.json", R"({"title":"Somewhere"})");
    const fs::path lostBgl = writeAirportBgl(lost / "scenery" / "airport.bgl", {airportWith("EGLL", 1)}, layout);
    lf_toParkingPositions(lostBgl);
    EXPECT_TRUE(box.hasMessage("==================> Not recognised airport lost ... \"" + lostBgl.string() + "\""));
    // Without a manifest: no code and no further word.
    const fs::path bare = box.path() / "Community" / "bare";
    lf_toParkingPositions(writeAirportBgl(bare / "scenery" / "airport.bgl", {airportWith("EGLL", 1)}, layout));
    EXPECT_EQ(g_tbloCount.load(), 2);
}

TEST(LinksTblo, UnrecognisedAirportCoveredByTheArchiveIsLinked)
{
    tvxtest::ScanSandbox box;
    g_optMsfs2020.set(false);
    g_airports = {{"KBZN", "BZN", 45.8, -111.1, 4473.0}};
    tvxtest::ScanSandbox::setPublishers(R"(<publishers><group name="Big Sky"><n>bigsky</n></group></publishers>
        <thirdparties24><publisher name="Big Sky"><e>KBZN12</e></publisher></thirdparties24>)");
    tvxtest::BglLayout layout;
    layout.recordsBefore = {0x0113};
    lf_toParkingPositions(writeAirportBgl(box.path() / "Community" / "bigsky-x" / "KBZN.BGL", {airportWith("KBZN", 1)}, layout));
    EXPECT_TRUE(fs::exists(box.path() / "airports" / "my_thirdparty" / "KBZN.txt"));
    EXPECT_FALSE(fs::exists(box.path() / "TBLO"));
    EXPECT_EQ(g_tbloCount.load(), 0);
}
