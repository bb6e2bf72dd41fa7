// Duplicates and ghosts: which static aircraft a live aircraft duplicates and the log line saying
// why, the once-a-second check list, ghost removal and the base-callsign test.
#include <gtest/gtest.h>

#include <string>

#include "foundation/settings.h"
#include "simulator/ai_tick.h"
#include "simulator/duplicates.h"
#include "simulator/removal.h"
#include "support/ground_fixture.h"

using namespace tvxtest;

namespace {

class DuplicateTest : public GroundTest {
protected:
    DuplicateTest()
    {
        addStand(1, "A1", 50.0, 8.0, 0.0);
        addStand(2, "A2", 50.001, 8.0, 0.0);
    }
};

StaticAc makeStatic(std::uint32_t hexid, const std::string& callsign, const std::string& cc1, const std::string& cc2,
                    const std::string& registration, std::uint32_t standId = 1, AcState state = AcState::Placed)
{
    AcData data;
    data.airline = "DLH";
    data.acType = "A320";
    data.callsign = callsign;
    data.coupledCallsign1 = cc1;
    data.coupledCallsign2 = cc2;
    data.registration = registration;
    data.hexid = hexid;
    StaticAc ac(data, standId, 50.0, 8.0, 0.0, 0);
    ac.state = state;
    ac.objectId = 1000 + hexid;
    return ac;
}

LiveAc makeLive(std::uint32_t hexid, const std::string& callsign, const std::string& registration,
                AcState state = AcState::Placed)
{
    LiveAc ac = makeLiveAc(hexid, callsign, {rec(50.0, 8.0, 0)}, SizeClass::Large, state, AcPhase::Taxiing);
    ac.registration = registration;
    ac.objectId = hexid & 0xFFFF;
    ac.onGround = 1;
    return ac;
}

DuplicateQuery query(const LiveAc& live)
{
    return DuplicateQuery{live, live.callsign.empty() ? "" : live.callsign.substr(0, live.callsign.size() - 1),
                          live.onGround != 0};
}

}  // namespace

TEST_F(DuplicateTest, StaticAircraftNotYetPlacedIsNeverADuplicate)
{
    const LiveAc live = makeLive(0x3C0001, "DLH4AB", "D-AIBA");
    StaticAc stat = makeStatic(5, "DLH4AB*", "DLH4AB", "", "D-AIBA", 1, AcState::CreationRequested);
    stat.planKind = 0;
    stat.serviceHexid = 0x3C0001;
    EXPECT_FALSE(gf_removeDuplicates(query(live), stat));
    stat.state = AcState::Placed;
    EXPECT_TRUE(gf_removeDuplicates(query(live), stat));
}

TEST_F(DuplicateTest, SameServiceHexidCountsOnlyForTheServicesParkedList)
{
    g_optLog.set(true);
    const LiveAc live = makeLive(0x3C0002, "DLH5", "D-AIBB");
    StaticAc stat = makeStatic(6, "BER9*", "BER9", "", "D-XXXX");
    stat.serviceHexid = 0x3C0002;
    stat.planKind = 1;
    EXPECT_FALSE(gf_removeDuplicates(query(live), stat));
    stat.planKind = 0;
    EXPECT_TRUE(gf_removeDuplicates(query(live), stat));
    EXPECT_NE(m_box.logText().find("A1      : BER9*    removed, new on ground DLH5 has same hexid"), std::string::npos);
}

TEST_F(DuplicateTest, RegistrationMatchesOnlyWhenTheLiveOneHasIt)
{
    g_optLog.set(true);
    const LiveAc noReg = makeLive(0x3C0003, "EWG1", "");
    const StaticAc statNoReg = makeStatic(7, "EWG2*", "EWG2", "", "");
    EXPECT_FALSE(gf_removeDuplicates(query(noReg), statNoReg));

    LiveAc live = makeLive(0x3C0004, "EWG3", "D-ABCD");
    live.onGround = 0;
    const StaticAc stat = makeStatic(8, "EWG4*", "EWG4", "", "D-ABCD", 2);
    EXPECT_TRUE(gf_removeDuplicates(query(live), stat));
    EXPECT_NE(m_box.logText().find("A2      : EWG4*    D-ABCD removed, new airborne EWG3 has same regcode D-ABCD"),
              std::string::npos);
}

