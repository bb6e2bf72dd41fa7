// Registration table: scrambled storage, spellings, lookups and registration packs.
#include "liveries/regcodes.h"

#include <gtest/gtest.h>

#include "foundation/log.h"
#include "liveries/aircraft_db.h"
#include "support/liveries_fixture.h"
#include "support/temp_folder.h"

namespace {

class RegcodesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tvxtest::DbFixture::standard().load()); }
    void TearDown() override { gf_clearAircraftDb(); }
};

TEST(RegcodeScramble, RoundTripAndNotPlain)
{
    for (const std::string& plain : std::vector<std::string>{"PH-BXA", "KLM", "", "Ä-ÖÜ é", std::string(40, 'Z')}) {
        const std::string scrambled = gf_scrambleText(plain);
        EXPECT_EQ(scrambled.size(), plain.size() * 2);
        EXPECT_EQ(scrambled.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(gf_unscrambleText(scrambled), plain);
    }
    EXPECT_EQ(gf_scrambleText("PH-BXA").find("PH"), std::string::npos);
    EXPECT_EQ(gf_unscrambleText("ABC"), std::nullopt);   // odd length
    EXPECT_EQ(gf_unscrambleText("GG00"), std::nullopt);  // not hex
    EXPECT_EQ(gf_unscrambleText(gf_scrambleText("KLM")).value(), "KLM");
}

TEST_F(RegcodesTest, SpellingsWithAndWithoutTheDash)
{
    gf_setRegPrefixes("PH D G N OO F EC");
    struct Case {
        const char* registration;
        std::vector<std::string> forms;
    };
    const Case cases[] = {
        {"PH-BXA", {"PH-BXA", "PHBXA"}},
        {"PHBXA", {"PH-BXA", "PHBXA"}},
        {"OO-TNA", {"OO-TNA", "OOTNA"}},  // longest prefix, not "O"
        {"ECMKV", {"EC-MKV", "ECMKV"}},
        {"N123FX", {"N-123FX", "N123FX"}},
        {"9H-ABC", {"9H-ABC"}},           // no prefix: the registration alone
        {"PH", {"PH"}},                   // nothing after the prefix
        {"P-HBXA", {"PH-BXA", "PHBXA", "P-HBXA"}},  // the registration itself last
    };
    for (const Case& c : cases)
        EXPECT_EQ(gf_regcodeSpellings(c.registration), c.forms) << c.registration;
}

TEST_F(RegcodesTest, LookupByWrittenForm)
{
    DbaseRegEntry entry;
    EXPECT_TRUE(gf_lookupRegcode("PH-BXA", &entry));
    EXPECT_EQ(entry.airline, "KLM");
    EXPECT_EQ(entry.type, "B738");
    EXPECT_EQ(entry.op, "");
    EXPECT_EQ(entry.cargo, 0);
    EXPECT_FALSE(gf_lookupRegcode("PHBXA"));  // stored with its dash only
    EXPECT_TRUE(gf_lookupRegcode("G-EUPA", &entry));
    EXPECT_EQ(entry.op, "SHT");
    EXPECT_TRUE(gf_lookupRegcode("OO-TNA", &entry));
    EXPECT_EQ(entry.cargo, 1);
    // gf_regcodeType walks the spellings.
    EXPECT_EQ(gf_regcodeType("PHBXA"), "B738");
    EXPECT_EQ(gf_regcodeType("PH-BXB"), "");
    EXPECT_EQ(gf_regcodeType(""), "");
}

TEST_F(RegcodesTest, PacksMergeInFileNameOrder)
{
    tvxtest::TempFolder folder;
    const auto pack = [](const std::string& reg, const std::string& airline) {
        return "<regcodes><registrations><r k=\"" + gf_scrambleText(reg) + "\" a=\"" +
               gf_scrambleText(airline) + "\" t=\"A388\" o=\"\" c=\"0\"/></registrations></regcodes>";
    };
    tvxtest::writeFile(folder / "regcodes" / "b.xml", pack("PH-BXA", "SECOND"));
    tvxtest::writeFile(folder / "regcodes" / "a.xml", pack("PH-BXA", "FIRST"));
    tvxtest::writeFile(folder / "regcodes" / "c.xml", "<regcodes><registrations>");
    tvxtest::writeFile(folder / "regcodes" / "notes.txt", pack("PH-ZZZ", "TXT"));
    ASSERT_TRUE(gf_openLog(folder.path(), "1.0"));
    EXPECT_EQ(gf_loadRegcodePacks(folder / "regcodes"), 2u);
    gf_closeLog();
    DbaseRegEntry entry;
    ASSERT_TRUE(gf_lookupRegcode("PH-BXA", &entry));
    EXPECT_EQ(entry.airline, "SECOND");  // the later file wins
    EXPECT_EQ(entry.type, "A388");
    EXPECT_FALSE(gf_lookupRegcode("PH-ZZZ"));
    EXPECT_TRUE(gf_lookupRegcode("G-EUPA"));  // the database's entries stay
    EXPECT_NE(tvxtest::readFile(folder / "Log.txt").find("registration pack"), std::string::npos);
    EXPECT_EQ(gf_loadRegcodePacks(folder / "missing"), 0u);
}

}  // namespace
