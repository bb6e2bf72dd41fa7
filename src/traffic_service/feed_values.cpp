// The missing-value rules of the service's JSON; see feed_values.h. Threads: any.
#include "traffic_service/feed_values.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

constexpr std::size_t kMaxText = 64;

bool lf_isMissingText(const std::string& text) { return text.empty() || text == "null"; }

}  // namespace

bool lf_feedHas(const nlohmann::json& array, std::size_t i)
{
    if (!array.is_array() || i >= array.size())
        return false;
    const auto& v = array[i];
    if (v.is_null())
        return false;
    if (v.is_string())
        return !lf_isMissingText(v.get_ref<const std::string&>());
    return true;
}

std::optional<double> lf_feedNumber(const nlohmann::json& array, std::size_t i)
{
    if (!lf_feedHas(array, i))
        return std::nullopt;
    const auto& v = array[i];
    double value = 0.0;
    if (v.is_number()) {
        value = v.get<double>();
    } else if (v.is_string()) {
        const auto& text = v.get_ref<const std::string&>();
        if (text.size() > kMaxText)
            return std::nullopt;
        const char* begin = text.c_str();
        char* end = nullptr;
        value = std::strtod(begin, &end);
        if (end == begin || *end != '\0')
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string lf_feedText(const nlohmann::json& array, std::size_t i)
{
    if (!lf_feedHas(array, i) || !array[i].is_string())
        return {};
    const auto& text = array[i].get_ref<const std::string&>();
    if (text.size() > kMaxText)
        return {};
    return text;
}

std::optional<std::uint32_t> lf_parseHexid(std::string_view text)
{
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    std::uint32_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string lf_airlineOfCallsign(const std::string& callsign)
{
    if (callsign.size() < 4)
        return {};
    for (int i = 0; i < 3; ++i)
        if (callsign[i] < 'A' || callsign[i] > 'Z')
            return {};
    if (callsign[3] < '0' || callsign[3] > '9')
        return {};
    return callsign.substr(0, 3);
}
