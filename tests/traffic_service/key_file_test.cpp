// The key file RealTraffic.lic: its template and the licence read from it.
#include <gtest/gtest.h>

#include "foundation/errors.h"
#include "support/temp_folder.h"
#include "traffic_service/key_file.h"

TEST(KeyFile, TemplateWrittenOnlyWhenMissing)
{
    tvxtest::TempFolder folder;
    EXPECT_TRUE(gf_writeKeyFileTemplate(folder.path()));
    EXPECT_EQ(tvxtest::readFile(folder / "RealTraffic.lic"), "{\n  \"License\": \"\"\n}\n");
    tvxtest::writeFile(folder / "RealTraffic.lic", "{\"License\":\"AAA-BBB\"}");
    EXPECT_FALSE(gf_writeKeyFileTemplate(folder.path()));
    EXPECT_EQ(tvxtest::readFile(folder / "RealTraffic.lic"), "{\"License\":\"AAA-BBB\"}");
    EXPECT_EQ(gf_readLicence(folder.path()), "AAA-BBB");
    EXPECT_FALSE(gf_writeKeyFileTemplate(folder.path() / "no" / "such"));
}

TEST(KeyFile, BadFilesGiveClearErrors)
{
    struct Case {
        const char* content;  // nullptr: no file
        const char* text;
    };
    const Case cases[] = {
        {nullptr, "RealTraffic.lic not found: "},
        {"License=ABC", "RealTraffic.lic is not valid JSON: "},
        {"[\"ABC\"]", "RealTraffic.lic is not valid JSON: "},
        {"{\"license\": \"ABC\"}", "RealTraffic.lic has no \"License\" text: "},
        {"{\"License\": 1234}", "RealTraffic.lic has no \"License\" text: "},
        {"{\"License\": \" \\t \"}", "RealTraffic.lic holds no licence yet: "},
    };
    for (const auto& c : cases) {
        tvxtest::TempFolder folder;
        if (c.content)
            tvxtest::writeFile(folder / "RealTraffic.lic", c.content);
        try {
            gf_readLicence(folder.path());
            ADD_FAILURE() << "no error for " << (c.content ? c.content : "no file");
        } catch (const tvx::UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), c.text + (folder / "RealTraffic.lic").string());
        }
    }
    tvxtest::TempFolder folder;
    tvxtest::writeFile(folder / "RealTraffic.lic", "{\"License\": \"\\tAB12-cd34 \", \"Other\": 1}");
    EXPECT_EQ(gf_readLicence(folder.path()), "AB12-cd34");
}
