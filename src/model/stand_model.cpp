// Stand model operations: slot-range test, option match, option append and update, neighbouring
// slot search, stand overlap and the quality factor. Main loop thread; no locks.
#include "model/stand_model.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <iterator>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>

#include "foundation/format.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/runtime_texts.h"
#include "foundation/units.h"

std::vector<ParkPos> g_parkPositions;

namespace {

constexpr std::uint32_t kSlotsPerDay = 48;
constexpr double kQualityScale = 0.00625;

// A callsign ending in "_" (a ghost's mark) is stored without that one character.
std::string lf_dropOneUnderscore(std::string callsign)
{
    if (!callsign.empty() && callsign.back() == '_')
        callsign.pop_back();
    return callsign;
}

std::uint32_t lf_slotCount(const SlotSet& slots)
{
    std::uint32_t n = 0;
    for (std::uint32_t s = 0; s < kSlotsPerDay; ++s)
        n += gf_testSlot(slots, s) ? 1 : 0;
    return n;
}

}  // namespace

void gf_setSlot(SlotSet& slots, std::uint32_t slot)
{
    if (slot >= kSlotsPerDay)
        tvx::throwInvalidBitsetPosition();
    slots.set(slot);
}

bool gf_testSlot(const SlotSet& slots, std::uint32_t slot)
{
    if (slot >= kSlotsPerDay)
        tvx::throwInvalidBitsetPosition();
    return slots.test(slot);
}

const StandSighting& StandSightings::at(std::uint32_t hexid) const
{
    const auto it = find(hexid);
    if (it == end())
        throw std::out_of_range(tvx::format("no sighting of {:06X} at the stand", hexid));
    return it->second;
}

std::pair<StandSightings::iterator, bool> StandSightings::emplace(std::uint32_t hexid, StandSighting sighting)
{
    if (const auto it = find(hexid); it != end())
        return {it, false};
    m_items.emplace_back(hexid, sighting);
    return {std::prev(m_items.end()), true};
}

std::size_t StandSightings::erase(std::uint32_t hexid)
{
    const auto it = find(hexid);
    if (it == end())
        return 0;
    m_items.erase(it);
    return 1;
}

ParkPos::ParkPos(std::string name_, std::vector<ParkPosOption> options_, double latitude,
                 double longitude, double headingRad, double radiusMetres, bool cargo_, bool ramp_,
                 bool heli_)
    : options(std::move(options_)),
      name(std::move(name_)),
      lat(latitude),
      lon(longitude),
      heading(headingRad),
      radius(radiusMetres * kNmPerMetre),
      cargo(cargo_),
      ramp(ramp_),
      heli(heli_)
{
}

bool testRange(const ParkPosOption& option, std::uint32_t start, std::uint32_t offset,
               std::int32_t& remainder)
{
    remainder = -1;
    try {
        const std::int64_t bound =
            std::max<std::int64_t>(static_cast<std::int64_t>(start) - static_cast<std::int64_t>(offset), 0);
        // The part of the range before slot 0, as an offset from slot 47 of the previous day.
        if (start < 48 && offset > start)
            remainder = static_cast<std::int32_t>(offset - start - 1);
        for (std::int64_t s = start; s >= bound; --s) {
            if (gf_testSlot(option.slots, static_cast<std::uint32_t>(s)))
                return true;
        }
    } catch (const std::exception& e) {
        gf_logString(tvx::format("{}exception {} in testRange, start: {}, offset: {}", "===> ", e.what(),
                                 start, offset));
    }
    return false;
}

bool gf_optionMatches(const std::string& callsign, const std::string& airline, const std::string& type,
                      const ParkPosOption& option)
{
    if (option.number == 0 || option.real != 1)
        return false;
    if (option.callsign == callsign || option.callsign2 == callsign)
        return true;
    return option.airline == airline && option.type == type;
}

