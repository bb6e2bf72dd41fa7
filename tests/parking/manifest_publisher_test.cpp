// Package manifests and publisher detection: the package route under Community, the folder route,
// the rules in their order (file name, database groups, manifest manufacturer, then creator) and
// broken manifests.
#include <gtest/gtest.h>

#include "parking/package_manifest.h"
#include "support/bgl_scan_fixture.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const char* kGroups = R"(<publishers>
    <group name="Big Sky"><n>bigsky</n></group>
    <group name="FlyTampa"><n>flytampa</n><n>fly*tampa</n></group>
  </publishers>)";

fs::path bglIn(const fs::path& folder)
{
    const fs::path bgl = folder / "scenery" / "airport.bgl";
    fs::create_directories(bgl.parent_path());
    tvxtest::writeFile(bgl, "x");
    return bgl;
}

}  // namespace

TEST(ManifestPublisher, FileNameRuleNeedsNoManifest)
{
    tvxtest::ScanSandbox box;
    const fs::path package = box.path() / "Official" / "OneStore" / "asobo-airport-lfpg-paris";
    tvxtest::writeFile(package / "manifest.json", R"({"creator":"FlyTampa"})");
    const PublisherInfo info = gf_detectPublisher(bglIn(package).string());
    EXPECT_EQ(info.publisher, "simaddon");
    EXPECT_TRUE(info.creator.empty());
    EXPECT_TRUE(box.hasMessage("from filename => publisher simaddon"));
    EXPECT_FALSE(box.hasMessage(" found"));
}

TEST(ManifestPublisher, DatabaseRuleOnThePath)
{
    tvxtest::ScanSandbox box;
    tvxtest::ScanSandbox::setPublishers(kGroups);
    const fs::path package = box.path() / "Community" / "fly-x-tampa-eham";
    const PublisherInfo info = gf_detectPublisher(bglIn(package).string());
    EXPECT_EQ(info.publisher, "FlyTampa");
    EXPECT_TRUE(box.hasMessage("publisher \"FlyTampa\" found"));
}

TEST(ManifestPublisher, ManifestManufacturerThenCreator)
{
    struct Case {
        std::string manifest;
        std::string publisher;
        std::string message;
    };
    const Case cases[] = {
        {R"({"manufacturer":"BigSky Sceneries","creator":"FlyTampa","title":"KXYZ"})", "Big Sky",
         "from manifest.json: manufacturer \"BigSky Sceneries\" => publisher \"Big Sky\""},
        {R"({"manufacturer":null,"creator":"FlyTampa team","title":"KXYZ"})", "FlyTampa",
         "from manifest.json creator \"FlyTampa team\" => publisher \"FlyTampa\""},
        {R"({"manufacturer":"Nobody","creator":"Someone","title":"KXYZ Airport"})", "unknown",
         "no valid info found in manifest about publisher, manufacturer:\"Nobody\", creator:\"Someone\" "},
    };
    for (const Case& c : cases) {
        tvxtest::ScanSandbox box;
        tvxtest::ScanSandbox::setPublishers(kGroups);
        const fs::path package = box.path() / "Community" / "pkg-kxyz";
        tvxtest::writeFile(package / "manifest.json", c.manifest);
        const fs::path bgl = bglIn(package);
        const PublisherInfo info = gf_detectPublisher(bgl.string());
        EXPECT_EQ(info.publisher, c.publisher) << c.manifest;
        EXPECT_EQ(info.title.substr(0, 4), "KXYZ") << c.manifest;
        EXPECT_TRUE(box.hasMessage(c.message)) << c.manifest;
        EXPECT_TRUE(box.hasMessage((package / "manifest.json").string() + " found")) << c.manifest;
        EXPECT_TRUE(box.hasMessage("\nTry find publisher in: " + bgl.string())) << c.manifest;
    }
    // The third case keeps the manifest's texts.
    tvxtest::ScanSandbox box;
    const fs::path package = box.path() / "Community" / "pkg-kxyz";
    tvxtest::writeFile(package / "manifest.json", cases[2].manifest);
    const PublisherInfo info = gf_detectPublisher(bglIn(package).string());
    EXPECT_EQ(info.manufacturer, "Nobody");
    EXPECT_EQ(info.creator, "Someone");
    EXPECT_EQ(info.title, "KXYZ Airport");
}

TEST(ManifestPublisher, NoManifestAnywhere)
{
    tvxtest::ScanSandbox box;
    const fs::path package = box.path() / "Community" / "pkg-without";
    const ManifestInfo manifest = lf_searchManifest(bglIn(package).string());
    EXPECT_FALSE(manifest.found);
    const PublisherInfo info = gf_detectPublisher(bglIn(package).string());
    EXPECT_EQ(info.publisher, "unknown");
    EXPECT_TRUE(box.hasMessage("===> No publisher found"));
}

TEST(ManifestPublisher, FolderRouteFindsTheTopmostManifest)
{
    tvxtest::ScanSandbox box;
    // Outside Community: the folders above the file are tried from the top down.
    const fs::path outer = box.path() / "addons" / "egtk";
    tvxtest::writeFile(outer / "manifest.json", R"({"title":"outer"})");
    tvxtest::writeFile(outer / "scenery" / "manifest.json", R"({"title":"inner"})");
    EXPECT_EQ(lf_searchManifest(bglIn(outer).string()).title, "outer");

    // A manifest that cannot be read (empty) is passed over.
    tvxtest::writeFile(outer / "manifest.json", "");
    EXPECT_EQ(lf_searchManifest(bglIn(outer).string()).title, "inner");

    // Names are exact: Manifest.json and manifest.JSON are not manifests.
    const fs::path other = box.path() / "addons" / "other";
    tvxtest::writeFile(other / "Manifest.json", R"({"title":"x"})");
    tvxtest::writeFile(other / "manifest.JSON", R"({"title":"x"})");
    EXPECT_TRUE(lf_findManifestFile(other).empty());
    EXPECT_TRUE(lf_findManifestFile(other / "missing").empty());
}

TEST(ManifestPublisher, BrokenManifestsAreReported)
{
    struct Case {
        std::string manifest;
        std::string message;
    };
    const Case cases[] = {
        {R"({"title": "EGTK", )", "exception in lf_searchManifest: [json.exception.parse_error"},
        {R"({"title": 42})", "exception in lf_searchManifest: [json.exception.type_error"},
    };
    for (const Case& c : cases) {
        tvxtest::ScanSandbox box;
        const fs::path package = box.path() / "Community" / "broken";
        tvxtest::writeFile(package / "manifest.json", c.manifest);
        EXPECT_FALSE(lf_searchManifest(bglIn(package).string()).found) << c.manifest;
        EXPECT_TRUE(box.hasMessage(c.message)) << c.manifest;
    }
}

TEST(ManifestPublisher, PackageRouteTakesTheCommunityPackage)
{
    tvxtest::ScanSandbox box;
    // A manifest higher up is not consulted when the package has its own, even an unreadable one.
    tvxtest::writeFile(box.path() / "manifest.json", R"({"title":"top"})");
    const fs::path package = box.path() / "Community" / "pkg";
    tvxtest::writeFile(package / "manifest.json", R"({"title":"package","creator":"C"})");
    const ManifestInfo found = lf_searchManifest(bglIn(package).string());
    EXPECT_TRUE(found.found);
    EXPECT_EQ(found.title, "package");
    tvxtest::writeFile(package / "manifest.json", "");
    EXPECT_FALSE(lf_searchManifest(bglIn(package).string()).found);
}
