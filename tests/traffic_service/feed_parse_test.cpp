// Parsing of the service's replies without a network: live entries (address rule, missing
// values, QNH correction, valid bytes), reply shapes, the callsign filter, parked offsets, QNH
// values and the query box.
#include <gtest/gtest.h>

#include <cmath>

#include "foundation/format.h"
#include "foundation/settings.h"
#include "support/traffic_fixtures.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/feed_values.h"
#include "traffic_service/parked_traffic.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/weather.h"

using nlohmann::json;

namespace {

constexpr double kD2R = M_PI / 180.0;

// A full 48-value entry as the service writes it.
json lf_entry(const std::string& hex)
{
    return json::parse(R"(["HEX",47.4581,8.5412,274.5,6475,231.4,"4213","X","A20N","HB-ZZT",1767225600.42,
        "GVA","ZRH","SWR123",0,-832,"LX123","X_adsb_icao",6700,218,243,0.378,-0.12,-2.6,
        268.1,270.9,-800,"none","A3",1013.2,5000,5000,null,"autopilot|approach",8,186,1,10,
        2,0.3,-18.6,0,0,255,14,-2,11,1])")
        .patch(json::array({{{"op", "replace"}, {"path", "/0"}, {"value", hex}}}));
}

struct Parsed {
    std::optional<TrafficRecord> record;
    const char* reason = nullptr;
};

Parsed lf_parse(const std::string& key, const json& entry)
{
    TrafficClient client;
    Parsed p;
    p.record = client.processLine(key, entry, p.reason);
    return p;
}

}  // namespace

TEST(FeedParse, FullEntryBecomesRecord)
{
    const auto p = lf_parse("4b1805", lf_entry("4b1805"));
    ASSERT_TRUE(p.record);
    const TrafficRecord& r = *p.record;
    EXPECT_EQ(r.hexid, 0x4b1805u);
    EXPECT_EQ(r.callsign, "SWR123");
    EXPECT_EQ(r.airline, "SWR");
    EXPECT_EQ(r.acType, "A20N");
    EXPECT_EQ(r.registration, "HB-ZZT");
    EXPECT_EQ(r.origin, "GVA");
    EXPECT_EQ(r.destination, "ZRH");
    EXPECT_TRUE(r.coupledCallsign1.empty());
    EXPECT_EQ(r.value64, 0u);
    EXPECT_DOUBLE_EQ(r.time, 1767225600.42);
    EXPECT_DOUBLE_EQ(r.pos.lat, 47.4581);
    EXPECT_DOUBLE_EQ(r.pos.lon, 8.5412);
    EXPECT_DOUBLE_EQ(r.pos.alt, 6475.0);  // QNH 1013: no correction
    EXPECT_DOUBLE_EQ(r.pos.speed, 231.4);
    EXPECT_DOUBLE_EQ(r.pos.track, 274.5);
    EXPECT_DOUBLE_EQ(r.pos.vertRate, -832.0);
    EXPECT_DOUBLE_EQ(r.pos.tas, 243.0);
    EXPECT_EQ(r.pos.bankValid, 1);
    EXPECT_NEAR(r.pos.bank, -2.6 * kD2R, 1e-12);
    EXPECT_EQ(r.pos.headingValid, 1);
    EXPECT_NEAR(r.pos.heading, 270.9 * kD2R, 1e-12);
    EXPECT_EQ(r.pos.airborne, 1);
    EXPECT_EQ(r.pos.stop, 0);
    EXPECT_EQ(r.pos.flag3, 1);
    EXPECT_EQ(r.pos.slot, 0);
}

