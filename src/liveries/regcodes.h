// The registration table: registration -> airline, ICAO type, operator and cargo flag, from the
// aircraft database's <registrations> section and the registration packs input/regcodes/*.xml.
// Registration, airline and operator are stored scrambled in those files (XOR with a fixed key,
// then hex) and decoded once at load into a hash map keyed by the registration as written.
// Filled by the start-up thread before the main loop starts; read-only afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

struct DbaseRegEntry {
    std::string airline;
    std::string type;
    std::string op;         // operator; replaces the airline when not empty
    std::uint8_t cargo = 0;
};

// The file form of a text: each byte XORed with the key byte of its position, as upper-case hex.
std::string gf_scrambleText(std::string_view plain);
// The reverse; nothing for text that is not whole hex byte pairs.
std::optional<std::string> gf_unscrambleText(std::string_view scrambled);

// Candidate written forms of a registration, in order: country prefix + "-" + rest, prefix + rest,
// then the registration itself (duplicates left out). The prefix is the longest one of the
// database that the registration without its dash begins with; none: the registration alone.
std::vector<std::string> gf_regcodeSpellings(std::string_view registration);
// True (and the entry copied out when asked) when the table holds this written form.
bool gf_lookupRegcode(std::string_view form, DbaseRegEntry* entry = nullptr);
// ICAO type of the registration's entry (first spelling found), or an empty text.
std::string gf_regcodeType(std::string_view registration);
std::size_t gf_regcodeCount();

// Reads one <registrations> element into the table (later entries replace earlier ones); one
// summary log line for skipped entries. Returns the number of entries taken.
std::size_t gf_readRegistrations(const pugi::xml_node& registrations, std::string_view source);
// Reads the <registrations> blocks of every *.xml file of the folder, in file-name order. A file
// that does not parse is logged and skipped. Returns the number of entries taken.
std::size_t gf_loadRegcodePacks(const std::filesystem::path& folder);
void gf_setRegPrefixes(std::string_view blankSeparated);
// Registration country prefixes, longest first.
const std::vector<std::string>& gf_regPrefixes();
void gf_clearRegcodes();
