// Reading one aircraft.cfg file of an AI model package into its liveries. Pure text work with no
// shared state, so the scan's worker threads call it in parallel.
//
// Accepted: UTF-8 (with or without BOM) and UTF-16 LE/BE with BOM; CR LF or LF line ends; section
// names and keys in any case; values quoted or not, a ';' outside quotes starting a comment; lines
// beginning with ';' or "//" are comments. Used: [GENERAL] icao_type_designator (else the type in
// atc_model, e.g. "TT:ATCCOM.AC_MODEL A388.0.text" or "B738"); [VARIATION] base_container (a
// livery-only package naming its base model's folder); every [FLTSIM.n] with a title gives one
// livery: title, icao_airline (else atc_airline), atc_id. A title that is not valid UTF-8 is skipped
// and counted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/livery_tables.h"

struct AircraftCfg {
    std::string acType;          // empty when the file names none
    std::string baseContainer;   // [VARIATION] base_container, as written
    std::vector<LiveryData> liveries;  // folder order 0, type filled from acType
    std::size_t badTitles = 0;   // [FLTSIM.n] titles skipped as not valid UTF-8
};

// Parses the file's bytes. False with a reason when the text cannot be decoded (broken UTF-16).
bool gf_parseAircraftCfg(std::string_view bytes, AircraftCfg& out, std::string& error);
// The type named by an atc_model value ("...AC_MODEL A388.0.text" -> "A388"; "B738" -> "B738").
std::string gf_typeFromAtcModel(std::string_view atcModel);
// Title holds "cargo" or "freight" in any case.
bool gf_isCargoTitle(std::string_view title);
// Valid UTF-8 (no overlongs, surrogates or code points above U+10FFFF).
bool gf_isValidUtf8(std::string_view text);