TEST(FeedParse, AddressMustBeHexAboveTenThousand)
{
    struct Case {
        const char* key;
        bool kept;
        bool broken;
    };
    const Case cases[] = {
        {"002710", false, false},  // 10000: the program's own range, skipped without complaint
        {"002711", true, false},   // 10001
        {"ffffff", true, false},
        {"1000000", false, true},  // seven digits
        {"4ca7zz", false, true},
        {"", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        // The key decides; element 0 is only read when the key is unreadable.
        json entry = lf_entry("zzzzzz");
        const auto p = lf_parse(c.key, entry);
        EXPECT_EQ(p.record.has_value(), c.kept);
        EXPECT_EQ(p.reason != nullptr, c.broken);
        if (p.record) {
            EXPECT_EQ(p.record->hexid, std::stoul(c.key, nullptr, 16));
        }
    }
    // Unreadable key, readable element 0.
    const auto p = lf_parse("?", lf_entry("4ca7b3"));
    ASSERT_TRUE(p.record);
    EXPECT_EQ(p.record->hexid, 0x4ca7b3u);
}

TEST(FeedParse, MissingValuesFieldByField)
{
    // The service writes a missing value as null, as "null" or as "".
    for (const json& missing : {json(nullptr), json("null"), json("")}) {
        SCOPED_TRACE(missing.dump());
        json e = lf_entry("4ca7b3");
        for (int i : {3, 8, 9, 11, 12, 13, 15, 17, 20, 23, 25, 48})
            if (i < static_cast<int>(e.size()))
                e[i] = missing;
        const auto p = lf_parse("4ca7b3", e);
        ASSERT_TRUE(p.record);
        const auto& r = *p.record;
        EXPECT_EQ(r.acType, "");
        EXPECT_EQ(r.registration, "");
        EXPECT_EQ(r.origin, "");
        EXPECT_EQ(r.destination, "");
        EXPECT_EQ(r.callsign, "");
        EXPECT_EQ(r.airline, "");
        EXPECT_EQ(r.pos.bankValid, 0);
        EXPECT_DOUBLE_EQ(r.pos.bank, 0.0);
        EXPECT_EQ(r.pos.headingValid, 0);
        // No track and no true heading: the magnetic heading gives the track, the heading follows it.
        EXPECT_DOUBLE_EQ(r.pos.track, 268.1);
        EXPECT_NEAR(r.pos.heading, 268.1 * kD2R, 1e-12);
        EXPECT_DOUBLE_EQ(r.pos.vertRate, -800.0);  // geometric rate stands in
        EXPECT_DOUBLE_EQ(r.pos.tas, r.pos.speed);
        EXPECT_EQ(r.pos.flag3, 0);
    }
}

TEST(FeedParse, TrackAndHeadingStandInForEachOther)
{
    json e = lf_entry("4ca7b3");
    e[3] = nullptr;  // no track: the true heading gives it
    auto p = lf_parse("4ca7b3", e);
    ASSERT_TRUE(p.record);
    EXPECT_DOUBLE_EQ(p.record->pos.track, 270.9);
    EXPECT_EQ(p.record->pos.headingValid, 1);

    e = lf_entry("4ca7b3");
    e[25] = "null";  // no true heading: not valid, heading from the track
    e[3] = -90.0;    // and the track wrapped into 0..360
    p = lf_parse("4ca7b3", e);
    ASSERT_TRUE(p.record);
    EXPECT_EQ(p.record->pos.headingValid, 0);
    EXPECT_DOUBLE_EQ(p.record->pos.track, 270.0);
    EXPECT_NEAR(p.record->pos.heading, 270.0 * kD2R, 1e-12);
}

TEST(FeedParse, ShortEntriesAndEstimatedSources)
{
    // Seventeen values (the /search layout) are enough; the rest counts as missing.
    json e = lf_entry("4ca7b3");
    e.erase(e.begin() + 17, e.end());
    auto p = lf_parse("4ca7b3", e);
    ASSERT_TRUE(p.record);
    EXPECT_EQ(p.record->pos.bankValid, 0);
    EXPECT_EQ(p.record->pos.flag3, 0);
    EXPECT_DOUBLE_EQ(p.record->pos.tas, 231.4);

    e.erase(e.begin() + 16);
    p = lf_parse("4ca7b3", e);
    EXPECT_FALSE(p.record);
    EXPECT_STREQ(p.reason, "not an array of 17 or more values");

    for (const char* source : {"ID_X_adsb_icao", "X_mlat", "T_est"}) {
        json s = lf_entry("4ca7b3");
        s[17] = source;
        p = lf_parse("4ca7b3", s);
        ASSERT_TRUE(p.record);
        EXPECT_EQ(p.record->pos.flag3, 0) << source;
    }
}

TEST(FeedParse, BadValuesDropTheEntry)
{
    struct Case {
        int index;
        json value;
        const char* reason;
    };
    const Case cases[] = {
        {1, json("north"), "position missing or out of range"},
        {1, json(91.0), "position missing or out of range"},
        {2, json(-180.5), "position missing or out of range"},
        {2, json(nullptr), "position missing or out of range"},
        {10, json("null"), "time stamp missing or out of range"},
        {10, json(-5.0), "time stamp missing or out of range"},
        {4, json(1e300), "altitude missing or out of range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.dump());
        json e = lf_entry("4ca7b3");
        e[c.index] = c.value;
        if (c.index == 4)
            e[18] = nullptr;  // no geometric altitude to fall back on
        const auto p = lf_parse("4ca7b3", e);
        EXPECT_FALSE(p.record);
        EXPECT_STREQ(p.reason, c.reason);
    }
    // Wrong types in optional values only lose those values.
    json e = lf_entry("4ca7b3");
    e[23] = json::object();
    e[13] = 42;
    e[5] = "fast";
    const auto p = lf_parse("4ca7b3", e);
    ASSERT_TRUE(p.record);
    EXPECT_EQ(p.record->pos.bankValid, 0);
    EXPECT_EQ(p.record->callsign, "");
    EXPECT_DOUBLE_EQ(p.record->pos.speed, 0.0);
    // A numeric text counts as a number (the squawk comes either way).
    EXPECT_EQ(lf_feedNumber(json::array({"4213"}), 0), 4213.0);
}

TEST(FeedParse, AltitudeCorrectedWithQnhAndGroundUsesParkElevation)
{
    tvxtest::FeedCapture capture;
    g_qnh = 1023;
    TrafficClient client;
    json ground = lf_entry("4ca7c1");
    ground[14] = 1;
    ground[1] = tvxtest::kEhamLat;
    ground[2] = tvxtest::kEhamLon;
    ground[4] = 25;
    json far = ground;
    far[0] = "4ca7c2";
    far[1] = 50.0;
    json noBaro = lf_entry("4ca7c3");
    noBaro[4] = "";
    client.handleTrafficReply({{"data", {{"4ca7b3", lf_entry("4ca7b3")}, {"4ca7c1", ground}, {"4ca7c2", far},
                                         {"4ca7c3", noBaro}}},
                               {"status", 200}});
    // No park airport yet: every pressure altitude corrected by (1023 - 1013) × 27 ft.
    client.setReferenceElevation(-11.0);
    client.setParkAirportPosition(std::pair{tvxtest::kEhamLat, tvxtest::kEhamLon});
    client.handleTrafficReply({{"data", {{"4ca7c1", ground}, {"4ca7c2", far}}}, {"status", 200}});
    g_qnh = 1013;

    const auto batches = capture.batches();
    ASSERT_EQ(batches.size(), 2u);
    ASSERT_EQ(batches[0].records.size(), 4u);
    for (const auto& r : batches[0].records) {
        if (r.hexid == 0x4ca7b3) {
            EXPECT_DOUBLE_EQ(r.pos.alt, 6475.0 + 270.0);
        }
        if (r.hexid == 0x4ca7c1) {
            EXPECT_DOUBLE_EQ(r.pos.alt, 25.0 + 270.0);
            EXPECT_EQ(r.pos.airborne, 0);
        }
        if (r.hexid == 0x4ca7c3) {
            EXPECT_DOUBLE_EQ(r.pos.alt, 6700.0);  // geometric altitude, not corrected
        }
    }
    ASSERT_EQ(batches[1].records.size(), 2u);
    for (const auto& r : batches[1].records) {
        if (r.hexid == 0x4ca7c1) {
            EXPECT_DOUBLE_EQ(r.pos.alt, -11.0);  // on the ground at the park airport
        }
        if (r.hexid == 0x4ca7c2) {
            EXPECT_DOUBLE_EQ(r.pos.alt, 295.0);  // on the ground elsewhere
        }
    }
}

TEST(FeedParse, ReplyShapesAndEmptyBatch)
{
    tvxtest::FeedCapture capture;
    TrafficClient client;
    // Without the "data" wrapper (older API): entries at the top level.
    client.handleTrafficReply({{"4ca7b3", lf_entry("4ca7b3")}, {"full_count", 1}, {"rrl", 2000},
                               {"status", 200}, {"dataepoch", 1767225602}});
    EXPECT_DOUBLE_EQ(client.trafficDataTime(), 1767225602.0);
    // An empty batch sets the traffic data time to 0 and is still handed on.
    client.handleTrafficReply({{"data", json::object()}, {"status", 200}, {"dataepoch", 1767225604}});
    EXPECT_DOUBLE_EQ(client.trafficDataTime(), 0.0);
    const auto batches = capture.batches();
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(batches[0].delay, 30u);
    ASSERT_EQ(batches[0].records.size(), 1u);
    EXPECT_EQ(batches[0].records[0].hexid, 0x4ca7b3u);
    EXPECT_TRUE(batches[1].records.empty());
    EXPECT_TRUE(client.liveRecords().empty());
}

TEST(FeedParse, ReplyTextIsReadAsADocumentWouldReadIt)
{
    // Read from the text without a document: what the document gave must stay. Members come by key
    // (not in the text's order), a repeated key counts once with its last value, a non-array beside
    // the entries is a dropped entry, nested values and booleans are values of no use, a number may
    // be a text, and the envelope's scalars ("dataepoch") still count.
    tvxtest::FeedCapture capture;
    TrafficClient client;
    const std::string full = lf_entry("4ca7b3").dump();
    std::string nested = lf_entry("4ca7c1").dump();
    nested.replace(nested.find("\"HB-ZZT\""), 8, "[1,{\"a\":[2]}]");  // registration: an array
    std::string texts = lf_entry("4ca7c2").dump();
    texts.replace(texts.find("6475"), 4, "\"6475\"");                // altitude as a text
    texts.replace(texts.find("\"GVA\""), 5, "\"" + std::string(70, 'G') + "\"");  // origin too long
    texts.replace(texts.find("\"X_adsb_icao\""), 13, "true");        // source: a boolean
    std::string first = lf_entry("4ca7c3").dump(), last = first;
    last.replace(last.find("SWR123"), 6, "SWR999");
    const std::string text = "{\"status\": 200, \"data\": {\"4ca7c3\": " + first + ", \"4ca7c2\": " + texts +
                             ", \"4ca7c1\": " + nested + ", \"4ca7b3\": " + full + ", \"4ca7c3\": " + last +
                             ", \"4ca7c4\": {\"x\": 1}, \"4ca7c5\": 12}, \"dataepoch\": 1767225610}";
    FeedReply reply;
    ASSERT_TRUE(reply.parse(text));
    client.handleTrafficReply(reply);
    EXPECT_DOUBLE_EQ(client.trafficDataTime(), 1767225610.0);
    const auto batches = capture.batches();
    ASSERT_EQ(batches.size(), 1u);
    const auto& records = batches[0].records;
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].hexid, 0x4ca7b3u);
    EXPECT_EQ(records[1].hexid, 0x4ca7c1u);
    EXPECT_EQ(records[1].registration, "");
    EXPECT_EQ(records[2].hexid, 0x4ca7c2u);
    EXPECT_DOUBLE_EQ(records[2].pos.alt, 6475.0);
    EXPECT_EQ(records[2].origin, "");
    EXPECT_EQ(records[2].pos.flag3, 0);
    EXPECT_EQ(records[3].hexid, 0x4ca7c3u);
    EXPECT_EQ(records[3].callsign, "SWR999");

    // Not JSON, or JSON but not an object: no reply.
    EXPECT_FALSE(reply.parse("{\"data\": {"));
    EXPECT_FALSE(reply.parse("[1, 2]"));
    EXPECT_FALSE(reply.parse("\"a text\""));
    EXPECT_FALSE(reply.parse("17"));
    EXPECT_TRUE(reply.top().members.empty());
}

