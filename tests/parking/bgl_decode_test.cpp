// Airport BGL decoding on files built field by field: identifiers, name codes, the stand rules
// (radius, position, type, duplicate names, heading), helipads, altitude, and damaged files.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include <gtest/gtest.h>

#include "parking/bgl_decode.h"
#include "support/bgl_builder.h"
#include "support/bgl_scan_fixture.h"

using tvxtest::BglAirport;
using tvxtest::BglHelipad;
using tvxtest::BglParkingEntry;

namespace {

std::vector<ScannedAirport> decode(const std::filesystem::path& file)
{
    std::vector<ScannedAirport> airports;
    EXPECT_TRUE(gf_decodeBglFile(file, airports));
    return airports;
}

std::vector<ScannedAirport> decodeBuilt(const tvxtest::ScanSandbox& box, const tvxtest::BglImage& image)
{
    const auto file = box.path() / "test.bgl";
    tvxtest::writeBgl(file, image.file.bytes());
    return decode(file);
}

const ScannedStand* findStand(const ScannedAirport& airport, const std::string& name)
{
    for (const ScannedStand& p : airport.stands)
        if (p.name == name)
            return &p;
    return nullptr;
}

BglParkingEntry entry(std::uint32_t nameCode, std::uint32_t number, float radius = 20.0f, std::uint32_t type = 2)
{
    BglParkingEntry e;
    e.nameCode = nameCode;
    e.number = number;
    e.radius = radius;
    e.type = type;
    return e;
}

// A file whose tables point at each other: `sections` airport sections that all name the same
// subsection table, whose `subsections` records all name the block of the built airports (or,
// with staggered, each the block from its own airport on).
tvxtest::BglBytes sharedTables(const tvxtest::BglImage& built, std::uint32_t sections, std::uint32_t subsections,
                               bool staggered = false)
{
    const std::size_t blockStart = built.airportOffsets.front();
    const std::vector<std::uint8_t> block(built.file.bytes().begin() + static_cast<std::ptrdiff_t>(blockStart),
                                          built.file.bytes().end());
    const std::size_t table = 56 + 20 * static_cast<std::size_t>(sections);
    const std::size_t data = table + 16 * static_cast<std::size_t>(subsections);
    tvxtest::BglBytes out;
    out.u32(0x19920201).u32(56).zeros(12).u32(sections).zeros(32);
    for (std::uint32_t s = 0; s < sections; ++s)
        out.u32(3).u32(1).u32(subsections).u32(static_cast<std::uint32_t>(table)).u32(16 * subsections);
    for (std::uint32_t k = 0; k < subsections; ++k) {
        const std::size_t from = staggered ? built.airportOffsets.at(k) - blockStart : 0;
        out.u32(0).u32(1).u32(static_cast<std::uint32_t>(data + from)).u32(static_cast<std::uint32_t>(block.size() - from));
    }
    out.append(block);
    return out;
}

}  // namespace

TEST(BglIdentifier, DecodesPackedCodes)
{
    struct Case {
        std::uint32_t packed;
        std::string text;
        bool complete;
    };
    const Case cases[] = {
        {0x1b9f701u, "EGTK", true},                     // the real EGTK record's word
        {tvxtest::bglPackIdent("K2A4"), "K2A4", true},  // digits inside a code
        {tvxtest::bglPackIdent("EGT"), "EGT", false},   // three characters
        {tvxtest::bglPackIdent("EGTKA"), "EGTKA", false},
        {37u << 5, "", false},                          // 37 or less: no digit at all
        {1u << 5, "", false},
        {((16u * 38 + 0) * 38 + 31) * 38 * 32 + 22u * 32, "E TK", false},  // digit 0: blank
        {((16u * 38 + 1) * 38 + 31) * 38 * 32 + 22u * 32, "E6TK", true},   // digit 1: character 54
        {tvxtest::bglPackIdent("EGTK") | 0x1Fu, "EGTK", true},              // low five bits ignored
    };
    for (const Case& c : cases) {
        const auto [text, complete] = lf_decodeIdentifierOrRegionCode(c.packed);
        EXPECT_EQ(text, c.text) << c.packed;
        EXPECT_EQ(complete, c.complete) << c.packed;
    }
}

