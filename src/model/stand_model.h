// The stands of the park airport and their week schedules. Every stand is one ParkPos; its schedule
// is a list of ParkPosOption, each an aircraft identity with one weekday and the set of half-hour
// slots of that day in which the aircraft stands there. This file owns g_parkPositions and the small
// operations that the stand schedule, the parking-file reader and writer and the parked-traffic
// placement share: the slot-range test, the option match, appending and updating options, the
// neighbouring-slot search, the overlap rule between stands and the quality factor of the stand data.
//
// Thread: the main loop (start-up thread) owns g_parkPositions; nothing here takes a lock.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/time_slots.h"
#include "foundation/units.h"

// Stamps are the packed weekday/slot pairs of the schedule clock (DaySlot of time_slots.h).

// Slot set access with the bound check of the slot set: a position of 48 or more throws
// std::out_of_range "invalid bitset position".
void gf_setSlot(SlotSet& slots, std::uint32_t slot);
bool gf_testSlot(const SlotSet& slots, std::uint32_t slot);

// One parking option of a stand.
struct ParkPosOption {
    std::string airline;
    std::string type;            // ICAO aircraft type designator
    std::string registration;    // may be empty
    std::string callsign;        // may be empty
    std::string callsign2;       // the aircraft's other flight number seen here; empty when none
    SlotSet slots{};             // half-hour slots of the weekday in which it stands here
    std::uint32_t number = 0;    // 1, 2, 3 ... within the stand; 0 = no longer counts
    std::uint32_t weekday = 0;   // 1..7
    std::uint32_t source = 0;    // 1 park airport's file, learned-file value, 0 added at run time
    std::uint32_t real = 1;      // 1 real, 0 soft
};

// Last sighting of a live aircraft at a stand: schedule stamp and the option's number.
struct StandSighting {
    std::uint64_t stamp = 0;
    std::uint32_t number = 0;
};

// Last sightings at one stand by hexid: a flat list, as a stand sees a handful of aircraft at a
// time; a stand without sightings allocates nothing and costs three words (the scan builds
// thousands of stands at once).
class StandSightings {
public:
    using value_type = std::pair<std::uint32_t, StandSighting>;
    using iterator = std::vector<value_type>::iterator;
    using const_iterator = std::vector<value_type>::const_iterator;

    iterator begin() { return m_items.begin(); }
    iterator end() { return m_items.end(); }
    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }
    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }

    iterator find(std::uint32_t hexid)
    {
        return std::find_if(m_items.begin(), m_items.end(), [hexid](const value_type& v) { return v.first == hexid; });
    }
    const_iterator find(std::uint32_t hexid) const
    {
        return std::find_if(m_items.begin(), m_items.end(), [hexid](const value_type& v) { return v.first == hexid; });
    }
    bool contains(std::uint32_t hexid) const { return find(hexid) != end(); }
    // Throws std::out_of_range when the hexid has no sighting.
    const StandSighting& at(std::uint32_t hexid) const;
    // Adds the sighting unless the hexid has one; the hexid's entry and whether it was added.
    std::pair<iterator, bool> emplace(std::uint32_t hexid, StandSighting sighting);
    // Removes the hexid's sighting; the number removed (0 or 1).
    std::size_t erase(std::uint32_t hexid);

private:
    std::vector<value_type> m_items;
};

// One stand of the park airport.
struct ParkPos {
    ParkPos(std::string name, std::vector<ParkPosOption> options, double latitude, double longitude,
            double headingRad, double radiusMetres, bool cargo, bool ramp, bool heli);

