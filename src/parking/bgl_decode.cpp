// Airport BGL decoding for the add-on airport scan. Scan worker threads, one file per task; all
// state of a task is its own (BglTaskState). See bgl_decode.h for the layout read.
#include "parking/bgl_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <exception>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <unordered_map>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/position_text.h"
#include "foundation/settings.h"
#include "foundation/text_file.h"
#include "foundation/units.h"
#include "model/airport_list.h"
#include "parking/addon_scan.h"

namespace {

constexpr const char* kErrorPrefix = "===> ";

constexpr std::uint32_t kHeaderSize = 56;
constexpr std::size_t kHeaderWords = 14;
constexpr std::size_t kSectionWords = 5;
constexpr std::uint32_t kAirportSection = 3;
constexpr std::uint16_t kAirportRecord = 0x0056;
constexpr std::uint16_t kUndecodableAirportRecord = 0x0113;
constexpr std::uint16_t kHelipadRecord = 0x0026;
constexpr std::uint16_t kParkingRecord = 0x00E7;
constexpr std::size_t kAirportHeaderWords = 17;  // 68 bytes
constexpr std::size_t kParkingEntryWords = 14;   // 56 bytes before the airline codes

constexpr char kNameLetters[] = {'a', 'b', 'c', 'd', 'e', 'f'};

// The kind of a stand of each parking type (4 bits): types 0, 12 and 13 give no stand, 1 to 7 and
// 14 are ramps, 5 is cargo.
constexpr std::uint8_t kSkippedType = 0x80;  // beside the ScannedStand kind bits
constexpr std::array<std::uint8_t, 16> kTypeFlags = [] {
    std::array<std::uint8_t, 16> flags{};
    for (std::uint32_t type = 0; type < 16; ++type) {
        if (type == 0 || type == 12 || type == 13)
            flags[type] = kSkippedType;
        else if ((type >= 1 && type <= 7) || type == 14)
            flags[type] = ScannedStand::kRamp;
        if (type == 5)
            flags[type] |= ScannedStand::kCargo;
    }
    return flags;
}();
static_assert((kSkippedType & (ScannedStand::kCargo | ScannedStand::kRamp | ScannedStand::kHeli |
                               ScannedStand::kScanMark)) == 0);

// The first raw value from which a test, false below it, is true (2^32 when it never is).
template <class Test>
constexpr std::uint64_t lf_firstRaw(Test test)
{
    std::uint64_t low = 0, high = std::uint64_t{1} << 32;
    while (low < high) {
        const std::uint64_t middle = low + (high - low) / 2;
        if (test(static_cast<std::uint32_t>(middle)))
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

// A bad position lies outside the globe (latitude below -90 or above 90, longitude below -180 or
// above 180) or at the "no position" spot off the coast of Africa (latitude 0 to 0.0009, longitude
// 0 to 0.05). Each bound is found once as a raw value (a packed latitude falls as its raw value
// rises, a longitude rises with it), so that the thousands of entries of a parking list are tested
// on the integers; the bounds come from the same formulas, so the tests agree on every value.
constexpr std::uint64_t kRawLatSouthOfPole = lf_firstRaw([](std::uint32_t r) { return gf_packedLat(r) < -90.0; });
constexpr std::uint64_t kRawLonEastOfDateLine = lf_firstRaw([](std::uint32_t r) { return gf_packedLon(r) > 180.0; });
constexpr std::uint64_t kRawLatSpotFirst = lf_firstRaw([](std::uint32_t r) { return gf_packedLat(r) <= 0.0009; });
constexpr std::uint64_t kRawLatSpotEnd = lf_firstRaw([](std::uint32_t r) { return gf_packedLat(r) < 0.0; });
constexpr std::uint64_t kRawLonSpotFirst = lf_firstRaw([](std::uint32_t r) { return gf_packedLon(r) >= 0.0; });
constexpr std::uint64_t kRawLonSpotEnd = lf_firstRaw([](std::uint32_t r) { return gf_packedLon(r) > 0.05; });
static_assert(gf_packedLat(0) == 90.0 && gf_packedLon(0) == -180.0, "raw 0 lies on the globe");

// Outside the globe or at the "no position" spot; no latitude lies above 90 and no longitude below -180.
bool lf_isBadPackedPosition(std::uint32_t rawLat, std::uint32_t rawLon)
{
    if (rawLat >= kRawLatSouthOfPole || rawLon >= kRawLonEastOfDateLine)
        return true;
    return rawLat >= kRawLatSpotFirst && rawLat < kRawLatSpotEnd && rawLon >= kRawLonSpotFirst &&
           rawLon < kRawLonSpotEnd;
}

// A stand's radius in metres, more than 1 and less than 200, tested on the float's bits: positive
// floats order as their bits do, and the bits of negative floats and NaNs lie above those of 200.
constexpr bool lf_isStandRadius(std::uint32_t bits)
{
    constexpr std::uint32_t kFirst = std::bit_cast<std::uint32_t>(1.0f) + 1;  // the float after 1
    constexpr std::uint32_t kEnd = std::bit_cast<std::uint32_t>(200.0f);
    return bits - kFirst < kEnd - kFirst;
}
static_assert(lf_isStandRadius(std::bit_cast<std::uint32_t>(1.5f)) &&
              lf_isStandRadius(std::bit_cast<std::uint32_t>(199.9f)) &&
              !lf_isStandRadius(std::bit_cast<std::uint32_t>(1.0f)) &&
              !lf_isStandRadius(std::bit_cast<std::uint32_t>(200.0f)) &&
              !lf_isStandRadius(std::bit_cast<std::uint32_t>(-5.0f)));

// A float neither infinite nor NaN, tested on its bits (the exponent is not all ones).
constexpr bool lf_isFinite(std::uint32_t bits)
{
    return (bits & 0x7F800000u) != 0x7F800000u;
}

// Record step in words (signed division of the record size); 0 or less means no progress.
std::int64_t lf_recordStep(std::uint32_t size)
{
    return static_cast<std::int32_t>(size) / 4;
}

}  // namespace

void BglWords::lf_throwBeyond(std::size_t index) const
{
    throw std::out_of_range(tvx::format("BGL offset {} lies beyond the {} bytes read", index * 4, m_words.size() * 4));
}

float BglWords::f32(std::size_t index) const
{
    return std::bit_cast<float>(at(index));
}

bool gf_readBglWords(const std::filesystem::path& file, BglFileWords& words)
{
    // stdio rather than a stream: the read is most of a small file's decoding.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(gf_openFile(file, "rb"), &std::fclose);
    if (!in || std::fseek(in.get(), 0, SEEK_END) != 0)
        return false;
    const long size = std::ftell(in.get());
    if (size < 0 || std::fseek(in.get(), 0, SEEK_SET) != 0)
        return false;
    const std::size_t bytes = static_cast<std::size_t>(size);
    words.size = (bytes + 3) / 4;
    words.data = std::make_unique_for_overwrite<std::uint32_t[]>(words.size);
    if (words.size > 0)
        words.data[words.size - 1] = 0;  // the zero fill of a last incomplete word
    if (std::fread(words.data.get(), 1, bytes, in.get()) != bytes)
        return false;
    if constexpr (std::endian::native == std::endian::big) {
        for (std::uint32_t& w : std::span(words.data.get(), words.size))
            w = __builtin_bswap32(w);
    }
    return true;
}

bool lf_hasAirportSection(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    const std::streamoff size = in.tellg();
    if (size < 15)
        return false;
    in.seekg(0);
    std::uint32_t header[kHeaderWords] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header))
        return false;
    const std::uint64_t count = header[5];
    if (count == 0 || kHeaderSize + 20 * count >= static_cast<std::uint64_t>(size))
        return false;
    std::vector<std::uint32_t> sections(count * kSectionWords);
    if (!in.read(reinterpret_cast<char*>(sections.data()), static_cast<std::streamsize>(sections.size() * 4)))
        return false;
    for (std::size_t i = 0; i < count; ++i)
        if (sections[i * kSectionWords] == kAirportSection)
            return true;
    return false;
}

