// UserCfg.opt and the packages paths.
#include "liveries/packages.h"

#include <gtest/gtest.h>

#include "foundation/settings.h"
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

}  // namespace
