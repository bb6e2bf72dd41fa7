// Reading single values out of the service's JSON arrays. The service writes a missing value as
// JSON null, as the text "null" or as "", and some numbers (the squawk) now as numbers, now as
// texts; these helpers give one answer for all of them: no value. Numbers must be finite;
// texts are capped in length so a broken reply cannot grow the records.
//
// Threads: pure functions, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "traffic_service/feed_reply.h"

// The number at index i: a JSON number, or a text that is wholly a number. Nothing when the
// element is absent, missing-valued, not a number or not finite.
std::optional<double> lf_feedNumber(const nlohmann::json& array, std::size_t i);
// The text at index i; empty when absent, missing-valued, not a text or longer than 64 bytes.
std::string lf_feedText(const nlohmann::json& array, std::size_t i);
// True when index i holds a value other than the three missing forms.
bool lf_feedHas(const nlohmann::json& array, std::size_t i);
// The same three for an entry of a reply read into a FeedReply.
std::optional<double> lf_feedNumber(const FeedEntry& entry, std::size_t i);
std::string lf_feedText(const FeedEntry& entry, std::size_t i);
// A 24-bit ICAO address written in hex (1 to 6 digits, no prefix); nothing otherwise.
std::optional<std::uint32_t> lf_parseHexid(std::string_view text);
// Airline code from a callsign: the first three characters when they are capital letters and
// the fourth is a digit; empty otherwise.
std::string lf_airlineOfCallsign(const std::string& callsign);
