// UserCfg.opt and the packages paths.
#include "liveries/packages.h"

#include <gtest/gtest.h>

#include "foundation/settings.h"
#include "support/settings_fixture.h"
#include "support/temp_folder.h"

namespace {

class PackagesTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        g_installPath2020.clear();
        g_installPath2024.clear();
        g_simIs2020 = true;
    }
};

TEST_F(PackagesTest, InstalledPackagesPathFromUserCfg)
{
    tvxtest::TempFolder folder;
    const auto packages = folder / "Packages Root";
    tvxtest::writeFile(folder / "UserCfg.opt",
                       "Version 1\r\nInstalledPackagesPath \"" + packages.string() +
                           "\"\r\n{Graphics\r\n");
    EXPECT_EQ(gf_readInstalledPackagesPath(folder / "UserCfg.opt"), packages);
    tvxtest::writeFile(folder / "plain.opt", "  InstalledPackagesPath D:\\MSFS\n");
    EXPECT_EQ(gf_readInstalledPackagesPath(folder / "plain.opt"), std::filesystem::path("D:\\MSFS"));
    tvxtest::writeFile(folder / "none.opt", "Version 1\nInstalledPackagesPath \"\"\n");
    EXPECT_EQ(gf_readInstalledPackagesPath(folder / "none.opt"), std::nullopt);
    EXPECT_EQ(gf_readInstalledPackagesPath(folder / "missing.opt"), std::nullopt);
}

TEST_F(PackagesTest, DetectionSetsTheSelectedSimulatorsRoot)
{
    tvxtest::TempFolder folder;
    const auto roaming = folder / "roaming";
    const auto local = folder / "local";
    // 2020: the Steam copy under roaming; 2024: the store copy under local.
    tvxtest::writeFile(roaming / "Microsoft Flight Simulator" / "UserCfg.opt",
                       "InstalledPackagesPath \"" + (folder / "p20").string() + "\"\n");
    tvxtest::writeFile(local / "Packages" / "Microsoft.Limitless_8wekyb3d8bbwe" / "LocalCache" /
                           "UserCfg.opt",
                       "InstalledPackagesPath \"" + (folder / "p24").string() + "\"\n");
    EXPECT_TRUE(gf_detectInstallPath(true, roaming, local));
    EXPECT_TRUE(gf_detectInstallPath(false, roaming, local));
    EXPECT_EQ(g_installPath2020, folder / "p20");
    EXPECT_EQ(g_installPath2024, folder / "p24");

    g_simIs2020 = true;
    EXPECT_EQ(gf_packagesPath("Community"), folder / "p20" / "Community");
    EXPECT_EQ(gf_liveryScanRoots(), (std::vector<std::filesystem::path>{
                                        folder / "p20" / "Official", folder / "p20" / "Community"}));
    g_simIs2020 = false;
    EXPECT_EQ(gf_packagesPath("Community"), folder / "p24" / "Community");
    EXPECT_EQ(gf_liveryScanRoots(),
              (std::vector<std::filesystem::path>{folder / "p24" / "Community"}));
    g_installPath2024.clear();
    EXPECT_TRUE(gf_packagesPath("Community").empty());
    EXPECT_TRUE(gf_liveryScanRoots().empty());
    EXPECT_FALSE(gf_detectInstallPath(false, folder / "nothing", folder / "nothing"));
}

// Before the settings are loaded neither simulator is selected: both are looked for, each one found
// keeps its packages root, and the log says where its Community folder is.
TEST_F(PackagesTest, CommunityFoldersOfBothSimulatorsBeforeTheSettings)
{
    tvxtest::SettingsSandbox box;
    const auto folder = box.folder().path();
    const auto roaming = folder / "roaming";
    const auto local = folder / "local";
    tvxtest::writeFile(local / "Packages" / "Microsoft.FlightSimulator_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
                       "InstalledPackagesPath \"" + (folder / "p20").string() + "\"\n");
    std::filesystem::create_directories(folder / "p20" / "Community");
    // The 2024 simulator's packages folder has no Community folder (yet).
    tvxtest::writeFile(roaming / "Microsoft Flight Simulator 2024" / "UserCfg.opt",
                       "InstalledPackagesPath \"" + (folder / "p24").string() + "\"\n");
    std::filesystem::create_directories(folder / "p24");

    EXPECT_EQ(gf_detectCommunityFolders(roaming, local), 1);
    EXPECT_EQ(g_installPath2020, folder / "p20");
    EXPECT_EQ(g_installPath2024, folder / "p24");
    const std::string log = box.logText();
    EXPECT_NE(log.find("MSFS 2020 Community folder: " + (folder / "p20" / "Community").string() + "\n"),
              std::string::npos) << log;
    EXPECT_NE(log.find("! MSFS 2024 Community folder " + (folder / "p24" / "Community").string() + " not found\n"),
              std::string::npos) << log;
    EXPECT_EQ(log.find("===>"), std::string::npos) << log;

    // No simulator installed: nothing found, nothing set, no line.
    g_installPath2020.clear();
    g_installPath2024.clear();
    const std::size_t before = box.logText().size();
    EXPECT_EQ(gf_detectCommunityFolders(folder / "nothing", folder / "nothing"), 0);
    EXPECT_TRUE(g_installPath2020.empty());
    EXPECT_TRUE(g_installPath2024.empty());
    EXPECT_EQ(box.logText().size(), before);
}

}  // namespace
