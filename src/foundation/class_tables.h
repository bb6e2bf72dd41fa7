// The per-class values of the aircraft, one row per size class 0..5 (Light, Buzjets, Large, Heavy,
// HighPerf, Rotorcraft): what the aircraft records take at construction, what a live aircraft
// takes at creation, the attitude limits of the motion, the lift-off speed of the take-off
// decision, how long a landed aircraft stands before it counts as towed, and the height of the
// climb configuration. The motion, the record acceptance and the tests all read this one table.
// Constant; any thread. A class without a row throws std::out_of_range
// "invalid unordered_map<K, T> key".
#pragma once

#include <cstdint>

struct ClassRow {
    // Aircraft records: rotation and climb pitch in degrees (negative is nose up); flare,
    // touchdown, rotation and climb-out pitch ticks.
    double rotationPitchDeg, climbPitchDeg;
    std::uint32_t flareTicks, touchdownTicks, rotationTicks, climbOutPitchTicks;
    // Creation of a live aircraft: turn rate (degrees per tick), vertical-rate cap (feet per
    // tick), slow ground speed (knots).
    double turnRateDeg, vertRateCap, slowGroundSpeed;
    // Attitude limits: bank (degrees), bank and pitch steps (degrees per tick); lift-off speed (kt).
    double maxBankDeg, maxBankStepDeg, maxPitchStepDeg, liftOffKt;
    // A landed aircraft leaving its stand sooner than this (ticks) after parking was towed (0: never).
    std::int64_t towedBelowTicks;
    // Below 10,000 ft the climb configuration runs above this height (ft), the approach's below it:
    // airliners configure for the approach higher than light and fast aircraft.
    double climbConfigFt;
};

// clang-format off
inline constexpr ClassRow kClassRows[] = {
    //  rot pitch, climb,  flare, td, rot, out,  turn, cap,  slow,  bank, bank st, pitch st, lift-off, towed, climb cfg
    {  -9.0, -15.0,  250, 250, 100, 200,  0.15, 0.5,  5.0,  40.0, 0.035,  0.01,   90.0,      0,  625.0},  // Light
    {  -8.0, -18.0,  300, 300, 200, 250,  0.10, 0.75, 4.5,  35.0, 0.0275, 0.0085, 110.0,  90000, 2050.0},  // Buzjets
    {  -6.0, -16.5,  400, 350, 200, 300,  0.07, 0.6,  4.0,  30.0, 0.02,   0.0075, 140.0, 150000, 2050.0},  // Large
    {  -5.0, -12.5,  450, 450, 250, 400,  0.05, 0.5,  3.0,  20.0, 0.015,  0.005,  150.0, 360000, 2050.0},  // Heavy
    {  -6.0, -20.0,  150, 150, 100, 200,  0.10, 1.0,  4.5,  90.0, 0.1,    0.03,   220.0,      0,  625.0},  // HighPerf
    { -20.0, -30.0,  100, 100, 100, 100,  0.20, 0.75, 5.0,  75.0, 0.06,   0.03,     0.0,      0,  625.0},  // Rotorcraft
};
// clang-format on

// The row of a class; throws for a class without one.
const ClassRow& gf_classRow(std::uint32_t sizeClass);

std::uint32_t gf_flareTicks(std::uint32_t sizeClass);
std::uint32_t gf_touchdownTicks(std::uint32_t sizeClass);
std::uint32_t gf_rotationTicks(std::uint32_t sizeClass);
std::uint32_t gf_climbOutPitchTicks(std::uint32_t sizeClass);
double gf_rotationPitchDeg(std::uint32_t sizeClass);
double gf_climbPitchDeg(std::uint32_t sizeClass);