TEST(FeedParse, AbsurdCountsAreCut)
{
    tvxtest::FeedCapture capture;
    TrafficClient client;
    EXPECT_FALSE(client.hasFirstReply());
    json data = json::object();
    const json entry = lf_entry("4ca7b3");
    for (std::uint32_t i = 0; i < 20005; ++i)
        data[tvx::format("{:06x}", 0x100000 + i)] = entry;
    // Twelve buffers where five were asked for: the oldest five of them are not the newest.
    json buffers = json::object();
    for (int k = 0; k < 12; ++k)
        buffers[tvx::format("buffer_{}", k)] = json::object({{tvx::format("{:06x}", 0x200000 + k), entry}});
    client.handleTrafficReply({{"data", data}, {"status", 200}});
    client.handleTrafficReply({{"data", buffers}, {"status", 200}});
    EXPECT_TRUE(client.hasFirstReply());
    const auto batches = capture.batches();
    ASSERT_EQ(batches.size(), 1u);  // buffers of a later reply only fill the maps
    EXPECT_EQ(batches[0].records.size(), 20000u);
    std::set<std::string> callsigns;
    std::set<std::uint32_t> hexids;
    client.takeBufferMaps(callsigns, hexids);
    // The five newest buffers: buffer_0 .. buffer_4.
    EXPECT_EQ(hexids, (std::set<std::uint32_t>{0x200000, 0x200001, 0x200002, 0x200003, 0x200004}));
    EXPECT_EQ(callsigns, (std::set<std::string>{"SWR123"}));
}

