// Livery matching. Main loop thread; no lock.
#include "liveries/livery_match.h"

#include <cmath>
#include <limits>
#include <random>

#include "foundation/log.h"
#include "foundation/random.h"
#include "liveries/livery_tables.h"
#include "liveries/refused.h"

namespace {

std::array<std::uint64_t, 6> g_counts{};
thread_local LiveryMatchStep g_lastStep = LiveryMatchStep::None;

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

struct Rules {
    bool preferCargo = false;   // within a step, cargo liveries first when any
    bool refuseHeli = false;    // no rotorcraft liveries
};

bool lf_allowed(std::uint32_t i, const Rules& rules)
{
    if (rules.refuseHeli && gf_liveryIndex().sizeClass[i] == SizeClass::Rotorcraft)
        return false;
    return !gf_isRefusedLivery(gf_liveries()[i].title);
}

std::uint32_t lf_pickRandom(const std::vector<std::uint32_t>& candidates)
{
    if (candidates.empty())
        return kNone;
    if (candidates.size() == 1)
        return candidates.front();
    std::uniform_int_distribution<std::size_t> pick(0, candidates.size() - 1);
    return candidates[pick(g_rng())];
}

// Random among the allowed positions (cargo ones first when preferred).
std::uint32_t lf_pickAny(const LiveryIndex::Positions* positions, const Rules& rules)
{
    if (!positions)
        return kNone;
    std::vector<std::uint32_t> all, cargo;
    for (std::uint32_t i : *positions) {
        if (!lf_allowed(i, rules))
            continue;
        all.push_back(i);
        if (rules.preferCargo && gf_liveries()[i].cargo)
            cargo.push_back(i);
    }
    return lf_pickRandom(cargo.empty() ? all : cargo);
}

// Random among the allowed positions of the class whose span is nearest to the aircraft's.
std::uint32_t lf_pickNearestSpan(const LiveryIndex::Positions* positions, SizeClass cls,
                                 double span, const Rules& rules)
{
    if (!positions)
        return kNone;
    const LiveryIndex& index = gf_liveryIndex();
    for (bool cargoOnly : {rules.preferCargo, false}) {
        double best = std::numeric_limits<double>::infinity();
        std::vector<std::uint32_t> nearest;
        for (std::uint32_t i : *positions) {
            if (index.sizeClass[i] != cls || !lf_allowed(i, rules))
                continue;
            if (cargoOnly && !gf_liveries()[i].cargo)
                continue;
            const double d = std::abs(index.span[i] - span);
            if (d < best) {
                best = d;
                nearest.assign(1, i);
            } else if (d == best) {
                nearest.push_back(i);
            }
        }
        if (!nearest.empty())
            return lf_pickRandom(nearest);
        if (!cargoOnly)
            break;
    }
    return kNone;
}

const LiveryIndex::Positions* lf_find(const LiveryIndex::Map& map, std::string_view key)
{
    auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

bool lf_match(AcData& ac, const Rules& rules)
{
    const LiveryIndex& index = gf_liveryIndex();
    std::uint32_t found = kNone;
    LiveryMatchStep step = LiveryMatchStep::Registration;
    if (!ac.registration.empty())
        found = lf_pickAny(lf_find(index.byAtcId, ac.registration), rules);
    if (found == kNone && !ac.airline.empty()) {
        step = LiveryMatchStep::AirlineType;
        found = lf_pickAny(lf_find(index.byAirlineType, gf_airlineTypeKey(ac.airline, ac.acType)),
                           rules);
    }
    if (found == kNone) {
        step = LiveryMatchStep::GenericType;
        found = lf_pickAny(lf_find(index.genericByType, ac.acType), rules);
    }
    if (found == kNone && !ac.airline.empty()) {
        step = LiveryMatchStep::AirlineClass;
        found = lf_pickNearestSpan(lf_find(index.byAirline, ac.airline), ac.sizeClass, ac.size,
                                   rules);
    }
    if (found == kNone) {
        step = LiveryMatchStep::GenericClass;
        const auto cls = static_cast<std::size_t>(ac.sizeClass);
        if (cls < index.genericByClass.size())
            found = lf_pickNearestSpan(&index.genericByClass[cls], ac.sizeClass, ac.size, rules);
    }
    if (found == kNone) {
        g_lastStep = LiveryMatchStep::None;
        ++g_counts[static_cast<std::size_t>(LiveryMatchStep::None)];
        ac.title = {};
        return false;
    }
    g_lastStep = step;
    ++g_counts[static_cast<std::size_t>(step)];
    ac.title = index.title[found];
    ac.fsltl = ac.title.starts_with("FSLTL_") ? 1 : 0;
    return true;
}

}  // namespace

bool gf_matchLivery(AcData& ac)
{
    return lf_match(ac, Rules{});
}

bool gf_matchLiveryStatic(StaticAc& ac, const LiveryStand& stand)
{
    return lf_match(ac, Rules{stand.cargo, !stand.heli});
}

LiveryMatchStep gf_lastMatchStep()
{
    return g_lastStep;
}

const std::array<std::uint64_t, 6>& gf_matchCounts()
{
    return g_counts;
}

void gf_resetMatchCounts()
{
    g_counts = {};
}

std::vector<std::string> gf_matchSummaryLines()
{
    std::vector<std::string> lines;
    lines.push_back(tvx::format("Livery matching: {} liveries installed", gf_liveries().size()));
    static constexpr const char* kStepNames[] = {
        "by registration",        "by airline and type",       "generic livery of the type",
        "by airline and size",    "generic livery of the size", "without livery",
    };
    for (std::size_t i = 0; i < g_counts.size(); ++i)
        lines.push_back(tvx::format("  {:6} {}", g_counts[i], kStepNames[i]));
    const std::vector<std::string> refused = gf_refusedLiveriesText();
    if (!refused.empty()) {
        lines.push_back(tvx::format("Liveries refused by the simulator ({}):", g_refusedLiveries.size()));
        lines.insert(lines.end(), refused.begin(), refused.end());
    }
    return lines;
}

void gf_logMatchSummary()
{
    for (const std::string& line : gf_matchSummaryLines())
        gf_log(line);
}