std::pair<std::string, bool> lf_decodeIdentifierOrRegionCode(std::uint32_t packed)
{
    std::string text;
    bool blank = false;
    try {
        std::uint32_t v = (packed >> 5) & 0x7FFFFFFu;
        if (v > 37) {
            std::vector<std::uint32_t> digits;
            while (v > 0) {
                digits.push_back(v % 38);
                v /= 38;
            }
            for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
                const std::uint32_t d = *it;
                if (d == 0) {
                    text += ' ';
                    blank = true;
                } else if (d == 1) {
                    text += static_cast<char>(54);
                } else if (d <= 11) {
                    text += static_cast<char>('0' + d - 2);
                } else {
                    text += static_cast<char>('A' + d - 12);
                }
            }
        }
    } catch (const std::exception&) {
        gf_log("! Exception in {}", "lf_decodeIdentifierOrRegionCode");
    }
    return {text, !blank && text.size() == 4};
}

namespace {

constexpr const char* kParkingNames[] = {"", "r", "p", "np", "ep", "sep", "sp", "swp", "wp", "nwp", "g", ""};

// A stand name of up to 8 characters packed into 64 bits, first character in the low byte,
// zero-padded: a key for the name set that costs no heap and no memory round trip. No character
// is a zero byte, so the size follows from the key (worked out only when a name needs it).
struct PackedName {
    std::uint64_t key = 0;