std::uint32_t gf_addParkPosOption(std::vector<ParkPosOption>& options, const AirlineType& identity,
                                  std::uint32_t real, std::uint64_t stamp, std::string callsign,
                                  const std::string& registration)
{
    callsign = lf_dropOneUnderscore(std::move(callsign));

    SlotSet slots{};
    gf_setSlot(slots, gf_slotOf(stamp));

    // Options dropped for the plan being made (number 0) stay: the next adjustment counts them
    // again and the learned file keeps them. The new option's number is its place, which that
    // renumbering keeps, so the number a sighting holds still names it afterwards.
    const auto number = static_cast<std::uint32_t>(options.size() + 1);

    ParkPosOption option;
    option.airline = identity.airline;
    option.type = identity.type;
    option.registration = registration;
    option.callsign = std::move(callsign);
    option.slots = slots;
    option.number = number;
    option.weekday = gf_weekdayOf(stamp);
    option.source = 0;
    option.real = real;
    options.push_back(std::move(option));
    return number;
}

void gf_renumberOptions(std::vector<ParkPosOption>& options)
{
    std::uint32_t number = 0;
    for (ParkPosOption& o : options)
        o.number = ++number;
}

bool gf_updateParkPosOption(std::vector<ParkPosOption>& options, std::uint64_t stamp,
                            std::uint32_t number, std::string callsign)
{
    callsign = lf_dropOneUnderscore(std::move(callsign));
    try {
        for (auto& option : options) {
            if (option.number == 0 || option.number != number)
                continue;
            gf_setSlot(option.slots, gf_slotOf(stamp));
            if (callsign.empty())
                return true;
            if (option.callsign.empty())
                option.callsign = callsign;
            else if (callsign != option.callsign && callsign != option.callsign2)
                option.callsign2 = callsign;
            return true;
        }
    } catch (const std::exception& e) {
        gf_logError(tvx::format("Update Option exception {} {}", e.what(), gf_daySlotText(stamp)));
    }
    return false;
}

std::vector<ParkPosOption>::iterator gf_findOptionNearSlot(std::vector<ParkPosOption>& options,
                                                          std::uint32_t weekday, std::uint32_t slot,
                                                          const std::string& registration)
{
    const std::uint32_t before = slot == 0 ? kSlotsPerDay - 1 : slot - 1;
    const std::uint32_t after = slot == kSlotsPerDay - 1 ? 0 : slot + 1;
    return std::find_if(options.begin(), options.end(), [&](const ParkPosOption& option) {
        if (option.number == 0 || option.weekday != weekday || option.real != 1 ||
            option.registration != registration)
            return false;
        return gf_testSlot(option.slots, slot) || gf_testSlot(option.slots, before) ||
               gf_testSlot(option.slots, after);
    });
}

std::string gf_daySlotText(std::uint64_t stamp)
{
    return tvx::format("day={} hh={}", gf_weekdayOf(stamp), gf_slotOf(stamp));
}

namespace {

constexpr double kEarthRadiusNm = 3437.746770784939;  // gf_distanceNm's sphere

// The cells of the overlap search, in degrees: a pair of stands that overlaps lies in the same
// cell or in neighbouring ones. Two stands overlap only closer than twice the largest radius / 1.1,
// a central angle theta; their latitudes then differ by at most theta and, with c the smallest
// cosine of their latitudes, their longitudes by at most 2 asin(sin(theta / 2) / c), under
// 1.05 theta / c while sin(theta / 2) / c <= 0.5. None when the stands do not allow such cells
// (a position or radius not finite, a pole, the antimeridian, an airport the size of a continent):
// the pairwise test then takes them all.
struct OverlapCells {
    double latMin = 0.0, lonMin = 0.0, latSize = 0.0, lonSize = 0.0;
};

std::optional<OverlapCells> lf_overlapCells(const std::vector<ParkPos>& stands)
{
    OverlapCells cells;
    cells.latMin = cells.lonMin = std::numeric_limits<double>::infinity();
    double latMax = -cells.latMin, lonMax = -cells.lonMin, radiusMax = 0.0, absLatMax = 0.0;
    for (const ParkPos& s : stands) {
        if (!std::isfinite(s.lat) || !std::isfinite(s.lon) || !std::isfinite(s.radius))
            return std::nullopt;
        cells.latMin = std::min(cells.latMin, s.lat);
        latMax = std::max(latMax, s.lat);
        cells.lonMin = std::min(cells.lonMin, s.lon);
        lonMax = std::max(lonMax, s.lon);
        radiusMax = std::max(radiusMax, s.radius);
        absLatMax = std::max(absLatMax, std::abs(s.lat));
    }
    if (absLatMax > 89.0 || lonMax - cells.lonMin > 180.0)
        return std::nullopt;
    // A margin of 1 % for rounding, and cells no smaller than about 6 mm.
    const double theta = std::max(2.0 * radiusMax / 1.1 / kEarthRadiusNm * 1.01, 1e-9);
    const double cosMin = std::cos(absLatMax * kDegToRad);
    if (std::sin(theta / 2.0) / cosMin > 0.5)
        return std::nullopt;
    cells.latSize = theta / kDegToRad;
    cells.lonSize = 1.05 * theta / cosMin / kDegToRad;
    return cells;
}

bool lf_overlaps(const ParkPos& a, const ParkPos& b)
{
    return b.standId != a.standId && a.radius + b.radius > 1.1 * gf_distanceNm(a.lat, a.lon, b.lat, b.lon);
}

}  // namespace

