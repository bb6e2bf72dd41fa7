// Airport parking files: the one XML format of stock, scanned, hand-made and learned files, its
// typed parameter readers and writers, the parsing of one stand with its options, and the file
// writer. Which files are searched and what is done with their values lies with the park-airport
// reader (park_read.h) and the learned-stand merge (learned_stands.h).
//
// Layout (no single enclosing element; the top level holds meta, parameters, parkpositions):
//   <meta><info name="author" value="..."/>...</meta>
//   <parameters><parameter name="airport_name" value="Keflavik"/>
//               <parameter name="num_parkpos" value="2"/>...</parameters>
//   <parkpositions>
//     <parkpos id="A1" latitude="63.985000" longitude="-22.605000" heading="90.0" radius="34.0"
//              cargo="false" ramp="true">
//       <opt reg="" airl="ICE" type="B38M" day="1" hh="12,13,14" cs="ICE400:ICE401"/>
//     </parkpos>
//   </parkpositions>
// Headings are degrees in the file (radians in memory), radii metres (nautical miles in memory).
// Missing attributes read as 0, false or empty. A latitude, longitude or radius that is not a
// number throws the standard conversion error ("invalid stod argument") to the reader's caller,
// which refuses the file with that text; so does a stand that lies off the world (latitude beyond
// 90, longitude beyond 180, a negative radius, a heading or radius that is no finite number).
//
// Threads: the caller's. The main loop reads and writes the park airport's files; the add-on
// airport scan writes its own records from its worker threads. No lock is taken here.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "model/stand_model.h"

// True while the park airport's stands come from a hand-made learned file: the writer then writes
// handmade, altitude, the quality factors and every stand in full. Set and cleared by the
// park-airport reader and the learned-stand merge (main loop); read by the writer.
extern std::atomic<bool> g_handmadeOverruled;

// The header values that the writer puts in one airport's parking file (the reader's are ApfHeader).
struct ApfFileHeader {
    std::string airportName;
    std::string bglPath;
    std::string publisher;         // "unknown" when the scan found none
    std::string manufacturer;
    std::string creator;
    std::uint32_t rtTrafficWeek = 0;
    std::int32_t qfReal = -1;
    std::int32_t qfSoft = -1;
    std::int32_t altitude = 0;     // whole feet
};

// What the writer takes: one airport's header values and its stands.
struct ApfRecord : ApfFileHeader {
    std::vector<ParkPos> stands;
};

// The identity texts of one opt element.
struct OptIdentity {
    std::string callsign;
    std::string callsign2;
    std::string airline;
    std::string type;
};

// ---- Writing --------------------------------------------------------------------------------

// Writes a complete parking file. fromScan = 1 for the add-on scan's files (header and stands in
// full form, no settings, no options), 0 for learned files. True when the file was saved; a file
// that cannot be written whole (a full disk) leaves the old one as it was, and problem (when
// asked) gets the system's reason.
bool gf_writeApf(const ApfRecord& record, const std::filesystem::path& path, std::uint32_t fromScan,
                 std::string* problem = nullptr);
// The add-on scan's file of decoded stands: written as gf_writeApf writes it with fromScan = 1.
bool gf_writeScannedApf(const ApfFileHeader& header, std::span<const ScannedStand> stands,
                        const std::filesystem::path& path);

// The parameters element of a file being written; false when the document refuses it.
bool lf_writeApfParameters(pugi::xml_document& doc, const ApfFileHeader& header, std::size_t standCount,
                           std::uint32_t fromScan);
// One parkpos element (with its opt elements when fromScan = 0) appended to parkpositions.
void lf_writeParkPos(pugi::xml_node parkpositions, const ParkPos& stand, std::uint32_t fromScan);
// One opt element appended to the parkpos element; nothing for an option numbered 0.
void lf_writeOpt(pugi::xml_node parkpos, const ParkPosOption& option);
// Appends <parameter name="name" value="unsigned"/> under the top-level parameters element.
bool gf_addUintParameter(pugi::xml_document& doc, std::string_view name, std::uint32_t value);

// ---- Reading --------------------------------------------------------------------------------

// Parses one parkpos element with its options and appends the stand to g_parkPositions. The
// caller gives the stand's name (the id attribute) and the source value of its options.
void gf_readParkPos(const pugi::xml_node& parkpos, std::string name, std::uint32_t source);

// One opt element as a parking option with the given number and source: identity as
// lf_readOptIdentity gives it, reg, the slots of hh, day, and real unless soft is true.
ParkPosOption gf_readOpt(const pugi::xml_node& opt, std::uint32_t number, std::uint32_t source);
// Every parkpos of the first parkpositions element, in document order, through gf_readParkPos
// with the source; a stand name (id) seen before throws tvx::UserErrorException 94
// "Parking position NAME appears more than once?". No parkpositions element: no stand.
void gf_readParkPositions(const pugi::xml_document& doc, std::uint32_t source);
// Callsign and second callsign from cs ("A:B"), airline and type from the registration table when
// reg is known there, else from airl and type.
OptIdentity lf_readOptIdentity(const pugi::xml_node& opt);
// airl and type of an opt element, empty when missing.
AirlineType lf_readAirlType(const pugi::xml_node& opt);

// Typed parameter readers: empty when the document has no parameter of that name; a parameter
// without a value attribute gives false, 0 or an empty text.
std::optional<bool> gf_readBoolParameter(const pugi::xml_document& doc, std::string_view name);
std::optional<std::int32_t> gf_readIntParameter(const pugi::xml_document& doc, std::string_view name);
std::optional<std::uint32_t> gf_readRtTrafficWeek(const pugi::xml_document& doc);
std::optional<std::string> gf_readStringParameter(const pugi::xml_document& doc, std::string_view name);
