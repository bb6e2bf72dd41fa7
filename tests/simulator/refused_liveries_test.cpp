// Refused liveries (the limit of 20 and error 81, the report texts) and the no-match list.
#include <gtest/gtest.h>

#include <string>

#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/settings.h"
#include "liveries/refused.h"
#include "simulator/refused_liveries.h"
#include "support/ground_fixture.h"

using namespace tvxtest;

namespace {

class RefusedTest : public GroundTest {};

AcData refusedAc(const std::string& callsign, const std::string& type, const std::string& airline,
                 std::string_view title)
{
    AcData ac;
    ac.callsign = callsign;
    ac.acType = type;
    ac.airline = airline;
    ac.title = title;
    return ac;
}

}  // namespace

TEST_F(RefusedTest, NineteenRefusalsGoOnAndTheTwentiethThrowsError81)
{
    std::vector<std::string> titles;
    for (int i = 0; i < 20; ++i)
        titles.push_back(tvx::format("Model {} livery", i));
    for (int i = 0; i < 19; ++i)
        EXPECT_NO_THROW(gf_addRefusedLivery(refusedAc(tvx::format("DLH{}", i), "A320", "DLH", titles[i])));
    EXPECT_EQ(g_refusedLiveries.size(), 19u);
    EXPECT_TRUE(gf_isRefusedLivery("Model 3 livery"));
    EXPECT_EQ(m_box.logText().find("Error 81"), std::string::npos);
    EXPECT_NE(m_box.logText().find("DLH18 \"Model 18 livery\" could not be created by your Sim!"), std::string::npos);

    try {
        gf_addRefusedLivery(refusedAc("DLH19", "A321", "DLH", titles[19]));
        FAIL() << "no error 81";
    } catch (const tvx::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "81: there are too many liveries that could not be created by MSFS!, see Log.txt");
    }
    EXPECT_EQ(g_refusedLiveries.size(), 20u);
    EXPECT_NE(m_box.logText().find("\n===> Error 81, there are too many liveries that could not be created by MSFS!\n"),
              std::string::npos);
}

TEST_F(RefusedTest, RefusedTypesAreReportedOnceEachInByteOrder)
{
    gf_addRefusedLivery(refusedAc("DLH1", "A320", "DLH", "t1"));
    gf_addRefusedLivery(refusedAc("BAW2", "B744", "BAW", "t2"));
    gf_addRefusedLivery(refusedAc("DLH3", "A320", "DLH", "t3"));
    EXPECT_EQ(g_refusedTypes.front(), "A320 DLH");  // newest first
    EXPECT_EQ(g_refusedTypes.size(), 3u);
    EXPECT_EQ(gf_refusedLiveriesText(), (std::vector<std::string>{"  A320 DLH", "  B744 BAW"}));
}

TEST_F(RefusedTest, NoMatchListIsLoggedOnlyWithLogAndWhenNotEmpty)
{
    g_optLog.set(true);
    gf_logNoMatchList();
    EXPECT_EQ(m_box.logText().find("No match found for: "), std::string::npos);

    g_noMatchSet.insert("PVT C172 D-EABC");
    g_noMatchSet.insert("DLH A320 D-AIBA");
    g_optLog.set(false);
    gf_logNoMatchList();
    EXPECT_EQ(m_box.logText().find("No match found for: "), std::string::npos);

    g_optLog.set(true);
    gf_logNoMatchList();
    const std::string log = m_box.logText();
    const std::size_t head = log.find("\nNo match found for: \n");
    ASSERT_NE(head, std::string::npos);
    const std::size_t dlh = log.find("DLH A320 D-AIBA\n", head);
    const std::size_t pvt = log.find("PVT C172 D-EABC\n", head);
    ASSERT_NE(dlh, std::string::npos);
    ASSERT_NE(pvt, std::string::npos);
    EXPECT_LT(dlh, pvt);
    EXPECT_NE(log.find("PVT C172 D-EABC\n\n", head), std::string::npos);
}
