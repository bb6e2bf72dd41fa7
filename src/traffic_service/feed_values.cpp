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

namespace {

// A text that is wholly a finite number.
std::optional<double> lf_textNumber(std::string_view text)
{
    if (text.size() > kMaxText)
        return std::nullopt;
    char buffer[kMaxText + 1];
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    char* end = nullptr;
    const double value = std::strtod(buffer, &end);
    if (end == buffer || *end != '\0' || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> lf_feedNumber(const nlohmann::json& array, std::size_t i)
{
    if (!lf_feedHas(array, i))
        return std::nullopt;
    const auto& v = array[i];
    if (v.is_string())
        return lf_textNumber(v.get_ref<const std::string&>());
    if (!v.is_number())
        return std::nullopt;
    const double value = v.get<double>();
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

std::optional<double> lf_feedNumber(const FeedEntry& entry, std::size_t i)
{
    if (i >= entry.size())
        return std::nullopt;
    const FeedValue& v = entry.values[i];
    if (v.kind == FeedValue::Kind::Text)
        return lf_textNumber(entry.textAt(i));
    if (v.kind != FeedValue::Kind::Number || !std::isfinite(v.number))
        return std::nullopt;
    return v.number;
}

std::string lf_feedText(const FeedEntry& entry, std::size_t i)
{
    if (i >= entry.size() || entry.values[i].kind != FeedValue::Kind::Text || entry.values[i].textSize > kMaxText)
        return {};
    return std::string(entry.textAt(i));
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
