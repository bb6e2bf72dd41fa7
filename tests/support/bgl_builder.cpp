// BGL file builder for tests; see bgl_builder.h.
#include "support/bgl_builder.h"

#include <bit>
#include <cmath>
#include <fstream>

namespace tvxtest {

BglBytes& BglBytes::u8(std::uint8_t v)
{
    m_bytes.push_back(v);
    return *this;
}

BglBytes& BglBytes::u16(std::uint16_t v)
{
    u8(static_cast<std::uint8_t>(v & 0xFF));
    return u8(static_cast<std::uint8_t>(v >> 8));
}

BglBytes& BglBytes::u32(std::uint32_t v)
{
    u16(static_cast<std::uint16_t>(v & 0xFFFF));
    return u16(static_cast<std::uint16_t>(v >> 16));
}

BglBytes& BglBytes::f32(float v)
{
    return u32(std::bit_cast<std::uint32_t>(v));
}

BglBytes& BglBytes::zeros(std::size_t n)
{
    m_bytes.insert(m_bytes.end(), n, 0);
    return *this;
}

BglBytes& BglBytes::append(const std::vector<std::uint8_t>& more)
{
    m_bytes.insert(m_bytes.end(), more.begin(), more.end());
    return *this;
}

void BglBytes::patchU16(std::size_t offset, std::uint16_t v)
{
    m_bytes.at(offset) = static_cast<std::uint8_t>(v & 0xFF);
    m_bytes.at(offset + 1) = static_cast<std::uint8_t>(v >> 8);
}

void BglBytes::patchU32(std::size_t offset, std::uint32_t v)
{
    patchU16(offset, static_cast<std::uint16_t>(v & 0xFFFF));
    patchU16(offset + 2, static_cast<std::uint16_t>(v >> 16));
}

std::uint32_t bglPackLon(double lon)
{
    return static_cast<std::uint32_t>(std::llround((lon + 180.0) / 4.470348358154297e-07));
}

std::uint32_t bglPackLat(double lat)
{
    return static_cast<std::uint32_t>(std::llround((90.0 - lat) / 3.3527612686157227e-07));
}

std::uint32_t bglPackIdent(const std::string& code)
{
    std::uint32_t v = 0;
    for (char c : code) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0') + 2;
        else if (c >= 'A' && c <= 'Z')
            digit = static_cast<std::uint32_t>(c - 'A') + 12;
        v = v * 38 + digit;
    }
    return v << 5;
}

namespace {

// Record header: u16 id, u32 size (patched when the record is done).
std::size_t lf_beginRecord(BglBytes& out, std::uint16_t id)
{
    const std::size_t start = out.size();
    out.u16(id).u32(0);
    return start;
}

void lf_endRecord(BglBytes& out, std::size_t start)
{
    out.patchU32(start + 2, static_cast<std::uint32_t>(out.size() - start));
}

std::size_t lf_writeAirport(BglBytes& out, const BglAirport& airport)
{
    const std::size_t start = lf_beginRecord(out, airport.recordId);
    out.zeros(14);                                 // +6 .. +19
    out.i32(airport.altitudeMm);                   // +20
    out.zeros(16);                                 // +24 .. +39
    out.u32(airport.packedIdent ? airport.packedIdent : bglPackIdent(airport.icao));  // +40
    out.zeros(24);                                 // +44 .. +67
    for (const BglHelipad& h : airport.helipads) {
        const std::size_t sub = lf_beginRecord(out, 0x0026);
        out.zeros(6);                              // +6 .. +11
        out.u32(bglPackLon(h.lon));                // +12
        out.u32(bglPackLat(h.lat));                // +16
        out.zeros(8);                              // +20 .. +27
        out.f32(h.width);                          // +28
        out.zeros(4);
        lf_endRecord(out, sub);
    }
    if (airport.fillerBeforeParking) {
        const std::size_t sub = lf_beginRecord(out, 0x0019);
        out.zeros(6);
        lf_endRecord(out, sub);
    }
    std::size_t parkingOffset = 0;
    if (airport.withParking) {
        parkingOffset = lf_beginRecord(out, 0x00E7);
        out.u16(airport.parkingCount.value_or(static_cast<std::uint16_t>(airport.parking.size())));
        for (const BglParkingEntry& e : airport.parking) {
            out.u32((e.nameCode & 0x3F) | ((e.type & 0xF) << 8) | ((e.number & 0xFFF) << 12) |
                    ((e.airlineCodes & 0xFF) << 24));
            out.f32(e.radius).f32(e.heading);
            out.zeros(16);                         // +12 .. +27
            out.u32(bglPackLon(e.lon)).u32(bglPackLat(e.lat));
            for (std::uint32_t i = 0; i < e.airlineCodes; ++i)
                out.u32(0x4B4C4D00u + i);
            out.zeros(20);
        }
        lf_endRecord(out, parkingOffset);
        // A subrecord after the parking one, which the decoder does not read.
        const std::size_t tail = lf_beginRecord(out, 0x0026);
        out.zeros(26);
        lf_endRecord(out, tail);
    }
    lf_endRecord(out, start);
    return parkingOffset;
}

}  // namespace

BglImage buildAirportBgl(const std::vector<BglAirport>& airports, const BglLayout& layout)
{
    BglImage image;
    BglBytes& out = image.file;
    const auto n = static_cast<std::uint32_t>(airports.size());
    // Header: 56 bytes, section count at +20.
    out.u32(0x19920201).u32(layout.headerSize).zeros(12).u32(1).zeros(32);
    // Section header.
    image.sectionOffset = out.size();
    const std::size_t subsections = 56 + 20;
    out.u32(layout.sectionType).u32(layout.sectionFlags).u32(n).u32(static_cast<std::uint32_t>(subsections)).u32(16 * n);
    // Subsection records, patched below.
    for (std::uint32_t i = 0; i < n; ++i)
        out.u32(0).u32(1).u32(0).u32(0);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::size_t data = out.size();
        if (i == 0) {
            for (std::uint16_t id : layout.recordsBefore) {
                const std::size_t r = lf_beginRecord(out, id);
                out.zeros(10);
                lf_endRecord(out, r);
            }
        }
        image.airportOffsets.push_back(out.size());
        image.parkingOffsets.push_back(lf_writeAirport(out, airports[i]));
        out.patchU32(subsections + 16 * i + 8, static_cast<std::uint32_t>(data));
        out.patchU32(subsections + 16 * i + 12, static_cast<std::uint32_t>(out.size() - data));
    }
    return image;
}

void writeBgl(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tvxtest