    std::size_t size() const { return (static_cast<std::size_t>(std::bit_width(key)) + 7) / 8; }
    void push(char c) { key |= static_cast<std::uint64_t>(static_cast<unsigned char>(c)) << (8 * size()); }
    // The name with one more character (the caller keeps within 8).
    PackedName with(char c) const
    {
        PackedName longer = *this;
        longer.push(c);
        return longer;
    }
    // The characters, in a buffer of the caller's.
    std::string_view text(char (&out)[8]) const
    {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, &key, sizeof out);
        } else {
            for (std::size_t i = 0; i < sizeof out; ++i)
                out[i] = static_cast<char>(key >> (8 * i));
        }
        return {out, size()};
    }
};

// Up to four characters packed into 32 bits, first in the low byte.
template <std::size_t N>
using PackedTexts = std::array<std::uint32_t, N>;

constexpr std::uint32_t lf_packText(const char* text)
{
    std::uint32_t packed = 0;
    for (std::size_t i = 0; text[i] != '\0'; ++i)
        packed |= static_cast<std::uint32_t>(static_cast<unsigned char>(text[i])) << (8 * i);
    return packed;
}

// Characters in a packed text (none is a zero byte).
constexpr std::size_t lf_packedSize(std::uint32_t packed)
{
    return (static_cast<std::size_t>(std::bit_width(packed)) + 7) / 8;
}

// The text of a name code with what a stand's name needs beside it: the shift that puts the number
// after the text, and the text's first word in the bitmap of decoded names (64 words, one bit for
// each number, per distinct text; codes 0 and 11 give no text, codes 1, 2 and 10 give "r", "p" and
// "g", as codes 61, 59 and 50 do: such codes share their first code's bits).
struct CodeText {
    std::uint32_t text = 0;
    std::uint8_t numberShift = 0;
    std::uint16_t bitmapWord = 0;
};

// The 64 name codes: the names of the first twelve, else the one character.
constexpr std::array<CodeText, 64> kCodeTexts = [] {
    std::array<CodeText, 64> texts{};
    for (std::uint32_t code = 0; code < 64; ++code) {
        CodeText& t = texts[code];
        t.text = code < 12 ? lf_packText(kParkingNames[code]) : code + 53;
        t.numberShift = static_cast<std::uint8_t>(8 * lf_packedSize(t.text));
        std::uint32_t first = 0;
        while (texts[first].text != t.text)
            ++first;
        t.bitmapWord = static_cast<std::uint16_t>(first * 64);
    }
    return texts;
}();
static_assert(sizeof(CodeText) == 8);

// The numbers 0 to 4095 in decimal.
constexpr PackedTexts<4096> kNumberTexts = [] {
    PackedTexts<4096> texts{};
    for (std::uint32_t number = 0; number < 4096; ++number) {
        char digits[5] = {};
        std::size_t n = 0;
        for (std::uint32_t v = number; n == 0 || v != 0; v /= 10)
            ++n;
        for (std::uint32_t v = number, i = n; i > 0; v /= 10)
            digits[--i] = static_cast<char>('0' + v % 10);
        texts[number] = lf_packText(digits);
    }
    return texts;
}();

// The name of a parking entry: the text of its name code followed by its number (0 to 4095) in
// decimal, at most "sep4095". Two table look-ups, so that thousands of stands cost little.
PackedName lf_parkingName(const CodeText& code, std::uint32_t number)
{
    return {code.text | (static_cast<std::uint64_t>(kNumberTexts[number & 0xFFFu]) << code.numberShift)};
}