TEST(BglIdentifier, ParkingNameCodes)
{
    const std::pair<std::uint32_t, std::string> cases[] = {
        {0, ""},    {1, "r"},   {2, "p"},     {3, "np"}, {4, "ep"}, {5, "sep"}, {6, "sp"}, {7, "swp"},
        {8, "wp"},  {9, "nwp"}, {10, "g"},    {11, ""},  {12, "A"}, {37, "Z"},  {38, "["}, {63, "t"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(lf_parkingNameText(code), text) << code;
}

TEST(BglDecode, StandRulesRadiusPositionTypeHeading)
{
    tvxtest::ScanSandbox box;
    BglAirport a;
    a.parking = {
        entry(12, 1, 1.0f),     // A1: radius exactly 1.0 m, skipped
        entry(12, 2, 200.0f),   // A2: exactly 200.0 m, skipped
        entry(12, 3, 1.05f),    // A3 kept
        entry(12, 4, 199.9f),   // A4 kept
        entry(10, 12),          // g12
        entry(14, 5, 20.0f, 5), // C5, cargo
        entry(12, 6, 20.0f, 0), // types 0, 12, 13: no stand, no message
        entry(12, 7, 20.0f, 12),
        entry(12, 8, 20.0f, 13),
        entry(12, 9, 20.0f, 14), // ramp
        entry(12, 10, 20.0f, 8), // gate: neither cargo nor ramp
        entry(12, 11),           // at the no-position spot: skipped
        entry(12, 12),           // just south of the equator: kept
        entry(12, 13),           // heading 0 stored as a full turn
        entry(12, 14),           // three airline codes make a longer entry
    };
    a.parking[11].lat = 0.0005;
    a.parking[11].lon = 0.02;
    a.parking[12].lat = -0.0005;
    a.parking[12].lon = 0.02;
    a.parking[13].heading = 0.0f;
    a.parking[14].airlineCodes = 3;
    a.parking[14].radius = 33.0f;

    const auto airports = decodeBuilt(box, tvxtest::buildAirportBgl({a}));
    ASSERT_EQ(airports.size(), 1u);
    const ScannedAirport& airport = airports[0];
    EXPECT_EQ(airport.code, "EGTK");

    std::vector<std::string> names;
    for (const ScannedStand& p : airport.stands)
        names.push_back(p.name.str());
    EXPECT_EQ(names, (std::vector<std::string>{"A3", "A4", "g12", "C5", "A9", "A10", "A12", "A13", "A14"}));

    EXPECT_TRUE(box.hasMessage("skipped position with radius 1.0 meters, in "));
    EXPECT_TRUE(box.hasMessage("skipped position with radius 200.0 meters, in "));
    EXPECT_TRUE(box.hasMessage("lat/lon: 0.000500,0.020000, incorrect (skipped) "));
    EXPECT_EQ(box.messages().size(), 3u);

    const ScannedStand* c5 = findStand(airport, "C5");
    ASSERT_NE(c5, nullptr);
    EXPECT_TRUE(c5->cargo());
    EXPECT_TRUE(c5->ramp());
    EXPECT_FALSE(c5->heli());
    EXPECT_TRUE(findStand(airport, "A9")->ramp());
    EXPECT_FALSE(findStand(airport, "A10")->ramp());
    EXPECT_FALSE(findStand(airport, "A10")->cargo());

    const ScannedStand* a3 = findStand(airport, "A3");
    EXPECT_NEAR(a3->radius(), 1.05 * 0.0005399568034557236, 1e-9);
    EXPECT_NEAR(a3->heading(), 90.0 * 0.017453292519943295, 1e-9);
    EXPECT_NEAR(a3->lat(), 51.8, 1e-6);
    EXPECT_NEAR(a3->lon(), -1.3, 1e-6);
    EXPECT_DOUBLE_EQ(findStand(airport, "A13")->heading(), 6.283185307179586);
    EXPECT_NEAR(findStand(airport, "A14")->radius(), 33.0 * 0.0005399568034557236, 1e-9);
}

// The edges of the globe and of the no-position spot (latitude 0 to 0.0009, longitude 0 to 0.05),
// each on its bound and one packed unit beyond it, for a parking entry and a helipad alike.
TEST(BglDecode, PositionBounds)
{
    // Packed values: latitude 90 - raw * 180 / 2^29, longitude raw * 360 / (3 * 2^28) - 180.
    constexpr std::uint32_t kLat0 = 1u << 28, kLon0 = 3u << 27;         // 0, 0
    constexpr std::uint32_t kLatNorth = kLat0 - 20000000, kLonEast = kLon0 + 20000000;  // 6.7, 8.9
    constexpr std::uint32_t kLatSpotNorth = 268432772;  // 0.00089988, the last at or below 0.0009
    constexpr std::uint32_t kLonSpotEast = 402765032;   // 0.04999957, the last at or below 0.05
    struct Case {
        std::uint32_t lat, lon;
        bool kept;
    };
    const Case cases[] = {
        {1u << 29, kLonEast, true},  // -90
        {(1u << 29) + 1, kLonEast, false},
        {kLatNorth, 3u << 28, true},  // 180
        {kLatNorth, (3u << 28) + 1, false},
        {0, 0, true},  // 90, -180
        {kLat0, kLon0, false},
        {kLatSpotNorth, kLonSpotEast, false},
        {kLat0 + 1, kLon0, true},
        {kLatSpotNorth - 1, kLonSpotEast, true},
        {kLat0, kLon0 - 1, true},
        {kLat0, kLonSpotEast + 1, true},
    };
    for (const Case& c : cases) {
        const double lat = 90.0 - c.lat * 3.3527612686157227e-07;
        const double lon = c.lon * 4.470348358154297e-07 - 180.0;
        tvxtest::ScanSandbox box;
        BglAirport a;
        a.parking = {entry(12, 1)};
        a.parking[0].lat = lat;
        a.parking[0].lon = lon;
        a.helipads = {BglHelipad{lat, lon, 20.0f}};
        const tvxtest::BglImage image = tvxtest::buildAirportBgl({a});
        const auto airports = decodeBuilt(box, image);
        ASSERT_EQ(airports.size(), 1u);
        EXPECT_EQ(airports[0].stands.size(), c.kept ? 2u : 0u) << c.lat << " " << c.lon;
        EXPECT_EQ(box.messages().size(), c.kept ? 0u : 2u) << c.lat << " " << c.lon;
    }
}

TEST(BglDecode, DuplicateNamesGetLettersByRadius)
{
    tvxtest::ScanSandbox box;
    BglAirport a;
    a.parking = {entry(12, 1, 10.0f), entry(12, 1, 30.0f), entry(12, 2), entry(12, 1, 20.0f)};
    auto airports = decodeBuilt(box, tvxtest::buildAirportBgl({a}));
    ASSERT_EQ(airports.size(), 1u);
    const ScannedAirport& airport = airports[0];
    ASSERT_EQ(airport.stands.size(), 4u);
    // The largest of the three is A1, then A1a, the smallest A1b; no mark is left behind.
    EXPECT_NEAR(findStand(airport, "A1")->radius() * 1852.0, 30.0, 1e-6);
    EXPECT_NEAR(findStand(airport, "A1a")->radius() * 1852.0, 20.0, 1e-6);
    EXPECT_NEAR(findStand(airport, "A1b")->radius() * 1852.0, 10.0, 1e-6);
    EXPECT_NE(findStand(airport, "A2"), nullptr);
    for (const ScannedStand& p : airport.stands)
        EXPECT_FALSE(p.scanMark()) << p.name.view();

    // Different name codes that spell the same text share the name: codes 1 and 61 both give
    // "r", 2 and 59 "p", 10 and 50 "g", 0 and 11 nothing.
    BglAirport b;
    b.parking = {entry(1, 5, 30.0f), entry(61, 5, 20.0f),  entry(2, 40, 30.0f), entry(59, 40, 20.0f),
                 entry(10, 3, 30.0f), entry(50, 3, 20.0f), entry(0, 9, 30.0f),  entry(11, 9, 20.0f),
                 entry(5, 4095)};
    airports = decodeBuilt(box, tvxtest::buildAirportBgl({b}));
    ASSERT_EQ(airports.size(), 1u);
    std::vector<std::string> names;
    for (const ScannedStand& p : airports[0].stands)
        names.push_back(p.name.str());
    EXPECT_EQ(names, (std::vector<std::string>{"r5", "r5a", "p40", "p40a", "g3", "g3a", "9", "9a", "sep4095"}));
}

TEST(BglDecode, EighthSameNameIsReportedAndSkipped)
{
    tvxtest::ScanSandbox box;
    BglAirport a;
    for (int i = 0; i < 8; ++i)
        a.parking.push_back(entry(10, 7, 10.0f + static_cast<float>(i)));
    const auto airports = decodeBuilt(box, tvxtest::buildAirportBgl({a}));
    ASSERT_EQ(airports.size(), 1u);
    ASSERT_EQ(airports[0].stands.size(), 7u);
    const char* expected[] = {"g7", "g7a", "g7b", "g7c", "g7d", "g7e", "g7f"};
    for (int i = 0; i < 7; ++i) {
        const ScannedStand* p = findStand(airports[0], expected[i]);
        ASSERT_NE(p, nullptr) << expected[i];
        EXPECT_NEAR(p->radius() * 1852.0, 16.0 - i, 1e-5) << expected[i];  // largest first
    }
    EXPECT_TRUE(box.hasMessage("===> Warning more then 6 the same ids g7, in "));
}

TEST(BglDecode, HelipadsAndAltitude)
{
    tvxtest::ScanSandbox box;
    g_airportNames["EHAM"] = "Schiphol";
    BglAirport a;
    a.icao = "EHAM";
    a.altitudeMm = -3353;  // below sea level
    a.helipads = {BglHelipad{52.30, 4.76, 30.0f}, BglHelipad{52.31, 4.77, 20.0f}, BglHelipad{52.30, 4.76, 30.0f},
                  BglHelipad{0.0005, 0.02, 20.0f}};
    a.parking = {entry(12, 1)};
    const auto airports = decodeBuilt(box, tvxtest::buildAirportBgl({a}));
    ASSERT_EQ(airports.size(), 1u);
    const ScannedAirport& airport = airports[0];
    EXPECT_EQ(airport.altitude, -11);
    EXPECT_EQ(airport.airportName, "Schiphol");
    EXPECT_EQ(airport.helipadCounter, 3u);
    ASSERT_EQ(airport.stands.size(), 3u);
    const ScannedStand* h1 = findStand(airport, "helipad1");
    ASSERT_NE(h1, nullptr);
    EXPECT_TRUE(h1->heli());
    EXPECT_FALSE(h1->ramp());
    EXPECT_FALSE(h1->cargo());
    EXPECT_EQ(h1->heading(), 0.0);
    EXPECT_NEAR(h1->radius() * 1852.0, 15.0, 1e-9);
    EXPECT_NE(findStand(airport, "helipad2"), nullptr);
    EXPECT_TRUE(box.hasMessage("double helipad Schiphol (skipped) 52.300000,4.760000"));
    EXPECT_TRUE(box.hasMessage("lat/lon helipad incorrect (skipped): 0.000500,0.020000"));
}

TEST(BglDecode, AltitudeLimits)
{
    struct Case {
        std::int32_t mm;
        std::int32_t feet;
    };
    const Case cases[] = {{73833, 242}, {-6096, -20}, {-6401, 0}, {3048000, 10000}, {3048200, 0}, {152, 0}, {153, 1}};
    for (const Case& c : cases) {
        tvxtest::ScanSandbox box;
        BglAirport a;
        a.altitudeMm = c.mm;
        a.parking = {entry(12, 1)};
        const auto airports = decodeBuilt(box, tvxtest::buildAirportBgl({a}));
        ASSERT_EQ(airports.size(), 1u);
        EXPECT_EQ(airports[0].altitude, c.feet) << c.mm;
    }
}

TEST(BglDecode, RecordsThatAreNotDecoded)
{
    tvxtest::ScanSandbox box;
    BglAirport incomplete;
    incomplete.packedIdent = 37u << 5;  // decodes to an empty text: skipped
    BglAirport other;
    other.recordId = 0x00AB;  // another simulator's airport record
    BglAirport good;
    good.icao = "LOWW";
    good.parking = {entry(12, 1)};
    const auto airports = decodeBuilt(box, tvxtest::buildAirportBgl({incomplete, other, good}));
    ASSERT_EQ(airports.size(), 1u);
    EXPECT_EQ(airports[0].code, "LOWW");

    tvxtest::BglLayout twentyByte;
    twentyByte.sectionFlags = 0x10000;
    EXPECT_TRUE(decodeBuilt(box, tvxtest::buildAirportBgl({good}, twentyByte)).empty());

    tvxtest::BglLayout header60;
    header60.headerSize = 60;
    const auto file = box.path() / "h60.bgl";
    tvxtest::writeBgl(file, tvxtest::buildAirportBgl({good}, header60).file.bytes());
    std::vector<ScannedAirport> none;
    EXPECT_FALSE(gf_decodeBglFile(file, none));
    EXPECT_TRUE(none.empty());
}

TEST(BglDecode, Record0113EndsTheWalkOnlyFor2024)
{
    tvxtest::ScanSandbox box;
    BglAirport good;
    good.parking = {entry(12, 1)};
    tvxtest::BglLayout layout;
    layout.recordsBefore = {0x0113};
    const auto image = tvxtest::buildAirportBgl({good}, layout);
    std::vector<std::uint32_t> buffer((image.file.size() + 3) / 4);
    std::memcpy(buffer.data(), image.file.bytes().data(), image.file.size());
    const BglWords words(buffer);

    int seen = 0;
    const auto count = [&seen](std::size_t, std::size_t, const std::string&) { ++seen; };
    EXPECT_TRUE(lf_walkAirportRecords(words, true, count));
    EXPECT_EQ(seen, 1);
    seen = 0;
    EXPECT_FALSE(lf_walkAirportRecords(words, false, count));
    EXPECT_EQ(seen, 0);
}

TEST(BglDecode, SectionTableTest)
{
    tvxtest::ScanSandbox box;
    BglAirport a;
    a.parking = {entry(12, 1)};
    const auto airport = tvxtest::buildAirportBgl({a});
    tvxtest::writeBgl(box.path() / "a.bgl", airport.file.bytes());
    EXPECT_TRUE(lf_hasAirportSection(box.path() / "a.bgl"));

    tvxtest::BglLayout scenery;
    scenery.sectionType = 0x65;
    tvxtest::writeBgl(box.path() / "b.bgl", tvxtest::buildAirportBgl({a}, scenery).file.bytes());
    EXPECT_FALSE(lf_hasAirportSection(box.path() / "b.bgl"));

    tvxtest::BglBytes zeroSections = airport.file;
    zeroSections.patchU32(20, 0);
    tvxtest::writeBgl(box.path() / "c.bgl", zeroSections.bytes());
    EXPECT_FALSE(lf_hasAirportSection(box.path() / "c.bgl"));

    // The section table must end before the end of the file.
    std::vector<std::uint8_t> shortFile(airport.file.bytes().begin(), airport.file.bytes().begin() + 76);
    tvxtest::writeBgl(box.path() / "d.bgl", shortFile);
    EXPECT_FALSE(lf_hasAirportSection(box.path() / "d.bgl"));
    shortFile.push_back(0);
    tvxtest::writeBgl(box.path() / "d.bgl", shortFile);
    EXPECT_TRUE(lf_hasAirportSection(box.path() / "d.bgl"));

    tvxtest::writeBgl(box.path() / "e.bgl", std::vector<std::uint8_t>(14, 0));
    EXPECT_FALSE(lf_hasAirportSection(box.path() / "e.bgl"));
    EXPECT_FALSE(lf_hasAirportSection(box.path() / "missing.bgl"));
}

// Damaged files: nothing is read past the data; a damaged parking list is cut and reported, a
// damaged structure fails the file with a clear error.
TEST(BglDecode, AbsurdParkingCountIsCutAtItsRecord)
{
    tvxtest::ScanSandbox box;
    BglAirport a;
    a.parking = {entry(12, 1), entry(12, 2)};
    a.parkingCount = 60000;
    const auto airports = decodeBuilt(box, tvxtest::buildAirportBgl({a}));
    ASSERT_EQ(airports.size(), 1u);
    EXPECT_EQ(airports[0].stands.size(), 2u);
    EXPECT_TRUE(box.hasMessage("===> 60000 parking entries listed, only 2 lie inside their record, in "));
}

TEST(BglDecode, TruncatedAndOversizedRecords)
{
    tvxtest::ScanSandbox box;
    BglAirport a;
    a.parking = {entry(12, 1), entry(12, 2), entry(12, 3)};
    const auto image = tvxtest::buildAirportBgl({a});
    const std::size_t parking = image.parkingOffsets[0];

    // Cut inside the second parking entry: the first stand is kept, the cut is reported.
    {
        std::vector<std::uint8_t> cut(image.file.bytes().begin(), image.file.bytes().begin() + parking + 8 + 56 + 20);
        const auto file = box.path() / "cut.bgl";
        tvxtest::writeBgl(file, cut);
        const auto airports = decode(file);
        ASSERT_EQ(airports.size(), 1u);
        EXPECT_EQ(airports[0].stands.size(), 1u);
        EXPECT_TRUE(box.hasMessage("===> 3 parking entries listed, only 1 lie inside their record"));
    }
    // The second entry's fixed part lies inside, its 64 airline codes reach past the subrecord: it
    // does not count as inside.
    {
        tvxtest::BglBytes bytes = image.file;
        bytes.bytes()[parking + 8 + 56 + 3] = 64;
        const auto file = box.path() / "codes.bgl";
        tvxtest::writeBgl(file, bytes.bytes());
        {
            std::lock_guard lock(g_scanMessagesMutex);
            g_scanMessages.clear();
        }
        const auto airports = decode(file);
        ASSERT_EQ(airports.size(), 1u);
        EXPECT_EQ(airports[0].stands.size(), 1u);
        EXPECT_TRUE(box.hasMessage("===> 3 parking entries listed, only 1 lie inside their record"));
    }
    // Cut before the parking subrecord: the airport record points past the end: the file fails.
    {
        std::vector<std::uint8_t> cut(image.file.bytes().begin(), image.file.bytes().begin() + image.airportOffsets[0] + 72);
        const auto file = box.path() / "cut2.bgl";
        tvxtest::writeBgl(file, cut);
        std::vector<ScannedAirport> airports;
        EXPECT_THROW(gf_decodeBglFile(file, airports), std::out_of_range);
    }
    // Subsection data offset far beyond the file.
    {
        tvxtest::BglBytes bytes = image.file;
        bytes.patchU32(56 + 20 + 8, 0x7FFFFFF0u);
        const auto file = box.path() / "far.bgl";
        tvxtest::writeBgl(file, bytes.bytes());
        std::vector<ScannedAirport> airports;
        EXPECT_THROW(gf_decodeBglFile(file, airports), std::out_of_range);
    }
    // Absurd section count: the section table runs off the file.
    {
        tvxtest::BglBytes bytes = image.file;
        bytes.patchU32(20, 0xFFFFFFFFu);
        const auto file = box.path() / "sections.bgl";
        tvxtest::writeBgl(file, bytes.bytes());
        EXPECT_FALSE(lf_hasAirportSection(file));
        std::vector<ScannedAirport> airports;
        EXPECT_THROW(gf_decodeBglFile(file, airports), std::out_of_range);
    }
}

TEST(BglDecode, RecordSizesWithoutProgressEndTheWalk)
{
    tvxtest::ScanSandbox box;
    BglAirport a;
    a.parking = {entry(12, 1)};
    const auto image = tvxtest::buildAirportBgl({a});
    const std::size_t filler = image.airportOffsets[0] + 68;  // the name subrecord before the parking one
    for (std::uint32_t size : {0u, 3u, 0xFFFFFFF0u}) {
        tvxtest::BglBytes bytes = image.file;
        bytes.patchU32(filler + 2, size);
        const auto file = box.path() / "stuck.bgl";
        tvxtest::writeBgl(file, bytes.bytes());
        const auto airports = decode(file);
        ASSERT_EQ(airports.size(), 1u) << size;
        EXPECT_TRUE(airports[0].stands.empty()) << size;
    }
    // The same at the top level: the airport record itself.
    tvxtest::BglBytes bytes = image.file;
    bytes.patchU32(image.airportOffsets[0] + 2, 0);
    const auto file = box.path() / "stuck2.bgl";
    tvxtest::writeBgl(file, bytes.bytes());
    const auto airports = decode(file);
    ASSERT_EQ(airports.size(), 1u);  // still visited once, with no subrecords to walk
    EXPECT_TRUE(airports[0].stands.empty());
}

// Sections and subsections that share their tables and blocks: each table and record is walked
// once, each airport decoded once, and the words read stay within a small multiple of the file.
TEST(BglDecode, SharedTablesAreWalkedOnce)
{
    tvxtest::ScanSandbox box;
    std::vector<BglAirport> built(4);
    const char* codes[] = {"EGTK", "EGLL", "EHAM", "LOWW"};
    for (std::size_t i = 0; i < built.size(); ++i) {
        built[i].icao = codes[i];
        built[i].helipads = {BglHelipad{}};
        for (std::uint32_t n = 1; n <= 20; ++n)
            built[i].parking.push_back(entry(12 + static_cast<std::uint32_t>(i), n));
        built[i].parking.push_back(entry(12 + static_cast<std::uint32_t>(i), 1, 30.0f));  // one duplicate
    }
    const tvxtest::BglImage image = tvxtest::buildAirportBgl(built);
    const auto expectEachOnce = [&](const std::vector<ScannedAirport>& airports) {
        ASSERT_EQ(airports.size(), built.size());
        for (std::size_t i = 0; i < built.size(); ++i) {
            EXPECT_EQ(airports[i].code, codes[i]);
            ASSERT_EQ(airports[i].stands.size(), 22u);
            EXPECT_EQ(airports[i].stands[0].name.view(), "helipad1");
            EXPECT_NE(findStand(airports[i], lf_parkingNameText(12 + static_cast<std::uint32_t>(i)) + "1a"), nullptr);
        }
    };
    const auto readsPerWord = [](std::size_t reads, const tvxtest::BglBytes& bytes) {
        return static_cast<double>(reads) / static_cast<double>(bytes.size() / 4);
    };

    // The plain file as the reference for the work done.
    std::size_t plainReads = 0;
    {
        const auto file = box.path() / "plain.bgl";
        tvxtest::writeBgl(file, image.file.bytes());
        std::vector<ScannedAirport> airports;
        ASSERT_TRUE(gf_decodeBglFile(file, airports, &plainReads));
        expectEachOnce(airports);
    }
    ASSERT_LT(readsPerWord(plainReads, image.file), 1.0);

    // 40 sections naming one table of 40 records that all name the same block.
    const tvxtest::BglBytes shared = sharedTables(image, 40, 40);
    const auto sharedFile = box.path() / "shared.bgl";
    tvxtest::writeBgl(sharedFile, shared.bytes());
    {
        std::vector<ScannedAirport> airports;
        std::size_t reads = 0;
        ASSERT_TRUE(gf_decodeBglFile(sharedFile, airports, &reads));
        expectEachOnce(airports);
        EXPECT_LT(readsPerWord(reads, shared), 1.0) << reads;
    }
    // Subsections that each start one airport further into the same block.
    const tvxtest::BglBytes staggered = sharedTables(image, 1, static_cast<std::uint32_t>(built.size()), true);
    {
        const auto file = box.path() / "staggered.bgl";
        tvxtest::writeBgl(file, staggered.bytes());
        std::vector<ScannedAirport> airports;
        ASSERT_TRUE(gf_decodeBglFile(file, airports));
        expectEachOnce(airports);
    }
    // The first airport record's size stretched over the others: they lie inside it and are not
    // decoded again as airports of their own (the stretched one still ends at its parking).
    {
        tvxtest::BglBytes nested = staggered;
        const std::size_t first = 56 + 20 + 16 * built.size();
        nested.patchU32(first + 2, static_cast<std::uint32_t>(nested.size() - first));
        const auto file = box.path() / "nested.bgl";
        tvxtest::writeBgl(file, nested.bytes());
        std::vector<ScannedAirport> airports;
        ASSERT_TRUE(gf_decodeBglFile(file, airports));
        ASSERT_EQ(airports.size(), 1u);
        EXPECT_EQ(airports[0].code, "EGTK");
        EXPECT_EQ(airports[0].stands.size(), 22u);
    }
    // The scan task writes each airport's file once.
    lf_toParkingPositions(sharedFile);
    const auto messages = box.messages();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string& m) { return m.starts_with("Generated "); }),
              4);
    EXPECT_TRUE(box.hasMessage("Generated LOWW.xml: 22 positions, of which 1 helipad"));
}

