// The package of an airport BGL file and its publisher: finds the package's manifest.json (the
// package folder under Community first, then every folder above the file from the top down),
// reads its manufacturer, creator and title, and decides the publisher from the file's path, the
// aircraft database's publisher groups and the manifest.
//
// manifest.json (JSON object; other members ignored; a member that is null reads as empty):
//   { "title": "Oxford Airport - EGTK", "manufacturer": "", "creator": "Benjwri", ... }
// A manifest that cannot be read is "not found"; one that does not parse, or whose member is not
// a text, is reported in the scan messages and is "not found" as well.
//
// Threads: the scan's worker threads. gf_detectPublisher runs under the scan's publisher mutex;
// lf_searchManifest also runs outside it and touches only the file system and the scan messages.
#pragma once

#include <filesystem>
#include <string>

struct ManifestInfo {
    bool found = false;
    std::string manufacturer;
    std::string creator;
    std::string title;
};

struct PublisherInfo {
    std::string publisher = "unknown";  // "simaddon", a canonical publisher name, or "unknown"
    std::string manufacturer;           // the manifest's values when one was read
    std::string creator;
    std::string title;
};

// The manifest that belongs to the BGL file's package; not found when there is none.
ManifestInfo lf_searchManifest(const std::string& bglPath);
// manifest.json directly inside the folder (exact, case-sensitive name), or an empty path.
std::filesystem::path lf_findManifestFile(const std::filesystem::path& folder);
// Reads one manifest. Not found when it cannot be read or is empty; throws on a parse error or a
// member that is not a text.
ManifestInfo lf_readManifest(const std::filesystem::path& manifest);
// Publisher of the BGL file (file name, database groups, then the manifest).
PublisherInfo gf_detectPublisher(const std::string& bglPath);
