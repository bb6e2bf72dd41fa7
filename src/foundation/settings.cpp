// The setting kinds: current values, limits, the texts they are stored as, and the XML nodes that
// the program's files use for settings. Any thread (see settings.h).
#include "foundation/settings.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings_store.h"
#include "foundation/text_file.h"

namespace {

std::vector<Parameter*>& lf_registry()
{
    static std::vector<Parameter*> registry;
    return registry;
}

pugi::xml_node lf_parametersElement(pugi::xml_document& doc)
{
    pugi::xml_node parameters = doc.child("parameters");
    if (!parameters)
        parameters = doc.append_child("parameters");
    return parameters;
}

bool lf_appendParameter(pugi::xml_document& doc, std::string_view key, const char* value)
{
    pugi::xml_node parameters = lf_parametersElement(doc);
    if (!parameters)
        return false;
    pugi::xml_node node = parameters.append_child("parameter");
    if (!node)
        return false;
    const std::string keyText(key);
    return node.append_attribute("name").set_value(keyText.c_str()) && node.append_attribute("value").set_value(value);
}

}  // namespace

// ---- Parameter ---------------------------------------------------------------------------

Parameter::Parameter(std::string key, bool stored) : m_key(std::move(key)), m_stored(stored)
{
    lf_registry().push_back(this);
}

const std::vector<Parameter*>& gf_allParameters() { return lf_registry(); }

Parameter* gf_findParameter(std::string_view key)
{
    for (Parameter* p : lf_registry())
        if (p->key() == key)
            return p;
    return nullptr;
}

// ---- StringParameter ---------------------------------------------------------------------

StringParameter::StringParameter(std::string key, std::string defaultValue, bool stored)
    : Parameter(std::move(key), stored), m_default(std::move(defaultValue)), m_value(m_default)
{
}

std::string StringParameter::value() const
{
    std::lock_guard lock(m_mutex);
    return m_value;
}

void StringParameter::set(std::string value)
{
    std::lock_guard lock(m_mutex);
    m_value = std::move(value);
}

std::string StringParameter::loadText(std::string_view text)
{
    set(std::string(text));
    return {};
}

bool StringParameter::addNode(pugi::xml_document& doc, std::string_view key, std::string_view value)
{
    const std::string valueText(value);
    return lf_appendParameter(doc, key, valueText.c_str());
}

// ---- IntParameter ------------------------------------------------------------------------

IntParameter::IntParameter(std::string key, std::int32_t defaultValue, std::int32_t minimum, std::int32_t maximum,
                           bool stored)
    : Parameter(std::move(key), stored), m_default(defaultValue), m_minimum(minimum), m_maximum(maximum),
      m_value(defaultValue)
{
}

bool IntParameter::set(std::int32_t value)
{
    if (value < m_minimum || value > m_maximum)
        return false;
    m_value.store(value);
    return true;
}

std::int32_t IntParameter::setClamped(std::int64_t value)
{
    const auto clamped = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, m_minimum, m_maximum));
    m_value.store(clamped);
    return clamped;
}

std::string IntParameter::valueText() const { return tvx::format("{}", value()); }

std::string IntParameter::loadText(std::string_view text)
{
    std::string_view trimmed = gf_trim(text);
    if (trimmed.size() > 1 && trimmed.front() == '+')
        trimmed.remove_prefix(1);
    std::int64_t number = 0;
    const auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), number);
    if (trimmed.empty() || end != trimmed.data() + trimmed.size()) {
        resetToDefault();
        return tvx::format("\"{}\" is not a whole number, default {} used", text, m_default);
    }
    if (ec == std::errc::result_out_of_range)
        number = trimmed.front() == '-' ? std::numeric_limits<std::int64_t>::min()
                                        : std::numeric_limits<std::int64_t>::max();
    const std::int32_t stored = setClamped(number);
    if (number != stored)
        return tvx::format("{} is outside {}..{}, set to {}", trimmed, m_minimum, m_maximum, stored);
    return {};
}

bool IntParameter::addNode(pugi::xml_document& doc, std::string_view key, std::int32_t value)
{
    return lf_appendParameter(doc, key, tvx::format("{}", value).c_str());
}

// ---- BoolParameter -----------------------------------------------------------------------

BoolParameter::BoolParameter(std::string key, bool defaultValue, std::atomic<bool>* mirror)
    : Parameter(std::move(key)), m_default(defaultValue), m_value(defaultValue), m_mirror(mirror)
{
    if (m_mirror)
        m_mirror->store(defaultValue);
}

void BoolParameter::set(bool value)
{
    m_value.store(value);
    if (m_mirror)
        m_mirror->store(value);
}

std::string BoolParameter::loadText(std::string_view text)
{
    // True, false, yes, no, 1 or 0 in any case. A text that is no yes or no at all ("maybe", "on")
    // would silently read as false: the default is kept and said.
    const std::string lower = gf_lower(gf_trim(text));
    const bool yes = lower == "true" || lower == "yes" || lower == "1";
    if (!yes && lower != "false" && lower != "no" && lower != "0") {
        resetToDefault();
        return tvx::format("\"{}\" is not true or false, default {} used", text, m_default ? "true" : "false");
    }
    set(yes);
    return {};
}

bool BoolParameter::setNode(pugi::xml_document& doc, std::string_view key, bool value)
{
    const char* text = value ? "true" : "false";
    const pugi::xpath_node found = doc.select_node(gf_parameterXPath(key).c_str());
    if (!found)
        return lf_appendParameter(doc, key, text);
    pugi::xml_node node = found.node();
    pugi::xml_attribute attribute = node.attribute("value");
    if (!attribute)
        attribute = node.append_attribute("value");
    return attribute && attribute.set_value(text);
}

// ---- FloatBoxParameter -------------------------------------------------------------------

FloatBoxParameter::FloatBoxParameter(std::string key, double defaultValue, double minimum, double maximum,
                                     ControlId id, int row)
    : Parameter(std::move(key)), GuiControl(id, row), m_default(defaultValue), m_minimum(minimum),
      m_maximum(maximum), m_value(defaultValue)
{
}

bool FloatBoxParameter::set(double value)
{
    if (!(value >= m_minimum && value <= m_maximum))
        return false;
    m_value.store(value);
    return true;
}

double FloatBoxParameter::setClamped(double value)
{
    const double clamped = std::isnan(value) ? m_default : std::clamp(value, m_minimum, m_maximum);
    m_value.store(clamped);
    return clamped;
}

std::string FloatBoxParameter::valueText() const { return tvx::format("{}", value()); }

std::string FloatBoxParameter::loadText(std::string_view text)
{
    const std::string trimmed(gf_trim(text));
    char* end = nullptr;
    const double number = std::strtod(trimmed.c_str(), &end);
    if (trimmed.empty() || end != trimmed.c_str() + trimmed.size() || std::isnan(number)) {
        resetToDefault();
        return tvx::format("\"{}\" is not a number, default {} used", text, m_default);
    }
    const double stored = setClamped(number);
    if (stored != number)
        return tvx::format("{} is outside {}..{}, set to {}", trimmed, m_minimum, m_maximum, stored);
    return {};
}
