// Package manifest search and publisher detection for the add-on airport scan. Scan worker
// threads; see package_manifest.h.
#include "parking/package_manifest.h"

#include <exception>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/format.h"
#include "foundation/text_file.h"
#include "liveries/publishers.h"
#include "parking/addon_scan.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kErrorPrefix = "===> ";

// The text of a manifest member: empty when missing or null; a member of another kind throws.
std::string lf_manifestText(const nlohmann::json& manifest, const char* key)
{
    if (!manifest.is_object())
        return {};
    const auto it = manifest.find(key);
    if (it == manifest.end() || it->is_null())
        return {};
    return it->get<std::string>();
}

// Looks for and reads the manifest of one folder; found stays false when there is none.
ManifestInfo lf_manifestOfFolder(const fs::path& folder, bool& hadFile)
{
    const fs::path manifest = lf_findManifestFile(folder);
    hadFile = !manifest.empty();
    if (!hadFile)
        return {};
    lf_addScanMessage(manifest.string() + " found");
    return lf_readManifest(manifest);
}

}  // namespace

fs::path lf_findManifestFile(const fs::path& folder)
{
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (ec && status.type() != fs::file_type::not_found && status.type() != fs::file_type::unknown)
        throw fs::filesystem_error("status", folder, ec);
    if (status.type() != fs::file_type::directory)
        return {};
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const fs::path& path = entry.path();
        if (path.extension() == ".json" && path.stem() == "manifest" && entry.is_regular_file())
            return path;
    }
    return {};
}

ManifestInfo lf_readManifest(const fs::path& manifest)
{
    const std::vector<std::string> lines = TextFile::read(manifest, 48);
    if (lines.empty())
        return {};
    std::string text;
    for (const std::string& line : lines)
        text += line;
    const nlohmann::json json = nlohmann::json::parse(text);
    ManifestInfo info;
    info.found = true;
    info.manufacturer = lf_manifestText(json, "manufacturer");
    info.creator = lf_manifestText(json, "creator");
    info.title = lf_manifestText(json, "title");
    return info;
}

ManifestInfo lf_searchManifest(const std::string& bglPath)
{
    try {
        constexpr char sep = fs::path::preferred_separator;
        // Package route: the folder directly inside "Community".
        const std::size_t community = bglPath.find("Community");
        if (community != std::string::npos) {
            const std::size_t first = bglPath.find(sep, community);
            const std::size_t second =
                first == std::string::npos ? std::string::npos : bglPath.find(sep, first + 1);
            if (second != std::string::npos) {
                const fs::path package = bglPath.substr(0, second);
                std::error_code ec;
                if (fs::exists(package, ec)) {
                    bool hadFile = false;
                    ManifestInfo info = lf_manifestOfFolder(package, hadFile);
                    if (hadFile)
                        return info;  // read or not, the package's own manifest decides
                }
            }
        }
        // Folder route: every folder above the file, from the top down; the first manifest that
        // reads wins.
        fs::path folder;
        for (const fs::path& component : fs::path(bglPath).parent_path()) {
            folder /= component;
            bool hadFile = false;
            ManifestInfo info = lf_manifestOfFolder(folder, hadFile);
            if (info.found)
                return info;
        }
        return {};
    } catch (const std::exception& e) {
        lf_addScanMessage(tvx::format("exception in lf_searchManifest: {}", e.what()));
        return {};
    }
}

PublisherInfo gf_detectPublisher(const std::string& bglPath)
{
    lf_addScanMessage(tvx::format("\nTry find publisher in: {}", bglPath));
    PublisherInfo info;

    if (gf_wildcardMatch(bglPath, "microsoft-airport") || gf_wildcardMatch(bglPath, "asobo-airport")) {
        info.publisher = "simaddon";
        lf_addScanMessage(tvx::format("from filename => publisher {}", info.publisher));
        return info;
    }

    if (std::string publisher = gf_publisherOf(bglPath); publisher != "unknown") {
        info.publisher = std::move(publisher);
        lf_addScanMessage("publisher \"" + info.publisher + "\" found");
        return info;
    }

    const ManifestInfo manifest = lf_searchManifest(bglPath);
    if (!manifest.found) {
        lf_addScanMessage(tvx::format("{}No publisher found", kErrorPrefix));
        return info;
    }
    info.manufacturer = manifest.manufacturer;
    info.creator = manifest.creator;
    info.title = manifest.title;
    if (!manifest.manufacturer.empty()) {
        if (std::string publisher = gf_publisherOf(manifest.manufacturer); publisher != "unknown") {
            info.publisher = std::move(publisher);
            lf_addScanMessage("from manifest.json: manufacturer \"" + manifest.manufacturer +
                              "\" => publisher \"" + info.publisher + "\"");
            return info;
        }
    }
    if (!manifest.creator.empty()) {
        if (std::string publisher = gf_publisherOf(manifest.creator); publisher != "unknown") {
            info.publisher = std::move(publisher);
            lf_addScanMessage("from manifest.json creator \"" + manifest.creator + "\" => publisher \"" +
                              info.publisher + "\"");
            return info;
        }
    }
    lf_addScanMessage("no valid info found in manifest about publisher, manufacturer:\"" +
                      manifest.manufacturer + "\", creator:\"" + manifest.creator + "\" " + bglPath);
    return info;
}