void gf_computeOverlappingStands()
{
    std::vector<ParkPos>& stands = g_parkPositions;
    for (auto& a : stands)
        a.overlapping.clear();
    const std::optional<OverlapCells> cells = lf_overlapCells(stands);
    if (!cells) {
        for (auto& a : stands)
            for (const auto& b : stands)
                if (lf_overlaps(a, b))
                    a.overlapping.push_back(b.standId);
    } else {
        // A dense grid of rows x columns cells, no more cells than about four times the stands (cells
        // are made larger when the smallest would be more: a cell only needs to be at least the
        // overlap reach). The stands are placed cell by cell (a counting sort, each cell in list
        // order) with what the test needs side by side; a stand's candidates are the three runs of
        // its own and the neighbouring rows, each three cells wide.
        double latSize = cells->latSize, lonSize = cells->lonSize;
        double latSpan = 0.0, lonSpan = 0.0;
        for (const ParkPos& s : stands) {
            latSpan = std::max(latSpan, s.lat - cells->latMin);
            lonSpan = std::max(lonSpan, s.lon - cells->lonMin);
        }
        const double limit = 4.0 * static_cast<double>(stands.size()) + 64.0;
        double rows = std::floor(latSpan / latSize) + 1.0, columns = std::floor(lonSpan / lonSize) + 1.0;
        while (rows * columns > limit) {
            const double grow = std::sqrt(rows * columns / limit) * 1.01;
            latSize *= grow;
            lonSize *= grow;
            rows = std::floor(latSpan / latSize) + 1.0;
            columns = std::floor(lonSpan / lonSize) + 1.0;
        }
        const auto rowCount = static_cast<std::size_t>(rows), columnCount = static_cast<std::size_t>(columns);
        struct Placed {
            double lat, lon, radius, phi, cosLat;
            std::uint32_t index, standId;
        };
        std::vector<std::uint32_t> cellOf(stands.size());
        std::vector<std::uint32_t> cellStart(rowCount * columnCount + 1, 0);
        for (std::size_t i = 0; i < stands.size(); ++i) {
            const auto row = std::min(static_cast<std::size_t>((stands[i].lat - cells->latMin) / latSize), rowCount - 1);
            const auto column =
                std::min(static_cast<std::size_t>((stands[i].lon - cells->lonMin) / lonSize), columnCount - 1);
            cellOf[i] = static_cast<std::uint32_t>(row * columnCount + column);
            ++cellStart[cellOf[i] + 1];
        }
        for (std::size_t c = 1; c < cellStart.size(); ++c)
            cellStart[c] += cellStart[c - 1];
        std::vector<Placed> placed(stands.size());
        {
            std::vector<std::uint32_t> next(cellStart.begin(), cellStart.end() - 1);
            for (std::uint32_t i = 0; i < stands.size(); ++i) {
                const ParkPos& s = stands[i];
                const double phi = s.lat * kDegToRad;
                placed[next[cellOf[i]]++] = {s.lat, s.lon, s.radius, phi, std::cos(phi), i, s.standId};
            }
        }
        std::vector<std::uint32_t> found;
        for (const Placed& a : placed) {
            found.clear();
            const std::size_t row = cellOf[a.index] / columnCount, column = cellOf[a.index] % columnCount;
            const std::size_t firstColumn = column == 0 ? 0 : column - 1;
            const std::size_t lastColumn = std::min(column + 1, columnCount - 1);
            for (std::size_t r = row == 0 ? 0 : row - 1; r <= std::min(row + 1, rowCount - 1); ++r) {
                const std::uint32_t from = cellStart[r * columnCount + firstColumn];
                const std::uint32_t to = cellStart[r * columnCount + lastColumn + 1];
                for (std::uint32_t k = from; k < to; ++k) {
                    // Two stands whose latitudes alone lie further apart than their radii allow do
                    // not overlap (the distance is at least the latitudes' arc; a 1 % margin for
                    // rounding).
                    const Placed& b = placed[k];
                    const double reach = a.radius + b.radius;
                    const double dPhi = b.phi - a.phi;
                    if (std::abs(dPhi) * kEarthRadiusNm * 1.1 > reach * 1.01)
                        continue;
                    // Within 0.01 rad the flat distance sqrt(dPhi² + cosA cosB dLambda²) is the
                    // great circle's to better than 1e-4 (the haversine's sines taken for their
                    // angles): a pair clearly apart or clearly overlapping by a 1e-3 margin needs no
                    // trigonometry, and is told by the squares; the pairs in between take the exact
                    // test.
                    const double dLambda = (b.lon - a.lon) * kDegToRad;
                    if (std::abs(dPhi) < 0.01 && std::abs(dLambda) < 0.01 && b.standId != a.standId) {
                        const double flat2 = kEarthRadiusNm * kEarthRadiusNm * 1.21 *
                                             (dPhi * dPhi + a.cosLat * b.cosLat * dLambda * dLambda);
                        if (flat2 > reach * reach * (1.001 * 1.001))
                            continue;
                        if (flat2 < reach * reach * (0.999 * 0.999)) {
                            found.push_back(b.index);
                            continue;
                        }
                    }
                    if (lf_overlaps(stands[a.index], stands[b.index]))
                        found.push_back(b.index);
                }
            }
            // In list order, the list at its size in one allocation.
            std::sort(found.begin(), found.end());
            std::vector<std::uint32_t>& list = stands[a.index].overlapping;
            list.reserve(found.size());
            for (const std::uint32_t j : found)
                list.push_back(stands[j].standId);
        }
    }
    for (auto& a : stands)
        a.overlapping.shrink_to_fit();
}