TEST(FeedParse, BlockedCallsignFilteredAndPostedOnce)
{
    tvxtest::FeedCapture capture;
    TrafficClient client;
    const json reply = {{"data", {{"4b1805", lf_entry("4b1805")}, {"4ca7b3", lf_entry("4ca7b3")}}}, {"status", 200}};
    g_optBlockCallsign.set("SWR123");
    client.handleTrafficReply(reply);
    client.handleTrafficReply(reply);
    g_optBlockCallsign.set("");
    client.handleTrafficReply(reply);
    g_optBlockCallsign.set("SWR123");
    client.handleTrafficReply(reply);
    g_optBlockCallsign.set("");

    const auto batches = capture.batches();
    ASSERT_EQ(batches.size(), 4u);
    EXPECT_EQ(batches[0].records.size(), 0u);
    EXPECT_EQ(batches[1].records.size(), 0u);
    EXPECT_EQ(batches[2].records.size(), 2u);
    EXPECT_EQ(batches[3].records.size(), 0u);
    // Kind 5 once per blocking: the second reply posts nothing, a new blocking posts again.
    EXPECT_EQ(capture.blockedHexids(), (std::vector<std::uint32_t>{0x4b1805, 0x4ca7b3, 0x4b1805, 0x4ca7b3}));
}

