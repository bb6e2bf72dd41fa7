// The QNH at the user aircraft: the weather reader asks the service for the nearest METAR
// station and its weather, and keeps the station's QNH in g_qnh for the feed's altitude
// correction and the approach rates.
//
// Threads: g_qnh is written by the weather reader (and reset by the exit thread), read anywhere.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include <nlohmann/json.hpp>

// The current QNH in hectopascals; 1013 while unknown.
extern std::atomic<std::int32_t> g_qnh;

// The QNH of a /weather reply body (with or without its "data" wrapper), in whole hPa. Values
// above 2000 are inches of mercury × 100. A reply whose QNH is absent, null or 0 gives 1013
// (unknown); nothing when the value is not a plausible pressure (the caller keeps the last).
std::optional<std::int32_t> lf_qnhFromWeather(const nlohmann::json& reply);