    std::vector<ParkPosOption> options;                           // in number order
    StandSightings realSightings;              // hexid -> last real sighting
    StandSightings softSightings;              // hexid -> last soft sighting
    std::string name;                          // the parking file's "id" attribute
    std::vector<std::uint32_t> overlapping;    // stand ids of the stands that overlap this one
    double lat = 0.0;                          // degrees
    double lon = 0.0;                          // degrees
    double heading = 0.0;                      // radians
    double radius = 0.0;                       // nautical miles
    std::uint32_t standId = 0;                 // 1..n, given by the reader of the stands
    bool manual = false;                       // added or corrected by hand in a learned file
    bool radiusChange = false;                 // radius enlarged at run time or by a learned file
    bool cargoChange = false;                  // cargo flag changed by a learned file
    bool scanMark = false;                     // created by the add-on airport scan, not yet done
    bool taken = false;                        // given to a parked aircraft of the plan
    bool occupied = false;                     // an aircraft stands there now (free-stand search skips it)
    bool reserved = false;                     // the reserved stand of the park airport
    bool blocked = false;                      // an overlapping stand is taken
    bool keptFree = false;                     // plan mark: kept free (reserved or the user's stand)
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
};

// The stands of the park airport (main loop).
extern std::vector<ParkPos> g_parkPositions;

// The name of a scanned stand, kept inside the record so that thousands of stands cost no string
// each: a BGL stand name is at most "sep4095" and a letter, a helipad's "helipad" and its number at
// most 17 characters. Zero-terminated; a longer text is cut at kMaxSize characters.
class ScannedName {
public:
    static constexpr std::size_t kMaxSize = 23;

    // Up to eight characters packed into 64 bits, first in the low byte, zero-padded.
    struct Packed {
        std::uint64_t key;
    };

    ScannedName() = default;
    explicit ScannedName(std::string_view text) { assign(text); }
    // Whole words, so that a record is filled without byte stores.
    explicit ScannedName(Packed packed)
        : m_words{std::endian::native == std::endian::little ? packed.key : __builtin_bswap64(packed.key), 0, 0}
    {
    }
    void assign(std::string_view text)
    {
        m_words = {};
        std::memcpy(m_words.data(), text.data(), std::min(text.size(), kMaxSize));
    }
    const char* c_str() const { return reinterpret_cast<const char*>(m_words.data()); }
    std::string_view view() const { return c_str(); }
    std::string str() const { return c_str(); }

    friend bool operator==(const ScannedName& a, std::string_view b) { return a.view() == b; }
    // The order of the texts as strings compare them (byte by byte, a prefix first).
    friend bool operator<(const ScannedName& a, const ScannedName& b) { return std::strcmp(a.c_str(), b.c_str()) < 0; }

private:
    std::array<std::uint64_t, (kMaxSize + 1) / 8> m_words{};  // the characters, zero-terminated
};

// A position as a BGL file packs it: degrees from the file's 32-bit values.
constexpr double gf_packedLat(std::uint32_t raw)
{
    return 90.0 - raw * 3.3527612686157227e-07;  // 180 / 2^29 a unit
}
constexpr double gf_packedLon(std::uint32_t raw)
{
    return raw * 4.470348358154297e-07 - 180.0;  // 360 / (3 * 2^28) a unit
}

// A stand as the add-on airport scan decodes it from a BGL file: what a generated parking file
// holds of it, without the schedule and run-time state of a ParkPos (an airport may have thousands).
// Position, heading and radius are kept as the file gives them, in the file's order, and converted
// when read (48 bytes a stand rather than 64).
struct ScannedStand {
    // Kind bits of flags. The scan mark: the stand got a letter for its name (cleared when its group
    // is named by radius).
    static constexpr std::uint8_t kCargo = 1;
    static constexpr std::uint8_t kRamp = 2;
    static constexpr std::uint8_t kHeli = 4;
    static constexpr std::uint8_t kScanMark = 8;

    ScannedStand() = default;
    // Every field written once, in place (a long parking list: a record built aside and copied in,
    // or zeroed and then filled, costs more than its fields).
    ScannedStand(ScannedName::Packed packedName, std::uint32_t rawLon, std::uint32_t rawLat, float rawRadius,
                 float rawHeading, std::uint8_t flags)
        : name(packedName), rawLon(rawLon), rawLat(rawLat), rawRadius(rawRadius), rawHeading(rawHeading),
          flags(flags)
    {
    }

