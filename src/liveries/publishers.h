// Package publishers and the maker's archive lists: the publisher groups of the aircraft database
// (a canonical name and the names or wildcard patterns under which its packages appear), the
// airports whose stock parking files the archive holds ("simaddons20"), and per publisher the
// airports of its add-on sceneries with the archived stand count ("thirdparties20/24"). Filled by
// the start-up thread with the database; read-only afterwards, so the scan workers may read it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <pugixml.hpp>

struct PublisherAirports {
    std::string publisher;
    std::vector<std::string> airports;  // entries such as "EHAM2": code and archived stand count
};

extern std::unordered_set<std::string> g_simaddonAirports;
extern std::vector<PublisherAirports> g_thirdparties2020;
extern std::vector<PublisherAirports> g_thirdparties2024;

// Canonical name of the first publisher group one of whose names is contained in the text or
// matches it as a wildcard pattern (both compared in lower case); "unknown" when none.
std::string gf_publisherOf(std::string_view text);
// True when the pattern ("*" = any run of characters) matches anywhere in the text; false on
// any error.
bool gf_wildcardMatch(std::string_view text, std::string_view pattern);
// True when the entry starts with the airport code and the text after its fourth character is a
// number, which is written to standCount.
bool gf_matchThirdpartyEntry(std::string_view entry, std::string_view code,
                             std::uint32_t& standCount);

// Reads the sections publishers, simaddons20, thirdparties20 and thirdparties24 of the database
// root element, replacing the lists.
void gf_readPublisherSections(const pugi::xml_node& root, std::string_view source);
void gf_clearPublishers();