// Many groups of same-named stands in one airport: each group is named by radius as for a few.
TEST(BglDecode, ManyDuplicateGroups)
{
    tvxtest::ScanSandbox box;
    BglAirport a;
    for (std::uint32_t n = 1; n <= 300; ++n)
        for (std::uint32_t copy = 0; copy < 3; ++copy)
            a.parking.push_back(entry(12, n, 10.0f + static_cast<float>((copy + n) % 3)));
    const auto airports = decodeBuilt(box, tvxtest::buildAirportBgl({a}));
    ASSERT_EQ(airports.size(), 1u);
    ASSERT_EQ(airports[0].stands.size(), 900u);
    for (std::uint32_t n = 1; n <= 300; ++n) {
        const std::string base = "A" + std::to_string(n);
        const ScannedStand* largest = findStand(airports[0], base);
        const ScannedStand* middle = findStand(airports[0], base + "a");
        const ScannedStand* smallest = findStand(airports[0], base + "b");
        ASSERT_TRUE(largest && middle && smallest) << base;
        EXPECT_NEAR(largest->radius() * 1852.0, 12.0, 1e-3) << base;
        EXPECT_NEAR(middle->radius() * 1852.0, 11.0, 1e-3) << base;
        EXPECT_NEAR(smallest->radius() * 1852.0, 10.0, 1e-3) << base;
        EXPECT_FALSE(largest->scanMark() || middle->scanMark() || smallest->scanMark()) << base;
    }
}

TEST(BglDecode, TaskLogsAndPassesOnFailures)
{
    tvxtest::ScanSandbox box;
    BglAirport a;
    a.parking = {entry(12, 1)};
    const auto image = tvxtest::buildAirportBgl({a});
    tvxtest::BglBytes bytes = image.file;
    bytes.patchU32(56 + 20 + 8, 0x7FFFFFF0u);
    const auto file = box.path() / "far.bgl";
    tvxtest::writeBgl(file, bytes.bytes());
    EXPECT_THROW(lf_toParkingPositions(file), std::out_of_range);
    EXPECT_NE(box.logText().find("===> Exception in lf_toParkingPositions: " + file.string()), std::string::npos);
    EXPECT_NE(box.logText().find("lies beyond the"), std::string::npos);

    // A file that is no BGL at all is passed over without a word.
    tvxtest::writeBgl(box.path() / "text.bgl", std::vector<std::uint8_t>(100, 'x'));
    EXPECT_NO_THROW(lf_toParkingPositions(box.path() / "text.bgl"));
    EXPECT_NO_THROW(lf_toParkingPositions(box.path() / "missing.bgl"));
}