// The first free name of the base with a letter a to f; size 0 when all six are given.
PackedName lf_letteredName(const PackedName& base, BglStandNames& names)
{
    for (const char letter : kNameLetters) {
        const PackedName name = base.with(letter);
        if (names.insert(name.key))
            return name;
    }
    return {};
}

// The packed key of a name of up to 8 characters.
std::uint64_t lf_packName(std::string_view name)
{
    PackedName packed;
    for (std::size_t i = 0; i < std::min<std::size_t>(name.size(), 8); ++i)
        packed.push(name[i]);
    return packed.key;
}

}  // namespace

std::string lf_parkingNameText(std::uint32_t code)
{
    if (code < 12)
        return kParkingNames[code];
    if (code < 64)
        return std::string(1, static_cast<char>(code + 53));
    return {};
}

void BglStandNames::clear()
{
    // Only a long list (more than kHashedNames stands) sets bits: clearing the bitmap costs less
    // than keeping a list of the bits set.
    if (m_bitmap)
        std::fill(m_decoded.begin(), m_decoded.end(), 0);
    if (m_count > 0)
        std::fill(m_slots.begin(), m_slots.end(), 0);
    m_count = 0;
    m_bitmap = false;
}

void BglStandNames::lf_rehash(std::size_t slots)
{
    std::vector<std::uint64_t> old(slots, 0);
    old.swap(m_slots);
    m_count = 0;
    for (const std::uint64_t key : old)
        if (key != 0)
            lf_place(key);
}

bool lf_walkAirportRecords(const BglWords& words, bool is2020, const BglAirportVisitor& onAirport)
{
    // Sections, subsection tables and blocks may point at each other's parts in a damaged or
    // crafted file. Each subsection record and each record start is walked once: a table that
    // reaches a subsection record walked before ends there, a block walk that reaches a record
    // walked before ends there, and an airport record that overlaps one visited before is not
    // visited again. So the work stays proportional to the file's size; files whose tables and
    // blocks do not overlap are read as they always were.
    std::vector<bool> walkedSubsection(words.size());
    std::vector<bool> walkedRecord(words.size());
    std::map<std::size_t, std::size_t> airportExtents;  // first word -> word after the record
    const auto overlapsVisitedAirport = [&airportExtents](std::size_t first, std::size_t end) {
        const auto next = airportExtents.upper_bound(first);
        if (next != airportExtents.end() && next->first < end)
            return true;
        return next != airportExtents.begin() && std::prev(next)->second > first;
    };

    const std::uint32_t sections = words.at(5);
    for (std::uint32_t s = 0; s < sections; ++s) {
        const std::size_t section = kHeaderWords + static_cast<std::size_t>(s) * kSectionWords;
        if (words.at(section) != kAirportSection)
            continue;
        const std::uint32_t subRecordSize = ((words.at(section + 1) & 0x10000u) | 0x40000u) >> 14;
        if (subRecordSize != 16)
            continue;
        // Each subsection's records lie in its own data block; the walk keeps inside it.
        const std::uint32_t subsections = words.at(section + 2);
        const std::size_t firstSub = words.at(section + 3) / 4;
        for (std::uint32_t k = 0; k < subsections; ++k) {
            const std::size_t sub = firstSub + static_cast<std::size_t>(k) * 4;
            const std::size_t data = words.at(sub + 2) / 4;
            const std::size_t dataWords = words.at(sub + 3) / 4;
            if (walkedSubsection[sub])
                break;
            walkedSubsection[sub] = true;
            if (dataWords > 0)
                (void)words.at(data);  // data that starts beyond the file is damage, not an empty block
            // A block cut short by the end of the file is read as far as it goes.
            const std::size_t end = std::min<std::size_t>(words.size(), data + dataWords);
            std::size_t index = data;
            while (index + 1 < end && !walkedRecord[index]) {
                walkedRecord[index] = true;
                const std::uint16_t id = words.recordId(index);
                const std::uint32_t size = words.recordSize(index);
                if (!is2020 && id == kUndecodableAirportRecord)
                    return false;
                if (id == kAirportRecord) {
                    const std::size_t extentEnd = std::min<std::size_t>(words.size(), index + std::max(size / 4, 1u));
                    if (!overlapsVisitedAirport(index, extentEnd)) {
                        airportExtents.emplace(index, extentEnd);
                        const auto [code, complete] = lf_decodeIdentifierOrRegionCode(words.at(index + 10));
                        if (complete)
                            onAirport(index, size / 4, code);
                    }
                }
                const std::int64_t step = lf_recordStep(size);
                if (step <= 0)
                    break;
                index += static_cast<std::size_t>(step);
            }
        }
    }
    return true;
}

