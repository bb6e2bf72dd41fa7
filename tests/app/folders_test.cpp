// Folder and position helpers: the no-position zone, the position text, the third-party list and
// emptying a folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/data_folders.h"
#include "foundation/position_text.h"
#include "support/app_sandbox.h"

namespace {

namespace fs = std::filesystem;
using tvxtest::AppSandbox;
using tvxtest::writeFile;

TEST(Folders, IsPositionSetBounds)
{
    struct Case {
        double lat, lon;
        bool set;
    };
    const Case cases[] = {
        {0.0, 0.0, false},       {0.0009, 0.05, false},  {0.0005, 0.025, false},
        {0.00091, 0.0, true},    {0.0, 0.0501, true},    {-0.0001, 0.0, true},
        {0.0, -0.0001, true},    {52.3086, 4.7639, true}, {0.0009, 0.0500001, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gf_isPositionSet(c.lat, c.lon), c.set) << c.lat << "," << c.lon;
}

TEST(Folders, LatLonTextSixDecimals)
{
    EXPECT_EQ(gf_latLonText(52.3086, 4.76389), "52.308600,4.763890");
    EXPECT_EQ(gf_latLonText(-33.9399228, -151.175275), "-33.939923,-151.175275");
}

TEST(Folders, ThirdPartyStemsOfFourCharactersWithXmlExtension)
{
    AppSandbox box;
    ASSERT_TRUE(gf_prepareDataFolders());
    for (const char* name : {"EHAM.xml", "LFPG.XML", "KJFK.Xml", "EGLLX.xml", "ABC.xml", "EDDF.txt", "LSZH"})
        writeFile(fs::path("airports/my_thirdparty") / name, "x");
    fs::create_directories("airports/my_thirdparty/EDDM.xml");  // a folder, not a file
    auto stems = gf_listThirdPartyFolders();
    std::sort(stems.begin(), stems.end());
    EXPECT_EQ(stems, (std::vector<std::string>{"EHAM", "KJFK", "LFPG"}));
    EXPECT_GE(stems.capacity(), 512u);

    fs::remove_all("airports/my_thirdparty");
    EXPECT_THROW(gf_listThirdPartyFolders(), fs::filesystem_error);
}

TEST(Folders, PrepareAndRemoveFolderFiles)
{
    AppSandbox box;
    ASSERT_TRUE(gf_prepareDataFolders());
    for (const char* folder : {"airports", "airports/my_thirdparty", "airports/my_simaddon", "airports/learned",
                               "output/info", "input"})
        EXPECT_TRUE(fs::is_directory(folder)) << folder;
    writeFile("output/info/a.txt", "a");
    writeFile("output/info/b.txt", "b");
    fs::create_directories("output/info/keep");
    gf_removeFolderFiles("output/info");
    EXPECT_FALSE(fs::exists("output/info/a.txt"));
    EXPECT_FALSE(fs::exists("output/info/b.txt"));
    EXPECT_TRUE(fs::is_directory("output/info/keep"));
    gf_removeFolderFiles("does/not/exist");  // nothing to do, no throw
}

}  // namespace
