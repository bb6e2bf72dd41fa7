// The per-class values of the aircraft: look-up by class.
#include "foundation/class_tables.h"

#include <iterator>

#include "foundation/runtime_texts.h"

const ClassRow& gf_classRow(std::uint32_t sizeClass)
{
    if (sizeClass >= std::size(kClassRows))
        tvx::throwInvalidMapKey();
    return kClassRows[sizeClass];
}

std::uint32_t gf_flareTicks(std::uint32_t sizeClass) { return gf_classRow(sizeClass).flareTicks; }
std::uint32_t gf_touchdownTicks(std::uint32_t sizeClass) { return gf_classRow(sizeClass).touchdownTicks; }
std::uint32_t gf_rotationTicks(std::uint32_t sizeClass) { return gf_classRow(sizeClass).rotationTicks; }
std::uint32_t gf_climbOutPitchTicks(std::uint32_t sizeClass) { return gf_classRow(sizeClass).climbOutPitchTicks; }
double gf_rotationPitchDeg(std::uint32_t sizeClass) { return gf_classRow(sizeClass).rotationPitchDeg; }
double gf_climbPitchDeg(std::uint32_t sizeClass) { return gf_classRow(sizeClass).climbPitchDeg; }
