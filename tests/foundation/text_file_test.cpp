// Number texts, comma fields, folder-bound path texts and whole-file text reading and writing.
#include "foundation/text_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/disk_full.h"
#include "support/temp_folder.h"

namespace {

using tvxtest::readFile;
using tvxtest::TempFolder;
using tvxtest::writeFile;

TEST(Text, NumberTextShowsOneDecimalOnlyWhenThereIsAFraction)
{
    const std::pair<double, const char*> rows[] = {
        {24.0, "24"}, {0.5, "0.5"}, {23.75, "23.8"}, {1.0, "1"}, {-2.5, "-2.5"}, {0.0, "0"}, {12.04, "12.0"},
    };
    for (const auto& [value, text] : rows)
        EXPECT_EQ(gf_numberText(value), text) << value;
    EXPECT_EQ(g_pluralSuffix, "s");
    EXPECT_EQ(g_emptyString, "");
}

TEST(Text, SplitCommasTrimsEachField)
{
    using Fields = std::vector<std::string>;
    EXPECT_EQ(gf_splitCommas(""), Fields{});
    EXPECT_EQ(gf_splitCommas(" \t\r\n"), Fields{});
    EXPECT_EQ(gf_splitCommas("EDDF"), Fields{"EDDF"});
    EXPECT_EQ(gf_splitCommas(" EDDF , A12 \r\n"), (Fields{"EDDF", "A12"}));
    EXPECT_EQ(gf_splitCommas("a,,\tb"), (Fields{"a", "", "b"}));
    EXPECT_EQ(gf_splitCommas("KJFK, 5 L ,"), (Fields{"KJFK", "5 L", ""}));
}

TEST(Text, PathsThatStayInsideTheirFolder)
{
    const std::pair<const char*, bool> rows[] = {
        {"airports/my_thirdparty/EHAM.xml", true},
        {"archive/thirdparty/Some%20Maker/EHAM.xml", true},
        {"airports\\learned\\stock\\EHAM.xml", true},
        {"a..b/...", true},  // only a whole ".." part climbs
        {"", false},
        {"..", false},
        {"airports/../outside.xml", false},
        {"airports\\..\\outside.xml", false},
        {"airports\\learned/../../x.xml", false},
        {"archive/stock/..", false},
        {"/etc/x.xml", false},
        {"\\\\server\\x.xml", false},
        {"C:\\x.xml", false},
        {"c:x.xml", false},
    };
    for (const auto& [path, inside] : rows)
        EXPECT_EQ(gf_staysInsideFolder(path), inside) << path;
}

TEST(Files, ReadKeepsLinesWithoutLineEnds)
{
    TempFolder dir;
    EXPECT_TRUE(TextFile::read(dir / "missing.txt", 10).empty());
    writeFile(dir / "empty.txt", "");
    EXPECT_TRUE(TextFile::read(dir / "empty.txt", 10).empty());

    writeFile(dir / "crlf.txt", "first\r\n\r\nthird line\r\nlast");
    EXPECT_EQ(TextFile::read(dir / "crlf.txt", 48), (std::vector<std::string>{"first", "", "third line", "last"}));

    std::istringstream stream("EDDF\nEGLL,505\r\n\n");
    EXPECT_EQ(gf_readLines(stream), (std::vector<std::string>{"EDDF", "EGLL,505", ""}));
}

TEST(Files, WritesReplaceTheFileAndFailWhenItCannotBeOpened)
{
    TempFolder dir;
    const auto path = dir / "link.txt";
    writeFile(path, "old content that is longer");
    ASSERT_TRUE(gf_writeTextFile("C:\\archive.zip", path, true));
    EXPECT_EQ(readFile(path), "C:\\archive.zip\n");
    ASSERT_TRUE(gf_writeTextFile("no end", path, false));
    EXPECT_EQ(readFile(path), "no end");

    const auto report = dir / "report.txt";
    ASSERT_TRUE(gf_writeLines({"one", "", "three"}, report));
    EXPECT_EQ(readFile(report), "one\n\nthree\n");
    EXPECT_EQ(TextFile::read(report, 3), (std::vector<std::string>{"one", "", "three"}));
    ASSERT_TRUE(gf_writeLines({}, report));
    EXPECT_EQ(readFile(report), "");

    const auto unreachable = dir / "no_such_folder" / "file.txt";
    EXPECT_FALSE(gf_writeTextFile("x", unreachable, true));
    EXPECT_FALSE(gf_writeLines({"x"}, unreachable));
    EXPECT_FALSE(std::filesystem::exists(unreachable));
}

TEST(Files, AFullDiskLeavesTheOldFileWhole)
{
    TempFolder dir;
    const auto list = dir / "my_park_airports.txt";
    writeFile(list, "EGLL,501\nEHAM\n");
    {
        tvxtest::DiskFull full;
        EXPECT_FALSE(gf_writeLines({"BIKF", "EGLL,501", "EHAM"}, list));
        EXPECT_FALSE(gf_writeTextFile("archive/simaddon/BIKF.xml", list, true));
    }
    EXPECT_EQ(readFile(list), "EGLL,501\nEHAM\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "my_park_airports.txt.tmp"));
    ASSERT_TRUE(gf_writeLines({"BIKF", "EGLL,501", "EHAM"}, list));
    EXPECT_EQ(readFile(list), "BIKF\nEGLL,501\nEHAM\n");
}

}  // namespace