    double lat() const { return gf_packedLat(rawLat); }  // degrees
    double lon() const { return gf_packedLon(rawLon); }  // degrees
    // Radians; a heading of 0 is a full turn, a helipad's is 0.
    double heading() const { return heli() ? 0.0 : rawHeading == 0.0f ? 2.0 * kPi : rawHeading * kDegToRad; }
    // Nautical miles; a helipad's is half its width.
    double radius() const { return (heli() ? rawRadius / 2.0 : static_cast<double>(rawRadius)) * kNmPerMetre; }
    bool cargo() const { return flags & kCargo; }
    bool ramp() const { return flags & kRamp; }
    bool heli() const { return flags & kHeli; }
    bool scanMark() const { return flags & kScanMark; }

    ScannedName name;
    std::uint32_t rawLon = 0;  // packed longitude as read
    std::uint32_t rawLat = 0;  // packed latitude as read
    float rawRadius = 0.0f;    // metres as read (a helipad: its width)
    float rawHeading = 0.0f;   // degrees as read
    std::uint8_t flags = 0;    // kCargo, kRamp, kHeli, kScanMark
};
static_assert(sizeof(ScannedStand) == 48);

// Identity of a new option: the aircraft's own, or the aircraft database's for a known registration
// (gf_standIdentity of parking/registration_lookup.h).
struct AirlineType {
    std::string airline;
    std::string type;
};

// True when any slot from start down to max(start - offset, 0) is set; never crosses midnight.
// remainder is the part of the range before slot 0, as an offset back from slot 47 of the previous
// day (offset - start - 1), or -1 when the range ends within the day. A start of 48 or more is
// logged and answers false.
bool testRange(const ParkPosOption& option, std::uint32_t start, std::uint32_t offset,
               std::int32_t& remainder);

// The option match of the free-stand search and the stand rating.
bool gf_optionMatches(const std::string& callsign, const std::string& airline,
                      const std::string& type, const ParkPosOption& option);

// Appends a new option for the stamp's weekday and slot and returns its number. A slot of 48 or
// more throws "invalid bitset position" to the caller.
std::uint32_t gf_addParkPosOption(std::vector<ParkPosOption>& options, const AirlineType& identity,
                                  std::uint32_t real, std::uint64_t stamp, std::string callsign,
                                  const std::string& registration);

// Numbers the options 1, 2, 3 ... in order: an option the plan search dropped (number 0) counts
// again.
void gf_renumberOptions(std::vector<ParkPosOption>& options);

// Sets the stamp's slot in the option with that number and records the callsign. False when no
// option has the number or an error occurred (logged).
bool gf_updateParkPosOption(std::vector<ParkPosOption>& options, std::uint64_t stamp,
                            std::uint32_t number, std::string callsign);

// First counting real option of the weekday and registration whose slots hold the slot or one of
// its neighbours (wrapping within the weekday); options.end() when none.
std::vector<ParkPosOption>::iterator gf_findOptionNearSlot(std::vector<ParkPosOption>& options,
                                                          std::uint32_t weekday, std::uint32_t slot,
                                                          const std::string& registration);

// "day={} hh={}"
std::string gf_daySlotText(std::uint64_t stamp);

// Fills the overlapping-stand lists of every stand of g_parkPositions (once after reading).
void gf_computeOverlappingStands();

// (real, soft) quality factors 0..100 of g_parkPositions; (-1, -1) without stands or options.
std::pair<std::int32_t, std::int32_t> gf_qualityFactor();

// "  " when both are negative; "{:2}/{:2}" when real is below 45; else "{:2}".
std::string gf_qualityFactorText(std::int32_t real, std::int32_t soft);
