// Decoding of the simulator's airport BGL files: the small subset of the format that the stands
// need. One scan task decodes one file: it finds the airport records, reads each airport's ICAO
// code, altitude, helipads and parking spots, turns them into stands, gives stands that share a
// name distinct names, and hands the airport to archive_links.h.
//
// Layout read (little-endian; offsets in bytes, every record taken on a 4-byte boundary):
//   file header, 56 bytes: +4 u32 header size (must be 56), +20 u32 number of section headers
//   section header, 20 bytes each from byte 56: +0 u32 type (3 = airport), +4 u32 flags
//     (subsection record size ((flags & 0x10000) | 0x40000) >> 14: only 16 is decoded),
//     +8 u32 subsection count, +12 u32 offset of the first subsection record
//   subsection record, 16 bytes: +8 u32 offset of its data, +12 u32 size of its data
//   record header: +0 u16 id, +2 u32 size in bytes (header included)
//   airport record 0x0056, 68-byte header: +20 i32 altitude in mm, +40 u32 packed ICAO code;
//     subrecords from +68: 0x0026 helipad (+12 lon, +16 lat, +28 f32 width m),
//     0x00E7 parking (+6 u16 count, entries from +8, each 56 + 4n bytes: +0 u32 packed name code
//     bits 0-5, type bits 8-11, number bits 12-23, airline-code count n bits 24-31; +4 f32 radius m;
//     +8 f32 heading deg; +28 lon; +32 lat)
//   packed lon = raw * 360 / (3 * 2^28) - 180, packed lat = 90 - raw * 180 / 2^29
// Example: EGTK (Oxford) holds one airport record with one parking subrecord of 89 entries.
//
// Every read is bounds-checked: a record or count that points past the data read is a failure
// of the task (logged, passed to the walk) or, for the entries of one parking subrecord, reported
// in the scan messages and cut at the subrecord's end. Nothing is ever read past the buffer.
// Each subsection record and each record start is walked once, and airport records that overlap
// are decoded once, so tables that point into each other cannot make the work grow faster than
// the file.
//
// Threads: scan worker threads, one per file; every task has its own BglTaskState.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "parking/archive_links.h"

// The 32-bit words of a BGL file with bounds-checked access.
class BglWords {
public:
    explicit BglWords(std::span<const std::uint32_t> words) : m_words(words) {}

    std::size_t size() const { return m_words.size(); }
    // Throws std::out_of_range naming the index for a word beyond the data read.
    std::uint32_t at(std::size_t index) const
    {
        ++m_reads;
        if (index >= m_words.size()) [[unlikely]]
            lf_throwBeyond(index);
        return m_words[index];
    }
    float f32(std::size_t index) const;
    // The count words from the index on, checked once; throws as at() does.
    const std::uint32_t* range(std::size_t index, std::size_t count) const
    {
        m_reads += count;
        if (count > m_words.size() || index > m_words.size() - count) [[unlikely]]
            lf_throwBeyond(std::max(index, m_words.size()));
        return m_words.data() + index;
    }
    // The words from first up to end, checked once and not counted as read (the caller counts what it
    // takes through noteReads); throws as at() does.
    const std::uint32_t* block(std::size_t first, std::size_t end) const
    {
        if (end > m_words.size() || first > end) [[unlikely]]
            lf_throwBeyond(std::max(end, first));
        return m_words.data() + first;
    }
    void noteReads(std::size_t count) const { m_reads += count; }
    // Record header of the record starting at the word: id (u16 at +0) and size (u32 at +2).
    std::uint16_t recordId(std::size_t index) const { return static_cast<std::uint16_t>(at(index) & 0xFFFFu); }
    std::uint32_t recordSize(std::size_t index) const { return (at(index) >> 16) | (at(index + 1) << 16); }
    // Words read so far: the decoding's work, which stays proportional to the file's size.
    std::size_t reads() const { return m_reads; }

private:
    [[noreturn]] void lf_throwBeyond(std::size_t index) const;
    std::span<const std::uint32_t> m_words;
    mutable std::size_t m_reads = 0;
};

