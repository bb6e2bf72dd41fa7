// Publisher groups and archive lists of the aircraft database. Written by the start-up thread
// with the database; read by the add-on airport scan's workers afterwards (no writes then).
#include "liveries/publishers.h"

#include <algorithm>
#include <charconv>
#include <sstream>

#include "foundation/log.h"
#include "foundation/text_file.h"

std::unordered_set<std::string> g_simaddonAirports;
std::vector<PublisherAirports> g_thirdparties2020;
std::vector<PublisherAirports> g_thirdparties2024;

namespace {

struct PublisherGroup {
    std::string name;
    std::vector<std::string> names;  // lower case; may hold "*"
};

std::vector<PublisherGroup> g_publisherGroups;

std::vector<PublisherAirports> lf_readThirdparties(const pugi::xml_node& section,
                                                   std::string_view source)
{
    std::vector<PublisherAirports> lists;
    std::size_t bad = 0;
    for (const pugi::xml_node& pub : section.children("publisher")) {
        PublisherAirports entry{pub.attribute("name").as_string(), {}};
        if (entry.publisher.empty()) {
            ++bad;
            continue;
        }
        for (const pugi::xml_node& e : pub.children("e")) {
            std::string code = e.child_value();
            std::uint32_t count = 0;
            if (code.size() > 4 && gf_matchThirdpartyEntry(code, code.substr(0, 4), count))
                entry.airports.push_back(std::move(code));
            else
                ++bad;
        }
        lists.push_back(std::move(entry));
    }
    if (bad > 0)
        gf_logError("aircraft database {}: {} malformed entries in {} skipped", source, bad,
                    section.name());
    return lists;
}

}  // namespace

std::string gf_publisherOf(std::string_view text)
{
    const std::string lower = gf_lower(text);
    for (const PublisherGroup& group : g_publisherGroups)
        for (const std::string& name : group.names)
            if (lower.find(name) != std::string::npos || gf_wildcardMatch(lower, name))
                return group.name;
    return "unknown";
}

bool gf_wildcardMatch(std::string_view text, std::string_view pattern)
{
    // The pieces between the stars must occur in order; a match may start and end anywhere.
    std::size_t from = 0;
    while (!pattern.empty()) {
        const std::size_t star = pattern.find('*');
        const std::string_view piece = pattern.substr(0, star);
        if (!piece.empty()) {
            const std::size_t at = text.find(piece, from);
            if (at == std::string_view::npos)
                return false;
            from = at + piece.size();
        }
        if (star == std::string_view::npos)
            break;
        pattern.remove_prefix(star + 1);
    }
    return true;
}

bool gf_matchThirdpartyEntry(std::string_view entry, std::string_view code,
                             std::uint32_t& standCount)
{
    if (code.empty() || entry.size() <= 4 || !entry.starts_with(code))
        return false;
    const std::string_view number = entry.substr(4);
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || end != number.data() + number.size())
        return false;
    standCount = value;
    return true;
}

void gf_readPublisherSections(const pugi::xml_node& root, std::string_view source)
{
    gf_clearPublishers();
    for (const pugi::xml_node& group : root.child("publishers").children("group")) {
        PublisherGroup g{group.attribute("name").as_string(), {}};
        for (const pugi::xml_node& n : group.children("n")) {
            std::string name = gf_lower(n.child_value());
            if (!name.empty())
                g.names.push_back(std::move(name));
        }
        if (g.name.empty() || g.names.empty()) {
            gf_logError("aircraft database {}: publisher group without name skipped", source);
            continue;
        }
        g_publisherGroups.push_back(std::move(g));
    }
    std::istringstream codes(root.child_value("simaddons20"));
    std::string code;
    while (codes >> code)
        g_simaddonAirports.insert(code);
    g_thirdparties2020 = lf_readThirdparties(root.child("thirdparties20"), source);
    g_thirdparties2024 = lf_readThirdparties(root.child("thirdparties24"), source);
}

void gf_clearPublishers()
{
    g_publisherGroups.clear();
    g_simaddonAirports.clear();
    g_thirdparties2020.clear();
    g_thirdparties2024.clear();
}
