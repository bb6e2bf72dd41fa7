// The start-up update of the data packs from the maker's server (start-up thread): the server's
// version file, a newer program installer, the aircraft database, the registration-code packs and
// the airport list.
#pragma once

#include <string>

#include "app/exit.h"
#include "frame/server_files.h"

// The server's version file:
// {"version":"1.2.3","installer":"<name>","db":7,"regcodes":3,"airports":1}.
struct ServerVersionInfo {
    Version version;
    std::string installer;
    int db = 0;        // aircraft database pack
    int regcodes = 0;  // registration-code packs
    int airports = 0;  // airport list (input/airports_msfs.xml and input/airports_msfs_names.xml)
};
// Parses the version file's text; false (logged) when malformed.
bool gf_parseServerVersion(const std::string& text, ServerVersionInfo& out);

// The start-up update of the data packs from the server (start-up thread): reads version.json,
// downloads a newer installer into download/ (the user is told; nothing runs), and refreshes
// input/aircraftdb.xml, input/regcodes/ and the airport list when missing or older than the
// server's (pack versions kept in input/datapacks.json). False when the
// version file could not be read (the program goes on with what it has). Throws the
// "{} could not be written: {}" of a download or unpacked file when the airport list is missing
// because of it.
bool gf_updateDataPacks();

// The pack versions stored beside the unpacked data (input/datapacks.json); 0 when unknown.
int gf_localPackVersion(const std::string& pack);