void lf_decodeHelipad(std::size_t index, const BglWords& words, ScannedAirport& record, BglTaskState& state)
{
    const std::uint32_t rawLat = words.at(index + 4);
    const std::uint32_t rawLon = words.at(index + 3);
    const double lat = gf_packedLat(rawLat);
    const double lon = gf_packedLon(rawLon);
    const float width = words.f32(index + 7);
    const std::string position = gf_latLonText(lat, lon);
    if (lf_isBadPackedPosition(rawLat, rawLon)) {
        lf_addScanMessage("lat/lon helipad incorrect (skipped): " + position);
        return;
    }
    if (std::find(state.helipads.begin(), state.helipads.end(), std::make_pair(lat, lon)) != state.helipads.end()) {
        lf_addScanMessage("double helipad " + record.airportName + " (skipped) " + position);
        return;
    }
    // A damaged width would give a stand of no size or of unknown size.
    if (!std::isfinite(width) || width <= 0.0f) {
        lf_addScanMessage(tvx::format("helipad with width {} meters (skipped) {}", width, position));
        return;
    }
    state.helipads.emplace_back(lat, lon);
    ScannedStand& stand = record.stands.emplace_back();
    stand.name.assign(tvx::format("helipad{}", record.helipadCounter));
    stand.rawLon = rawLon;
    stand.rawLat = rawLat;
    stand.rawRadius = width;
    stand.flags = ScannedStand::kHeli;
    ++record.helipadCounter;
}

namespace {

// The messages of a parking list's skipped entries. They are rare: out of line, so that the loop
// over thousands of entries keeps its values in registers.
[[gnu::cold, gnu::noinline]] void lf_reportEntriesOutside(std::uint32_t count, std::uint32_t inside,
                                                          const std::string& path)
{
    lf_addScanMessage(tvx::format("{}{} parking entries listed, only {} lie inside their record, in {}", kErrorPrefix,
                                  count, inside, path));
}

[[gnu::cold, gnu::noinline]] void lf_reportRadius(float radius, const std::string& path)
{
    lf_addScanMessage(tvx::format("skipped position with radius {:.1F} meters, in {}", radius, path));
}

[[gnu::cold, gnu::noinline]] void lf_reportPosition(std::uint32_t rawLat, std::uint32_t rawLon)
{
    lf_addScanMessage(
        tvx::format("lat/lon: {}, incorrect (skipped) ", gf_latLonText(gf_packedLat(rawLat), gf_packedLon(rawLon))));
}

[[gnu::cold, gnu::noinline]] void lf_reportHeading(PackedName name, float heading, const std::string& path)
{
    char text[8];
    lf_addScanMessage(tvx::format("skipped position {} with heading {}, in {}", name.text(text), heading, path));
}

[[gnu::cold, gnu::noinline]] void lf_reportSameIds(PackedName name, const std::string& path)
{
    char text[8];
    lf_addScanMessage(tvx::format("{}Warning more then 6 the same ids {}, in {}", kErrorPrefix, name.text(text), path));
}

}  // namespace

