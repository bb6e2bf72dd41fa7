// The per-class tables of the aircraft records, keyed by size class 0..5 (Light, Buzjets, Large,
// Heavy, HighPerf, Rotorcraft): flare, touchdown, rotation and climb-out pitch ticks, rotation
// and climb pitch in degrees (negative is nose up). Filled once (gf_initClassTables at start-up,
// or on first use), then read-only from any thread. A class without an entry throws
// std::out_of_range "invalid unordered_map<K, T> key".
#pragma once

#include <cstdint>

void gf_initClassTables();

std::uint32_t gf_flareTicks(std::uint32_t sizeClass);
std::uint32_t gf_touchdownTicks(std::uint32_t sizeClass);
std::uint32_t gf_rotationTicks(std::uint32_t sizeClass);
std::uint32_t gf_climbOutPitchTicks(std::uint32_t sizeClass);
double gf_rotationPitchDeg(std::uint32_t sizeClass);
double gf_climbPitchDeg(std::uint32_t sizeClass);