TEST(FeedParse, HalfHourOffsets)
{
    const double day = 1767225600.0;  // 2026-01-01 00:00 UTC
    struct Case {
        double parked, now;
        std::uint32_t offset;
    };
    const Case cases[] = {
        {day + 600, day + 900, 0},                      // same slot
        {day + 10 * 3600 + 29 * 60, day + 10 * 3600 + 31 * 60, 1},  // 10:29 -> 10:31
        {day - 3600, day + 5400, 5},                    // 23:00 (slot 46) -> 01:30 (slot 3): 3 - 46 + 48
        {day - 3 * 3600, day + 20, 6},
        {day + 3600, day + 3600 + 23.9 * 3600, 47},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lf_halfHourOffset(c.parked, c.now), c.offset) << c.parked << " " << c.now;
}

TEST(FeedParse, ParkedLines)
{
    tvxtest::FeedCapture capture;
    capture.standName = "D7";
    TrafficClient client;
    const double now = 1767225620.0;
    const char* reason = nullptr;
    auto r = client.processParkedTrafficLine(
        "4b1a2f", json::parse(R"([52.31,4.76,"EHAM_D7","A333","PH-AKA",1767214800.0,"KLM601",181.5])"), now, reason);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->hexid, 0x4b1a2fu);
    EXPECT_EQ(r->acType, "A333");
    EXPECT_EQ(r->registration, "PH-AKA");
    EXPECT_EQ(r->callsign, "KLM601");
    EXPECT_EQ(r->airline, "KLM");
    EXPECT_DOUBLE_EQ(r->lat, 52.31);
    EXPECT_EQ(r->halfHourOffset, 6u);
    EXPECT_EQ(r->standName, "D7");

    const json bad[] = {json::parse(R"([52.31,4.76,"EHAM_D7","A333","PH-AKA",1767214800.0])"),
                        json::parse(R"(["x",4.76,"EHAM_D7","A333","PH-AKA",1767214800.0,"KLM601"])"),
                        json::parse(R"([52.31,4.76,"EHAM_D7","A333","PH-AKA","null","KLM601"])"),
                        json::parse(R"([52.31,4.76,"EHAM_D7","A333","PH-AKA",1867214800.0,"KLM601"])")};
    for (const auto& entry : bad) {
        EXPECT_FALSE(client.processParkedTrafficLine("4b1a2f", entry, now, reason)) << entry.dump();
        EXPECT_NE(reason, nullptr);
    }
}