std::pair<std::int32_t, std::int32_t> gf_qualityFactor()
{
    const bool anyOption = std::any_of(g_parkPositions.begin(), g_parkPositions.end(),
                                       [](const ParkPos& p) { return !p.options.empty(); });
    if (g_parkPositions.empty() || !anyOption)
        return {-1, -1};

    // Score of one group of options of one stand; 0 for an empty group.
    auto groupScore = [](const ParkPos& stand, std::uint32_t real) -> double {
        std::uint32_t n = 0;
        std::uint32_t slotSum = 0;
        std::set<std::uint32_t> days;
        for (const auto& option : stand.options) {
            if (option.number == 0 || option.real != real)
                continue;
            ++n;
            if (option.weekday >= 1 && option.weekday <= 7)
                days.insert(option.weekday);
            slotSum += lf_slotCount(option.slots);
        }
        if (n == 0)
            return 0.0;
        return 10000.0 + std::min(20.0 * n, 4000.0) + 100.0 * static_cast<double>(days.size()) +
               2.0 * std::min<std::uint32_t>(slotSum, 600);
    };

    double realSum = 0.0;
    double softSum = 0.0;
    for (const auto& stand : g_parkPositions) {
        realSum += groupScore(stand, 1);
        softSum += groupScore(stand, 0);
    }
    const double count = static_cast<double>(g_parkPositions.size());
    auto factor = [&](double sum) {
        const long value = std::lround(sum / count * kQualityScale);
        return static_cast<std::int32_t>(std::clamp<long>(value, 0, 100));
    };
    return {factor(realSum), factor(softSum)};
}

std::string gf_qualityFactorText(std::int32_t real, std::int32_t soft)
{
    if (real < 0 && soft < 0)
        return "  ";
    if (real < 45)
        return tvx::format("{:2}/{:2}", real, soft);
    return tvx::format("{:2}", real);
}