void lf_decodeParkingSubrecord(std::size_t index, std::size_t endWord, const BglWords& words,
                               ScannedAirport& record, BglTaskState& state, const std::string& path)
{
    const std::uint32_t count = words.at(index + 1) >> 16;
    const std::size_t first = index + 2;
    // The subrecord's words, checked once (its end lies within the words read); the fixed part of
    // each entry that lies inside is counted as read when the list is done.
    const std::uint32_t* e = words.block(first, std::max(first, endWord));
    std::size_t left = endWord > first ? endWord - first : 0;  // words from the entry to the list's end
    // Room for every entry that can lie inside the subrecord (a damaged count may claim more).
    if (left > 0) {
        const std::size_t fit = std::min<std::size_t>(count, left / kParkingEntryWords);
        record.stands.reserve(record.stands.size() + fit);
        state.standNames.reserve(fit);
    }
    std::uint64_t* const bits = state.standNames.decodedBits();
    // An entry must lie inside its subrecord: a count larger than the record holds would otherwise
    // read the records that follow as stands. The entries up to the first that does not: the fixed
    // part of the first is tested here, then each entry's test covers its airline codes and the
    // fixed part of the next.
    std::uint32_t inside = left >= kParkingEntryWords ? count : 0;
    for (std::uint32_t rest = inside; rest > 0; --rest) {  // entries still to read
        const std::uint32_t* const entry = e;
        const std::uint32_t packed = entry[0];
        const std::size_t size = kParkingEntryWords + (packed >> 24);
        if (size + kParkingEntryWords > left) [[unlikely]] {
            if (size > left) {
                inside -= rest;
                break;
            }
            inside -= rest - 1;  // the next entry's fixed part lies beyond
            rest = 1;
        }
        e += size;
        left -= size;

        const std::uint32_t radiusBits = entry[1];
        if (!lf_isStandRadius(radiusBits)) [[unlikely]] {
            lf_reportRadius(std::bit_cast<float>(radiusBits), path);
            continue;
        }
        const std::uint8_t kind = kTypeFlags[(packed >> 8) & 0xFu];
        if (kind & kSkippedType)
            continue;
        const std::uint32_t rawLon = entry[7];
        const std::uint32_t rawLat = entry[8];
        if (lf_isBadPackedPosition(rawLat, rawLon)) [[unlikely]] {
            lf_reportPosition(rawLat, rawLon);
            continue;
        }
        // At most "sep4095": room for a letter within the 8 characters of a packed name.
        const CodeText& code = kCodeTexts[packed & 0x3Fu];
        const std::uint32_t number = (packed >> 12) & 0xFFFu;
        const PackedName decoded = lf_parkingName(code, number);
        const std::uint32_t headingBits = entry[2];
        if (!lf_isFinite(headingBits)) [[unlikely]] {
            lf_reportHeading(decoded, std::bit_cast<float>(headingBits), path);
            continue;
        }

        PackedName name = decoded;
        bool lettered;
        if (bits) {
            std::uint64_t& word = bits[code.bitmapWord + number / 64];
            lettered = (word >> (number % 64)) & 1u;
            word |= std::uint64_t{1} << (number % 64);
        } else {
            lettered = !state.standNames.insert(decoded.key);
        }
        if (lettered) [[unlikely]] {
            name = lf_letteredName(decoded, state.standNames);
            if (name.key == 0) {
                lf_reportSameIds(decoded, path);
                continue;
            }
            state.suffixRaised = true;
        }
        record.stands.emplace_back(ScannedName::Packed{name.key}, rawLon, rawLat, std::bit_cast<float>(radiusBits),
                                   std::bit_cast<float>(headingBits),
                                   static_cast<std::uint8_t>(kind | (lettered ? ScannedStand::kScanMark : 0)));
    }
    words.noteReads(std::size_t{inside} * kParkingEntryWords);
    if (inside < count) [[unlikely]]
        lf_reportEntriesOutside(count, inside, path);
}

void lf_renameDuplicateStands(ScannedAirport& record)
{
    std::vector<ScannedStand>& stands = record.stands;
    // The parking stands by their names as decoded (unique within the airport after the
    // de-duplication, at most 8 characters: packed keys), so that each group is found without a
    // pass over all stands (an airport may hold thousands of groups).
    std::unordered_map<std::uint64_t, std::size_t> byName;
    byName.reserve(stands.size());
    for (std::size_t i = 0; i < stands.size(); ++i)
        if (!stands[i].heli())
            byName.emplace(lf_packName(stands[i].name.view()), i);

    std::vector<std::size_t> group;
    for (std::size_t firstIndex = 0; firstIndex < stands.size(); ++firstIndex) {
        if (!stands[firstIndex].scanMark())
            continue;
        // The base: the name without its letter (a lettered name is at most 8 characters).
        const std::string_view firstName = stands[firstIndex].name.view();
        const std::size_t baseSize = firstName.size() - 1;
        char name[9] = {};
        std::memcpy(name, firstName.data(), baseSize);

        // The group: the base name and the base with one letter a to f, in the stands' order.
        group.clear();
        for (std::size_t variant = 0; variant <= std::size(kNameLetters); ++variant) {
            if (variant > 0)
                name[baseSize] = kNameLetters[variant - 1];
            if (const auto it = byName.find(lf_packName(name)); it != byName.end())
                group.push_back(it->second);
        }
        std::sort(group.begin(), group.end());
        std::stable_sort(group.begin(), group.end(),
                         [&stands](std::size_t a, std::size_t b) { return stands[a].radius() > stands[b].radius(); });
        for (std::size_t pos = 0; pos < group.size(); ++pos) {
            ScannedStand& stand = stands[group[pos]];
            stand.flags &= static_cast<std::uint8_t>(~ScannedStand::kScanMark);
            if (pos > 0)
                name[baseSize] = kNameLetters[pos - 1];
            stand.name.assign({name, pos > 0 ? baseSize + 1 : baseSize});
        }
    }
}

