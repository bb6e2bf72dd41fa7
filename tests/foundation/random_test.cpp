// Per-thread random generators and the ± percentage draw.
#include "foundation/random.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(RandomPercent, ExactlyOneOfTheTwoValues)
{
    gf_seedRng(12345);
    struct Row {
        double value, percent, up, down;
    };
    const Row rows[] = {
        {-9.0, 2.5, -9.0 + -9.0 * 2.5 / 100.0, -9.0 - -9.0 * 2.5 / 100.0},
        {-15.0, 5.0, -15.0 + -15.0 * 5.0 / 100.0, -15.0 - -15.0 * 5.0 / 100.0},
        {200.0, 10.0, 220.0, 180.0},
    };
    for (const Row& r : rows) {
        int up = 0, down = 0;
        for (int i = 0; i < 200; ++i) {
            const double v = gf_randomPercent(r.value, r.percent);
            if (v == r.up)
                ++up;
            else if (v == r.down)
                ++down;
            else
                ADD_FAILURE() << v << " is neither " << r.up << " nor " << r.down;
        }
        EXPECT_GT(up, 0);
        EXPECT_GT(down, 0);
    }
    EXPECT_DOUBLE_EQ(rows[0].up, -9.0 * 1.025);
    EXPECT_DOUBLE_EQ(rows[0].down, -9.0 * 0.975);
}

TEST(RandomPercent, NoChangeWithoutAPositivePercentage)
{
    gf_seedRng(1);
    const std::uint32_t next = std::mt19937(1)();
    EXPECT_EQ(gf_randomPercent(7.5, 0.0), 7.5);
    EXPECT_EQ(gf_randomPercent(7.5, -3.0), 7.5);
    EXPECT_EQ(g_rng()(), next);  // and no draw was taken
}

TEST(Rng, SeedingPinsTheSequenceOfTheCallingThreadOnly)
{
    gf_seedRng(77);
    const std::uint32_t first = g_rng()();
    gf_seedRng(77);
    EXPECT_EQ(g_rng()(), first);

    std::uint32_t other = 0;
    std::uint32_t afterOther = 0;
    std::thread worker([&] {
        gf_seedRng(77);
        other = g_rng()();
    });
    worker.join();
    afterOther = g_rng()();  // this thread's generator went on from its own state
    EXPECT_EQ(other, first);
    std::mt19937 reference(77);
    reference();
    EXPECT_EQ(afterOther, reference());
}

}  // namespace
