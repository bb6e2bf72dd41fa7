// A BGL file builder for tests: airport BGL files written byte by byte, field by field, in the
// layout the scan decodes (56-byte header, section table, 16-byte subsection records, airport
// records with helipad and parking subrecords), with hooks to damage them (truncation, sizes and
// counts that point past the end) after they are built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tvxtest {

// Bytes written little-endian, one field at a time.
class BglBytes {
public:
    BglBytes& u8(std::uint8_t v);
    BglBytes& u16(std::uint16_t v);
    BglBytes& u32(std::uint32_t v);
    BglBytes& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    BglBytes& f32(float v);
    BglBytes& zeros(std::size_t n);
    BglBytes& append(const std::vector<std::uint8_t>& more);
    void patchU16(std::size_t offset, std::uint16_t v);
    void patchU32(std::size_t offset, std::uint32_t v);
    std::size_t size() const { return m_bytes.size(); }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    std::vector<std::uint8_t>& bytes() { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

// The packed forms the decoder reads.
std::uint32_t bglPackLon(double lon);
std::uint32_t bglPackLat(double lat);
// Base-38 code (blank 0, digits 2-11, A-Z 12-37) shifted left by 5.
std::uint32_t bglPackIdent(const std::string& code);

struct BglParkingEntry {
    std::uint32_t nameCode = 12;  // 12 = "A"
    std::uint32_t type = 2;       // 2 = ramp
    std::uint32_t number = 1;
    float radius = 20.0f;
    float heading = 90.0f;
    double lat = 51.8;
    double lon = -1.3;
    std::uint32_t airlineCodes = 0;
};

struct BglHelipad {
    double lat = 51.8;
    double lon = -1.3;
    float width = 20.0f;
};

struct BglAirport {
    std::string icao = "EGTK";
    std::uint32_t packedIdent = 0;       // when not 0, written instead of the packed icao
    std::uint16_t recordId = 0x0056;
    std::int32_t altitudeMm = 73833;
    std::vector<BglHelipad> helipads;
    std::vector<BglParkingEntry> parking;
    bool withParking = true;
    std::optional<std::uint16_t> parkingCount;  // written instead of the real entry count
    bool fillerBeforeParking = true;            // a name subrecord (0x0019) the decoder skips
};

// A whole file and where its parts begin.
struct BglImage {
    BglBytes file;
    std::vector<std::size_t> airportOffsets;  // byte offset of each airport record
    std::vector<std::size_t> parkingOffsets;  // byte offset of each parking subrecord (or 0)
    std::size_t sectionOffset = 56;           // byte offset of the section header
};

struct BglLayout {
    std::uint32_t headerSize = 56;
    std::uint32_t sectionType = 3;
    std::uint32_t sectionFlags = 1;            // 0x10000 would make 20-byte subsection records
    std::vector<std::uint16_t> recordsBefore;  // other top-level records placed before the airports
};

// One airport section with one subsection per airport.
BglImage buildAirportBgl(const std::vector<BglAirport>& airports, const BglLayout& layout = {});

void writeBgl(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

}  // namespace tvxtest
