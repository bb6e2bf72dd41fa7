// The per-class tables of the aircraft records. Built on first use (thread-safe static
// initialisation) and read-only afterwards; gf_initClassTables builds them at start-up.
#include "foundation/class_tables.h"

#include <unordered_map>

#include "foundation/runtime_texts.h"

namespace {

struct ClassTables {
    std::unordered_map<std::uint32_t, std::uint32_t> flareTicks;
    std::unordered_map<std::uint32_t, std::uint32_t> touchdownTicks;
    std::unordered_map<std::uint32_t, std::uint32_t> rotationTicks;
    std::unordered_map<std::uint32_t, std::uint32_t> climbOutPitchTicks;
    std::unordered_map<std::uint32_t, double> rotationPitchDeg;
    std::unordered_map<std::uint32_t, double> climbPitchDeg;
};

const ClassTables& lf_tables()
{
    static const ClassTables tables = [] {
        struct Row {
            std::uint32_t sizeClass;
            double rotationPitch, climbPitch;
            std::uint32_t flare, touchdown, rotation, climbOut;
        };
        // class: 0 Light, 1 Buzjets, 2 Large, 3 Heavy, 4 HighPerf, 5 Rotorcraft.
        static constexpr Row kRows[] = {
            {0, -9.0, -15.0, 250, 250, 100, 200},  {1, -8.0, -18.0, 300, 300, 200, 250},
            {2, -6.0, -16.5, 400, 350, 200, 300},  {3, -5.0, -12.5, 450, 450, 250, 400},
            {4, -6.0, -20.0, 150, 150, 100, 200},  {5, -20.0, -30.0, 100, 100, 100, 100},
        };
        ClassTables t;
        for (const Row& r : kRows) {
            t.flareTicks[r.sizeClass] = r.flare;
            t.touchdownTicks[r.sizeClass] = r.touchdown;
            t.rotationTicks[r.sizeClass] = r.rotation;
            t.climbOutPitchTicks[r.sizeClass] = r.climbOut;
            t.rotationPitchDeg[r.sizeClass] = r.rotationPitch;
            t.climbPitchDeg[r.sizeClass] = r.climbPitch;
        }
        return t;
    }();
    return tables;
}

}  // namespace

void gf_initClassTables() { (void)lf_tables(); }

std::uint32_t gf_flareTicks(std::uint32_t sizeClass) { return tvx::at(lf_tables().flareTicks, sizeClass); }
std::uint32_t gf_touchdownTicks(std::uint32_t sizeClass) { return tvx::at(lf_tables().touchdownTicks, sizeClass); }
std::uint32_t gf_rotationTicks(std::uint32_t sizeClass) { return tvx::at(lf_tables().rotationTicks, sizeClass); }
std::uint32_t gf_climbOutPitchTicks(std::uint32_t sizeClass)
{
    return tvx::at(lf_tables().climbOutPitchTicks, sizeClass);
}
double gf_rotationPitchDeg(std::uint32_t sizeClass) { return tvx::at(lf_tables().rotationPitchDeg, sizeClass); }
double gf_climbPitchDeg(std::uint32_t sizeClass) { return tvx::at(lf_tables().climbPitchDeg, sizeClass); }