TEST(FeedParse, QnhValues)
{
    struct Case {
        json reply;
        std::optional<std::int32_t> qnh;
    };
    const Case cases[] = {
        {{{"data", {{"ICAO", "EHAM"}, {"QNH", 1019}}}}, 1019},
        {{{"data", {{"QNH", 1013.6}}}}, 1014},
        {{{"data", {{"QNH", 2992}}}}, 1013},   // inHg × 100
        {{{"data", {{"QNH", 3005}}}}, 1018},
        {{{"QNH", 998}}, 998},                 // bare inner object
        {{{"data", {{"QNH", "1021"}}}}, 1021},
        {{{"data", {{"QNH", nullptr}}}}, 1013},  // unknown
        {{{"data", {{"QNH", "null"}}}}, 1013},
        {{{"data", {{"QNH", 0}}}}, 1013},
        {{{"data", {{"ICAO", "EHAM"}}}}, 1013},
        {{{"data", {{"QNH", 500}}}}, std::nullopt},  // not a pressure: the last QNH is kept
        {{{"data", {{"QNH", 4000}}}}, std::nullopt},
        {{{"data", {{"QNH", "high"}}}}, std::nullopt},
        {{{"data", {{"QNH", json::array()}}}}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lf_qnhFromWeather(c.reply), c.qnh) << c.reply.dump();
}

TEST(FeedParse, QueryBoxAndFormBody)
{
    auto box = gf_queryBox(0.0, 10.0, 60.0);
    EXPECT_NEAR(box.bottom, -1.0, 1e-12);
    EXPECT_NEAR(box.top, 1.0, 1e-12);
    EXPECT_NEAR(box.left, 9.0, 1e-12);
    EXPECT_NEAR(box.right, 11.0, 1e-12);
    box = gf_queryBox(60.0, 179.5, 30.0);  // half a degree of latitude, a degree of longitude
    EXPECT_NEAR(box.top, 60.5, 1e-12);
    EXPECT_NEAR(box.left, 178.5, 1e-9);
    EXPECT_NEAR(box.right, -179.5, 1e-9);  // across the antimeridian
    box = gf_queryBox(89.9, 0.0, 100.0);
    EXPECT_DOUBLE_EQ(box.top, 90.0);
    EXPECT_GE(box.left, -180.0);

    EXPECT_EQ(gf_formBody({{"GUID", "a b"}, {"airports", "EHAM|EBBR"}, {"software", "Tavix 1.0+x"}}),
              "GUID=a%20b&airports=EHAM%7CEBBR&software=Tavix%201.0%2Bx");
}
