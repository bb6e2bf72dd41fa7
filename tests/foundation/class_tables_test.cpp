// The per-class tables of the aircraft records, and the error for a class without an entry.
#include "foundation/class_tables.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ClassTables, ValuesOfEveryClass)
{
    struct Row {
        std::uint32_t sizeClass;
        double rotationPitch, climbPitch;
        std::uint32_t flare, touchdown, rotation, climbOut;
    };
    const Row rows[] = {
        {0, -9.0, -15.0, 250, 250, 100, 200},  // Light
        {1, -8.0, -18.0, 300, 300, 200, 250},  // Buzjets
        {2, -6.0, -16.5, 400, 350, 200, 300},  // Large
        {3, -5.0, -12.5, 450, 450, 250, 400},  // Heavy
        {4, -6.0, -20.0, 150, 150, 100, 200},  // HighPerf
        {5, -20.0, -30.0, 100, 100, 100, 100}, // Rotorcraft
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.sizeClass);
        EXPECT_EQ(gf_rotationPitchDeg(r.sizeClass), r.rotationPitch);
        EXPECT_EQ(gf_climbPitchDeg(r.sizeClass), r.climbPitch);
        EXPECT_EQ(gf_flareTicks(r.sizeClass), r.flare);
        EXPECT_EQ(gf_touchdownTicks(r.sizeClass), r.touchdown);
        EXPECT_EQ(gf_rotationTicks(r.sizeClass), r.rotation);
        EXPECT_EQ(gf_climbOutPitchTicks(r.sizeClass), r.climbOut);
    }
}

TEST(ClassTables, MissingClassGivesTheRuntimeText)
{
    const auto expectMissing = [](auto call) {
        try {
            call();
            ADD_FAILURE() << "no exception for class 6";
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
        }
    };
    expectMissing([] { gf_flareTicks(6); });
    expectMissing([] { gf_touchdownTicks(6); });
    expectMissing([] { gf_rotationTicks(6); });
    expectMissing([] { gf_climbOutPitchTicks(7); });
    expectMissing([] { gf_rotationPitchDeg(6); });
    expectMissing([] { gf_climbPitchDeg(0xFFFFFFFFu); });
}

}  // namespace
