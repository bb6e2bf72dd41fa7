// Per-thread random generators. Each thread's generator is seeded from the random device the
// first time that thread asks for it, unless a test seeded it before.
#include "foundation/random.h"

#include <optional>

namespace {

thread_local std::optional<std::mt19937> t_rng;

}  // namespace

std::mt19937& g_rng()
{
    if (!t_rng) {
        std::random_device device;
        std::seed_seq seeds{device(), device(), device(), device()};
        t_rng.emplace(seeds);
    }
    return *t_rng;
}

void gf_seedRng(std::uint32_t seed) { t_rng.emplace(seed); }

double gf_randomPercent(double value, double percent)
{
    if (!(percent > 0.0))
        return value;
    const double sign = (g_rng()() & 1u) ? 1.0 : -1.0;
    return value + sign * value * percent / 100.0;
}