// The stand names given in one airport. In a long parking list a decoded name (the text of its name
// code and its number) is one bit of a bitmap, so the thousands of stands of a large airport cost no
// hashing (the 32 kB bitmap is cleared whole after such a list); the lettered names that same-named
// stands get, and every name of a short list (whose stands would not pay for clearing the bitmap),
// are kept in a flat hash set of names of up to 8 characters packed into 64 bits (a BGL stand name
// is at most "sep4095" plus a letter). A decoded name ends in a digit and a lettered one in a
// letter, so the two kinds never share a name.
class BglStandNames {
public:
    // Empties both sets, keeping their room.
    void clear();
    // Room for the decoded names of a parking list of this many entries; a long list gets the bitmap.
    void reserve(std::size_t names)
    {
        m_bitmap = names > kHashedNames;
        if (m_bitmap && m_decoded.empty())
            m_decoded.assign(kDecodedBits / 64, 0);
    }
    // The bitmap of a long list's decoded names, bit (text index << 12 | number) for a name code's
    // text (0-63, one index for each distinct text) and a number (0-4095); null for a short list,
    // whose names are hashed.
    std::uint64_t* decodedBits() { return m_bitmap ? m_decoded.data() : nullptr; }
    // A lettered name's packed key (1 to 8 characters, zero-padded); false when it was given already.
    bool insert(std::uint64_t key)
    {
        if ((m_count + 1) * 2 > m_slots.size()) [[unlikely]]
            lf_rehash(std::max<std::size_t>(16, m_slots.size() * 2));
        return lf_place(key);
    }

private:
    static constexpr std::size_t kDecodedBits = 64 * 4096;
    static constexpr std::size_t kHashedNames = 512;
    bool lf_place(std::uint64_t key)
    {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = ((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;; i = (i + 1) & mask) {
            if (m_slots[i] == key)
                return false;
            if (m_slots[i] == 0) {
                m_slots[i] = key;
                ++m_count;
                return true;
            }
        }
    }
    void lf_rehash(std::size_t slots);
    std::vector<std::uint64_t> m_decoded;  // bit (text index << 12 | number): decoded name given
    std::vector<std::uint64_t> m_slots;    // lettered names (all names of a short list); 0 = free;
                                           // the size is a power of two
    std::size_t m_count = 0;
    bool m_bitmap = false;                 // the decoded names of the current list are bits
};

// The state of one task; never shared between tasks.
struct BglTaskState {
    std::vector<std::pair<double, double>> helipads;  // positions seen in the current airport
    BglStandNames standNames;                         // names given in the current airport
    bool suffixRaised = false;                        // a stand got a letter for its name
};

// A whole BGL file as 32-bit words. The buffer is not zeroed before the read fills it (a large
// file would pay for every byte twice).
struct BglFileWords {
    std::unique_ptr<std::uint32_t[]> data;
    std::size_t size = 0;

    std::span<const std::uint32_t> words() const { return {data.get(), size}; }
};

// The whole file as little-endian words (a last incomplete word filled with zero bytes); false
// when the file cannot be opened or read whole.
bool gf_readBglWords(const std::filesystem::path& file, BglFileWords& words);

// True when the file's section table lists an airport section (cheap: reads the table only).
bool lf_hasAirportSection(const std::filesystem::path& file);

// The task body: decodes every airport of the file and links or writes each. Failures are logged
// and thrown on to the task's future.
void lf_toParkingPositions(const std::filesystem::path& file);

// Packed identifier: the text and true only for a complete four-character code.
std::pair<std::string, bool> lf_decodeIdentifierOrRegionCode(std::uint32_t packed);
// Text of a 6-bit parking-name code.
std::string lf_parkingNameText(std::uint32_t code);

// Walks the airport sections of the words. onAirport gets the word index of each airport record
// with a complete code, its size in words and the code; a record overlapping one visited before is
// not visited again. With is2020 false, a record 0x0113 ends
// the walk and the result is false (the file's airport cannot be decoded); otherwise true.
using BglAirportVisitor = std::function<void(std::size_t index, std::size_t recordWords, const std::string& code)>;
bool lf_walkAirportRecords(const BglWords& words, bool is2020, const BglAirportVisitor& onAirport);

// Altitude, helipads and stands of one airport record into the record (no linking, no writing).
void lf_decodeAirportStands(const BglWords& words, std::size_t index, std::size_t recordWords,
                            ScannedAirport& record, BglTaskState& state, const std::string& path);
// The airport record: links it (archive_links.h), decodes its stands and writes its file.
void lf_decodeAirportRecord(const BglWords& words, std::size_t index, std::size_t recordWords,
                            const std::string& code, const std::string& path, BglTaskState& state);
void lf_decodeHelipad(std::size_t index, const BglWords& words, ScannedAirport& record, BglTaskState& state);
// Decodes the entries of the parking subrecord at the index; entries end at endWord at the latest.
void lf_decodeParkingSubrecord(std::size_t index, std::size_t endWord, const BglWords& words,
                               ScannedAirport& record, BglTaskState& state, const std::string& path);
// Names each group of same-named stands by radius: largest the base name, then a, b, ... f.
void lf_renameDuplicateStands(ScannedAirport& record);

// Every airport of the file decoded without linking or writing (tests, benchmarks). False when
// the file cannot be read or is no BGL file with the 56-byte header. reads, when given, gets the
// number of words the decoding read.
bool gf_decodeBglFile(const std::filesystem::path& file, std::vector<ScannedAirport>& airports,
                      std::size_t* reads = nullptr);