void lf_decodeAirportStands(const BglWords& words, std::size_t index, std::size_t recordWords,
                            ScannedAirport& record, BglTaskState& state, const std::string& path)
{
    // Millimetres, signed: airports below sea level exist.
    const auto millimetres = static_cast<std::int32_t>(words.at(index + 5));
    const long feet = std::lround(millimetres * kFeetPerMetre / 1000.0);
    record.altitude = feet >= -20 && feet <= 10000 ? static_cast<std::int32_t>(feet) : 0;

    record.helipadCounter = 1;
    state.helipads.clear();
    state.standNames.clear();
    state.suffixRaised = false;
    if (const auto it = g_airportNames.find(record.code); it != g_airportNames.end())
        record.airportName = it->second;

    const std::size_t end = index + recordWords;
    std::size_t sub = index + kAirportHeaderWords;
    while (sub + 1 < end) {
        const std::uint16_t id = words.recordId(sub);
        const std::uint32_t size = words.recordSize(sub);
        if (id == kHelipadRecord) {
            lf_decodeHelipad(sub, words, record, state);
        } else if (id == kParkingRecord) {
            const std::size_t subEnd = std::min<std::size_t>({sub + size / 4, end, words.size()});
            lf_decodeParkingSubrecord(sub, subEnd, words, record, state, path);
            if (state.suffixRaised)
                lf_renameDuplicateStands(record);
            break;  // later subrecords hold no stands
        }
        const std::int64_t step = lf_recordStep(size);
        if (step <= 0)
            break;
        sub += static_cast<std::size_t>(step);
    }
}

void lf_decodeAirportRecord(const BglWords& words, std::size_t index, std::size_t recordWords,
                            const std::string& code, const std::string& path, BglTaskState& state)
{
    ScannedAirport record;
    record.code = code;
    std::int32_t archived = 0;
    const bool linked = lf_linkArchivedAirport(record, archived, path);
    if (linked && !g_simIs2020.load())
        return;

    lf_decodeAirportStands(words, index, recordWords, record, state, path);

    const auto m = static_cast<std::int64_t>(record.stands.size());
    const bool moreThanArchived = m > archived && record.publisher != "simaddon";
    if (moreThanArchived)
        lf_addScanMessage(tvx::format("{}{} has {} parkpos while archived one has {}", kErrorPrefix, code, m, archived));
    if (!linked || moreThanArchived)
        lf_generateAirportFile(record);
}

void lf_toParkingPositions(const std::filesystem::path& file)
{
    const std::string path = file.string();
    try {
        BglFileWords buffer;
        if (!gf_readBglWords(file, buffer))
            return;
        if (buffer.size < 15 || buffer.data[1] != kHeaderSize)
            return;
        const BglWords words(buffer.words());
        BglTaskState state;
        const bool decodable = lf_walkAirportRecords(
            words, g_simIs2020.load(), [&](std::size_t index, std::size_t recordWords, const std::string& code) {
                lf_decodeAirportRecord(words, index, recordWords, code, path, state);
            });
        if (!decodable)
            lf_handleUnrecognisedAirport(path);
    } catch (const std::exception& e) {
        gf_logError("Exception in lf_toParkingPositions: {}", path);
        gf_logIndented(e.what());
        throw;
    }
}

bool gf_decodeBglFile(const std::filesystem::path& file, std::vector<ScannedAirport>& airports, std::size_t* reads)
{
    BglFileWords buffer;
    if (!gf_readBglWords(file, buffer) || buffer.size < 15 || buffer.data[1] != kHeaderSize)
        return false;
    const BglWords words(buffer.words());
    BglTaskState state;
    const std::string path = file.string();
    lf_walkAirportRecords(words, true, [&](std::size_t index, std::size_t recordWords, const std::string& code) {
        ScannedAirport& record = airports.emplace_back();
        record.code = code;
        record.bglPath = path;
        lf_decodeAirportStands(words, index, recordWords, record, state, path);
    });
    if (reads)
        *reads = words.reads();
    return true;
}
