// The choice's wiring into the frame: the hooks it fills and what the window's commands do
// through them.
#include "parking/choice_install.h"

#include <gtest/gtest.h>

#include "app/status.h"
#include "app/subsystem_hooks.h"
#include "model/airport_list.h"
#include "parking/park_airport_list.h"
#include "parking/park_choice.h"
#include "support/choice_fixture.h"

namespace {

TEST(ChoiceInstall, FillsItsHooks)
{
    tvxtest::ChoiceSandbox box;
    gf_installChoice();
    EXPECT_TRUE(g_hooks.readMyParkAirports && g_hooks.reserveTrafficContainers && g_hooks.checkForParkAirportUpdates &&
                g_hooks.writeCallsign2ObjectIdFile && g_hooks.parkAirportHasReservedStand && g_hooks.addParkAirport &&
                g_hooks.checkReservedStands && g_hooks.autoRangeInput && g_hooks.removeParkedTraffic &&
                g_hooks.clearTrafficState);

    // A destination the airport list does not know is not listed.
    g_hooks.addParkAirport("ZZZZ");
    EXPECT_TRUE(g_parkAirports.empty());
    EXPECT_EQ(gf_statusLineText(), "airport ZZZZ is unknown");
    g_hooks.addParkAirport("EGLL");
    ASSERT_EQ(g_parkAirports.size(), 1u);
    EXPECT_DOUBLE_EQ(g_parkAirports.front().lat, 51.4706);

    // The reserved stand counts only while a park airport is set.
    g_reservedStand = "501";
    EXPECT_FALSE(g_hooks.parkAirportHasReservedStand());
    ASSERT_TRUE(gf_setParkAirport("EGLL"));
    EXPECT_TRUE(g_hooks.parkAirportHasReservedStand());

    // The re-read shows its message.
    tvxtest::ChoiceSandbox::writeList({"EGLL,501"});
    g_hooks.checkReservedStands();
    EXPECT_EQ(gf_statusLineText(), "park airports and stands are okay");
    g_hooks = SubsystemHooks{};
}

}  // namespace
