// The BGL decoding and the scan task on real files: an MSFS 2020 airport (EGTK, Oxford, 89
// parking entries), an MSFS scenery file without an airport section, and two Prepar3D airports
// whose airport record this program does not read. Skipped when the test data is not beside the
// project.
#include <set>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "foundation/settings.h"
#include "parking/bgl_decode.h"
#include "support/apf_files.h"
#include "support/bgl_scan_fixture.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

#define REQUIRE_REAL_BGL(folder)                                                          \
    const fs::path folder = tvxtest::realBglFolder();                                    \
    if (folder.empty())                                                                   \
        GTEST_SKIP() << "shared/testdata/msfs_bgl is not beside the project";

const ScannedStand* findStand(const ScannedAirport& airport, const std::string& name)
{
    for (const ScannedStand& p : airport.stands)
        if (p.name == name)
            return &p;
    return nullptr;
}

constexpr auto parameter = tvxtest::apfParameter;

}  // namespace

TEST(BglReal, EgtkStands)
{
    REQUIRE_REAL_BGL(data);
    tvxtest::ScanSandbox box;
    const fs::path egtk = data / "benjwri-egtk" / "scenery" / "polygon.bgl";
    EXPECT_TRUE(lf_hasAirportSection(egtk));

    std::vector<ScannedAirport> airports;
    ASSERT_TRUE(gf_decodeBglFile(egtk, airports));
    ASSERT_EQ(airports.size(), 1u);
    const ScannedAirport& airport = airports[0];
    EXPECT_EQ(airport.code, "EGTK");
    EXPECT_EQ(airport.altitude, 242);  // 73,833 mm
    // 89 entries: 70 of type 2, 9 of type 3, 1 of type 4 are stands; 1 fuel and 8 vehicle spots
    // are not. The name "1" occurs twice, on a fuel and a vehicle spot, so no stand gets a letter.
    EXPECT_EQ(airport.stands.size(), 80u);
    std::set<std::string> names;
    for (const ScannedStand& p : airport.stands) {
        names.insert(p.name.str());
        EXPECT_TRUE(p.ramp()) << p.name.view();
        EXPECT_FALSE(p.cargo()) << p.name.view();
        EXPECT_FALSE(p.heli()) << p.name.view();
        EXPECT_GE(p.radius() * 1852.0, 6.0 - 1e-9) << p.name.view();
        EXPECT_LE(p.radius() * 1852.0, 32.0 + 1e-9) << p.name.view();
        EXPECT_NEAR(p.lat(), 51.83, 0.01) << p.name.view();
        EXPECT_NEAR(p.lon(), -1.32, 0.02) << p.name.view();
    }
    EXPECT_EQ(names.size(), 80u);
    EXPECT_EQ(names.count("1"), 0u);
    EXPECT_EQ(airport.helipadCounter, 1u);

    // The first entry of the file.
    const ScannedStand* sp2 = findStand(airport, "sp2");
    ASSERT_NE(sp2, nullptr);
    EXPECT_NEAR(sp2->lat(), 51.830597, 1e-6);
    EXPECT_NEAR(sp2->lon(), -1.314635, 1e-6);
    EXPECT_NEAR(sp2->heading() * 57.29577951308232, 91.7184, 1e-4);
    EXPECT_NEAR(sp2->radius() * 1852.0, 12.0, 1e-9);
    EXPECT_NE(findStand(airport, "sep1"), nullptr);
    EXPECT_NE(findStand(airport, "ep9"), nullptr);
    EXPECT_TRUE(box.messages().empty());
}

TEST(BglReal, FilesWithNothingToRead)
{
    REQUIRE_REAL_BGL(data);
    tvxtest::ScanSandbox box;
    // Scenery objects only: no airport section, so the scan never decodes it.
    EXPECT_FALSE(lf_hasAirportSection(data / "benjwri-egtk" / "scenery" / "AIRPORT.BGL"));

    // Prepar3D airports: an airport section whose record (0x00AB) is not this simulator's.
    for (const char* name : {"KTST_TestAirport_v5.BGL", "KTST_TestAirport_v6.bgl"}) {
        const fs::path file = data / "p3d_bglreader_ktst" / name;
        EXPECT_TRUE(lf_hasAirportSection(file)) << name;
        std::vector<ScannedAirport> airports;
        EXPECT_TRUE(gf_decodeBglFile(file, airports)) << name;
        EXPECT_TRUE(airports.empty()) << name;
        for (bool is2020 : {true, false}) {
            g_optMsfs2020.set(is2020);
            EXPECT_NO_THROW(lf_toParkingPositions(file)) << name;
        }
    }
    EXPECT_FALSE(fs::exists(box.path() / "airports"));
    EXPECT_FALSE(fs::exists(box.path() / "TBLO"));
    EXPECT_TRUE(box.messages().empty());
}