TEST_F(DuplicateTest, SameOrCoupledCallsign)
{
    g_optLog.set(true);
    struct Case {
        std::string liveCs, liveCc2, statCc1, statCc2;
        bool dup;
        const char* how;
    };
    const Case cases[] = {
        {"DLH4AB", "", "DLH4AB", "", true, "same"},
        {"DLH4AB", "", "DLH9", "DLH4AB", true, "coupled"},
        {"DLH4AB", "DLH77", "DLH77", "", true, "coupled"},
        {"DLH4AB_", "", "DLH4AB", "", true, "coupled"},
        {"DLH4AB", "", "DLH4A", "", false, ""},
        {"DLH4AB", "", "", "", false, ""},
    };
    for (const Case& c : cases) {
        LiveAc live = makeLive(0x3C0005, c.liveCs, "");
        live.coupledCallsign2 = c.liveCc2;
        const StaticAc stat = makeStatic(9, "X*", c.statCc1, c.statCc2, "D-EFGH");
        EXPECT_EQ(gf_removeDuplicates(query(live), stat), c.dup) << c.liveCs << " " << c.statCc1;
        if (c.dup) {
            EXPECT_NE(m_box.logText().find(tvx::format("A1      : X*       \"{} {}\" removed, new on ground {} \"{} {}\" has {} callsign",
                                                       c.statCc1, c.statCc2, c.liveCs, c.liveCs, c.liveCc2, c.how)),
                      std::string::npos)
                << c.liveCs;
        }
    }
}

TEST_F(DuplicateTest, CheckListTakesOneHexidPerSecond)
{
    g_liveAc.push_back(makeLive(0x3C0010, "DLH10", "D-AAAA"));
    g_liveAc.push_back(makeLive(0x3C0011, "DLH11", "D-AAAB"));
    g_staticAc.push_back(makeStatic(1, "Q1*", "Q1", "", "D-ZZZZ", 1));
    g_staticAc.push_back(makeStatic(2, "Q2*", "Q2", "", "D-AAAA", 1));
    g_staticAc.push_back(makeStatic(3, "Q3*", "Q3", "", "D-AAAA", 2));
    g_staticAc.push_back(makeStatic(4, "Q4*", "DLH11", "", "", 2));
    gf_addDuplicateCheck(0x99);  // gone by now: dropped without a check
    gf_addDuplicateCheck(0x3C0010);
    gf_addDuplicateCheck(0x3C0011);

    gf_checkOneDuplicate();
    EXPECT_EQ(g_removeRequests.size(), 0u);
    gf_checkOneDuplicate();
    ASSERT_EQ(g_removeRequests.size(), 1u);  // only the first duplicate goes
    EXPECT_EQ(g_staticAc[1].state, AcState::BeingRemoved);
    EXPECT_EQ(g_staticAc[2].state, AcState::Placed);
    gf_checkOneDuplicate();
    ASSERT_EQ(g_removeRequests.size(), 2u);
    EXPECT_EQ(g_staticAc[3].state, AcState::BeingRemoved);
    EXPECT_TRUE(g_duplicateCheckList.empty());
    gf_checkOneDuplicate();
    EXPECT_EQ(g_removeRequests.size(), 2u);
}

TEST_F(DuplicateTest, NewAircraftRemovesItsGhostAndTheGhostCallsignStaysBarred)
{
    g_optLog.set(true);
    g_liveAc.push_back(makeLive(0x400001, "BAW12_", "G-EUPA", AcState::BeingRemoved));
    g_liveAc.push_back(makeLive(0x400002, "BAW12_", "G-EUPB"));
    g_liveAc.push_back(makeLive(0x400003, "BAW12", "G-EUPC", AcState::Buffering));

    EXPECT_TRUE(lf_isBaseCallsignLive("BAW12_"));
    liveac::removeGhosts("BAW12");
    EXPECT_EQ(g_liveAc[1].state, AcState::BeingRemoved);
    EXPECT_EQ(g_ghostCallsigns, std::vector<std::string>{"BAW12_"});
    EXPECT_TRUE(gf_isRemovedGhost("BAW12_"));
    EXPECT_FALSE(gf_isRemovedGhost("BAW12"));
    EXPECT_NE(m_box.logText().find("          BAW12_   is a ghost and will be removed, continue with BAW12"),
              std::string::npos);

    // No ghost left: nothing happens.
    liveac::removeGhosts("BAW12");
    EXPECT_EQ(g_ghostCallsigns.size(), 1u);
}

TEST_F(DuplicateTest, ParkedGhostIsLoggedWithItsStand)
{
    g_optLog.set(true);
    LiveAc ghost = makeLive(0x400004, "AFR7_", "F-GKXA");
    ghost.phase = AcPhase::Parked;
    ghost.standId = 2;
    g_liveAc.push_back(ghost);
    liveac::removeGhosts("AFR7");
    EXPECT_NE(m_box.logText().find("A2      : AFR7_    is a ghost and will be removed, continue with AFR7"),
              std::string::npos);
}

TEST_F(DuplicateTest, BaseCallsignIgnoresAircraftBeingRemoved)
{
    g_liveAc.push_back(makeLive(0x400005, "SWR8", "HB-JXA", AcState::BeingRemoved));
    EXPECT_FALSE(lf_isBaseCallsignLive("SWR8_"));
    g_liveAc.push_back(makeLive(0x400006, "SWR8", "HB-JXB", AcState::CreationRequested));
    EXPECT_TRUE(lf_isBaseCallsignLive("SWR8_"));
    EXPECT_FALSE(lf_isBaseCallsignLive("SWR8"));
}
