// Publisher groups, wildcard matching and the thirdparty archive entries.
#include "liveries/publishers.h"

#include <gtest/gtest.h>

#include "liveries/aircraft_db.h"
#include "support/liveries_fixture.h"

namespace {

TEST(WildcardMatch, StarIsAnyRunAndTheMatchMayBeAnywhere)
{
    struct Case {
        const char* text;
        const char* pattern;
        bool expected;
    };
    const Case cases[] = {
        {"community/microsoft-airport-eham/scenery", "microsoft-airport", true},
        {"community/asobo-airport-lfpg", "asobo-*-lfpg", true},
        {"community/asobo-airport-lfpg", "asobo-*-eham", false},
        {"abc", "*", true},
        {"abc", "", true},
        {"", "a", false},
        {"xx-maker-yy-scenery", "maker*scenery", true},
        {"scenery-maker", "maker*scenery", false},  // pieces in order only
        {"aXbXc", "a*b*c", true},
        {"MAKER", "maker", false},                  // case counts
    };
    for (const Case& c : cases)
        EXPECT_EQ(gf_wildcardMatch(c.text, c.pattern), c.expected) << c.text << " ~ " << c.pattern;
}

TEST(ThirdpartyEntry, TheNumberAfterTheFourthCharacterIsTheStandCount)
{
    struct Case {
        const char* entry;
        const char* code;
        bool expected;
        std::uint32_t count;
    };
    const Case cases[] = {
        {"EHAM2", "EHAM", true, 2},   {"EHAM123", "EHAM", true, 123}, {"EHAM", "EHAM", false, 0},
        {"EHAMx", "EHAM", false, 0},  {"EHAM2", "EDDF", false, 0},   {"EHAM1x", "EHAM", false, 0},
        {"EHAM-1", "EHAM", false, 0}, {"EHAM2", "", false, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t count = 999;
        EXPECT_EQ(gf_matchThirdpartyEntry(c.entry, c.code, count), c.expected) << c.entry;
        EXPECT_EQ(count, c.expected ? c.count : 999u) << c.entry;
    }
}

TEST(Publishers, FirstGroupWhoseNameIsContainedOrMatches)
{
    auto db = tvxtest::DbFixture::standard();
    db.publishers = {{"Some Maker", {"somemaker", "some-maker-*-scenery"}},
                     {"Other", {"other", "maker"}}};
    db.thirdparties24 = {{"Other", {"LFPG40", "EDDF7"}}};
    ASSERT_TRUE(db.load());
    EXPECT_EQ(gf_publisherOf("Community/somemaker-eham-schiphol"), "Some Maker");
    EXPECT_EQ(gf_publisherOf("community/some-maker-eham-scenery"), "Some Maker");
    EXPECT_EQ(gf_publisherOf("SomeMaker Studios"), "Some Maker");  // names compare in lower case
    EXPECT_EQ(gf_publisherOf("a maker of things"), "Other");
    EXPECT_EQ(gf_publisherOf("nobody"), "unknown");
    EXPECT_EQ(g_simaddonAirports.count("EHBK"), 1u);
    ASSERT_EQ(g_thirdparties2020.size(), 1u);
    EXPECT_EQ(g_thirdparties2020[0].publisher, "Some Maker");
    EXPECT_EQ(g_thirdparties2020[0].airports, std::vector<std::string>{"EHAM2"});
    ASSERT_EQ(g_thirdparties2024.size(), 1u);
    EXPECT_EQ(g_thirdparties2024[0].airports, (std::vector<std::string>{"LFPG40", "EDDF7"}));
    gf_clearAircraftDb();
    EXPECT_EQ(gf_publisherOf("somemaker"), "unknown");
    EXPECT_TRUE(g_thirdparties2020.empty());
}

}  // namespace