TEST(BglReal, EgtkTaskGeneratesItsParkingFile)
{
    REQUIRE_REAL_BGL(data);
    tvxtest::ScanSandbox box;
    const fs::path egtk = data / "benjwri-egtk" / "scenery" / "polygon.bgl";
    lf_toParkingPositions(egtk);

    // The package's manifest is found by the folder route; its creator names no known publisher.
    EXPECT_TRUE(box.hasMessage((data / "benjwri-egtk" / "manifest.json").string() + " found"));
    EXPECT_TRUE(box.hasMessage("no valid info found in manifest about publisher, manufacturer:\"\", creator:\"Benjwri\" " +
                               egtk.string()));
    EXPECT_TRUE(box.hasMessage("===> EGTK has 80 parkpos while archived one has 0"));
    EXPECT_TRUE(box.hasMessage("Generated EGTK.xml: 80 positions"));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((box.path() / "airports" / "my_thirdparty" / "EGTK.xml").c_str()));
    EXPECT_EQ(parameter(doc, "publisher"), "unknown");
    EXPECT_EQ(parameter(doc, "altitude"), "242");
    EXPECT_EQ(parameter(doc, "num_parkpos"), "80");
    EXPECT_EQ(parameter(doc, "creator"), "Benjwri");
    EXPECT_EQ(parameter(doc, "manufacturer"), "");
    EXPECT_EQ(parameter(doc, "BGLpath"), egtk.string());
    std::vector<std::string> ids;
    for (const pugi::xml_node& p : doc.child("parkpositions").children("parkpos"))
        ids.push_back(p.attribute("id").as_string());
    ASSERT_EQ(ids.size(), 80u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    const pugi::xml_node sp2 = doc.child("parkpositions").find_child_by_attribute("parkpos", "id", "sp2");
    EXPECT_STREQ(sp2.attribute("latitude").as_string(), "51.830597");
    EXPECT_STREQ(sp2.attribute("longitude").as_string(), "-1.314635");
    EXPECT_STREQ(sp2.attribute("heading").as_string(), "91.7");
    EXPECT_STREQ(sp2.attribute("radius").as_string(), "12.0");
    EXPECT_STREQ(sp2.attribute("ramp").as_string(), "true");
    EXPECT_STREQ(sp2.attribute("cargo").as_string(), "false");
}

TEST(BglReal, EgtkInACommunityPackageIsLinkedAndGenerated)
{
    REQUIRE_REAL_BGL(data);
    tvxtest::ScanSandbox box;
    // The package as the simulator installs it, copied into the sandbox for this test only.
    const fs::path package = box.path() / "Community" / "benjwri-egtk";
    fs::create_directories(package / "scenery");
    fs::copy_file(data / "benjwri-egtk" / "manifest.json", package / "manifest.json");
    fs::copy_file(data / "benjwri-egtk" / "scenery" / "polygon.bgl", package / "scenery" / "polygon.bgl");
    tvxtest::ScanSandbox::setPublishers(R"(<publishers><group name="Benjwri"><n>benjwri</n></group></publishers>
        <thirdparties20><publisher name="Benjwri"><e>EGTK45</e></publisher></thirdparties20>)");

    lf_toParkingPositions(package / "scenery" / "polygon.bgl");

    EXPECT_EQ(tvxtest::readFile(box.path() / "airports" / "my_thirdparty" / "EGTK.txt"),
              "archive/thirdparty/Benjwri/EGTK.xml\n");
    EXPECT_TRUE(box.hasMessage("===> EGTK has 80 parkpos while archived one has 45"));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((box.path() / "airports" / "my_thirdparty" / "EGTK.xml").c_str()));
    EXPECT_EQ(parameter(doc, "publisher"), "Benjwri");
    EXPECT_EQ(parameter(doc, "creator"), "<missing>");
}
