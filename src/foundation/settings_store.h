// parameters.xml: the store of the settings in g_appFolder, and the meta block that the
// program's XML files carry (parameters.xml, airport parking files). The store keeps the loaded
// document in memory under its own mutex (taken before the log mutex), so save() works from any
// thread; loading runs once on the start-up thread.
//
// File layout: top level holds <meta> (info children with name and value) and <parameters>
// (parameter children with name and value).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pugi {
class xml_document;
}

// Reads parameters.xml from g_appFolder into the settings. Missing settings are added with their
// defaults, unknown ones removed, values outside their limits clamped (each logged). A file that
// cannot be parsed is renamed aside (parameters.xml.corrupt, .corrupt1, ...) and logged, and the
// defaults are used. The file is written back when anything was changed or added. Also sets
// g_rangeMeters from LATERAL_RANGE. False when the file could not be used as it was (set aside,
// not opened); a file that cannot be written back is said by gf_settingsWriteProblem.
bool gf_loadSettings();
// Writes every setting's current value into parameters.xml (at exit). False when it cannot.
bool gf_saveSettings();
// Why the last write of parameters.xml failed ("No space left on device"); empty after a write
// that worked, and while none was tried or the file is left alone (not opened at the load).
std::string gf_settingsWriteProblem();
// The settings file: g_appFolder / "parameters.xml".
std::filesystem::path gf_settingsPath();
// Forgets the loaded document (tests; a restart loads again).
void gf_resetSettingsStore();

// "/parameters/parameter[@name='KEY']": the parameter element of the key under the top-level
// parameters element.
std::string gf_parameterXPath(std::string_view key);
// Appends the meta block (info entries author, version, date, copyright, MSFS) at the document's
// top level. False when it cannot.
bool gf_addMetaData(pugi::xml_document& doc);
// True when the document's meta block holds author, date and version (their values are read
// into g_metaAuthor, g_metaDate and g_metaVersion, and not compared); otherwise logs
// "===> meta data incorrect?" and returns false.
bool gf_checkMetaData(const pugi::xml_document& doc);
