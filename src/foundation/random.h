// Random numbers: one Mersenne twister per thread, seeded from the random device on first use.
// Any thread, each with its own generator. Tests seed the calling thread's generator to pin
// results.
#pragma once

#include <cstdint>
#include <random>

// The calling thread's generator.
std::mt19937& g_rng();
// Seeds the calling thread's generator (tests).
void gf_seedRng(std::uint32_t seed);
// v + s × v × p / 100 with s = +1 or −1 from one random bit of g_rng(); v itself when p <= 0.
double gf_randomPercent(double value, double percent);
