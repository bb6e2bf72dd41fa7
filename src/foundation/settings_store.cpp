// parameters.xml in g_appFolder, and the meta block of the program's XML files. The loaded
// document stays in memory under g_storeMutex, so a single save() only touches its own element
// and rewrites the file. Files are written to a temporary name and renamed over the old one, so
// a crash mid-write never leaves a torn parameters.xml. Lock order: g_storeMutex, then the log.
#include "foundation/settings_store.h"

#include <pugixml.hpp>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <system_error>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"

namespace {

std::mutex g_storeMutex;        // guards g_storeDoc and g_storeLoaded
pugi::xml_document g_storeDoc;  // parameters.xml as loaded and changed since
bool g_storeLoaded = false;
// Set when an unreadable parameters.xml could not be moved aside: the file is then never
// written over, so the user's file survives whatever happens to it.
bool g_storeBlocked = false;
// Why the last write of parameters.xml failed, as the system says it; empty after one that worked.
std::string g_writeProblem;

constexpr const char* kFileName = "parameters.xml";

std::string lf_todayText()
{
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    return tvx::format("{:%Y-%m-%d}", now);
}

// The element of the key, or an empty node.
pugi::xml_node lf_findNode(const pugi::xml_document& doc, std::string_view key)
{
    // Keys of the settings table are plain words; an apostrophe would break the XPath text, so
    // such a key is looked up by walking the elements.
    if (key.find('\'') == std::string_view::npos)
        return doc.select_node(gf_parameterXPath(key).c_str()).node();
    for (pugi::xml_node node : doc.child("parameters").children("parameter"))
        if (key == node.attribute("name").value())
            return node;
    return {};
}

// Sets the element of the setting to its current value, appending it when missing.
bool lf_putValue(pugi::xml_document& doc, const Parameter& p)
{
    const std::string text = p.valueText();
    pugi::xml_node node = lf_findNode(doc, p.key());
    if (!node)
        return StringParameter::addNode(doc, p.key(), text);
    pugi::xml_attribute value = node.attribute("value");
    if (!value)
        value = node.append_attribute("value");
    return value && value.set_value(text.c_str());
}

// A new document with the meta block and every stored setting at its current value.
void lf_buildDocument(pugi::xml_document& doc)
{
    doc.reset();
    gf_addMetaData(doc);
    doc.append_child("parameters");
    for (const Parameter* p : gf_allParameters())
        if (p->stored())
            lf_putValue(doc, *p);
}

// The meta block names the program that last wrote the file: replace the one read.
void lf_refreshMeta(pugi::xml_document& doc)
{
    pugi::xml_document fresh;
    if (!gf_addMetaData(fresh))
        return;
    while (pugi::xml_node old = doc.child("meta"))
        doc.remove_child(old);
    doc.prepend_copy(fresh.child("meta"));
}

// Writes the document to parameters.xml through a temporary file. Caller holds g_storeMutex.
bool lf_writeDocument(pugi::xml_document& doc)
{
    if (g_appFolder.empty() || g_storeBlocked)
        return false;
    lf_refreshMeta(doc);
    const auto path = g_appFolder / kFileName;
    auto temporary = path;
    temporary += ".tmp";
    std::error_code ec;
    // A folder deleted while the program ran is made again: the settings are not lost with it.
    std::filesystem::create_directories(g_appFolder, ec);
    errno = 0;
    if (!doc.save_file(temporary.c_str())) {
        g_writeProblem = errno != 0 ? std::generic_category().message(errno) : std::string("write error");
        gf_logError("{} could not be written: {}", temporary.string(), g_writeProblem);
        std::filesystem::remove(temporary, ec);
        return false;
    }
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        g_writeProblem = ec.message();
        gf_logError("{} could not be replaced: {}", path.string(), g_writeProblem);
        std::filesystem::remove(temporary, ec);
        return false;
    }
    g_writeProblem.clear();
    return true;
}

// Moves an unreadable parameters.xml aside to the first free name parameters.xml.corrupt,
// parameters.xml.corrupt1, ...; returns the new path, or an empty one when it cannot.
std::filesystem::path lf_setAside(const std::filesystem::path& path)
{
    std::error_code ec;
    for (int n = 0; n < 1000; ++n) {
        auto aside = path;
        aside += n == 0 ? std::string(".corrupt") : tvx::format(".corrupt{}", n);
        if (std::filesystem::exists(aside, ec))
            continue;
        std::filesystem::rename(path, aside, ec);
        return ec ? std::filesystem::path() : aside;
    }
    return {};
}

// Takes the values of a parsed document into the settings and brings the document in line with
// the table. True when the document was changed.
bool lf_applyDocument(pugi::xml_document& doc)
{
    // The meta values read (the version that wrote the file among them) stay in the meta
    // settings for the start-up to compare; an incomplete block is logged and replaced on writing.
    bool changed = !gf_checkMetaData(doc);
    if (!doc.child("parameters")) {
        doc.append_child("parameters");
        changed = true;
    }

    // Unknown and repeated parameters go; each known one is read once, the first in the file.
    std::set<std::string, std::less<>> seen;
    pugi::xml_node parameters = doc.child("parameters");
    for (pugi::xml_node node = parameters.first_child(); node;) {
        const pugi::xml_node next = node.next_sibling();
        const std::string key = node.attribute("name").value();
        Parameter* p = node.type() == pugi::node_element && std::string_view(node.name()) == "parameter"
                           ? gf_findParameter(key)
                           : nullptr;
        if (!p || !p->stored()) {
            if (node.type() == pugi::node_element) {
                gf_log("{}: unknown setting \"{}\" removed", kFileName, key);
                parameters.remove_child(node);
                changed = true;
            }
        } else if (!seen.insert(key).second) {
            gf_log("{}: repeated setting {} removed", kFileName, key);
            parameters.remove_child(node);
            changed = true;
        } else {
            const std::string problem = p->loadText(node.attribute("value").value());
            if (!problem.empty()) {
                gf_logError("{}: {} {}", kFileName, key, problem);
                lf_putValue(doc, *p);
                changed = true;
            }
        }
        node = next;
    }

    for (Parameter* p : gf_allParameters()) {
        if (!p->stored() || seen.count(p->key()))
            continue;
        p->resetToDefault();
        gf_log("{}: {} added with default {}", kFileName, p->key(), p->valueText());
        lf_putValue(doc, *p);
        changed = true;
    }
    return changed;
}

}  // namespace

std::filesystem::path gf_settingsPath() { return g_appFolder / kFileName; }

namespace {

enum class FileState { Missing, Unopenable, Damaged, Read };

// Reads parameters.xml into g_storeDoc. A file that exists but cannot be opened now (locked, no
// permission, not a file) is no damaged file and must be left alone.
FileState lf_readFile(const std::filesystem::path& path, pugi::xml_parse_result& result)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return ec ? FileState::Unopenable : FileState::Missing;
    if (!std::filesystem::is_regular_file(path, ec))
        return FileState::Unopenable;
    result = g_storeDoc.load_file(path.c_str());
    if (result)
        return FileState::Read;
    if (result.status == pugi::status_file_not_found || result.status == pugi::status_io_error ||
        result.status == pugi::status_out_of_memory)
        return FileState::Unopenable;
    return FileState::Damaged;
}

void lf_useDefaults()
{
    for (Parameter* p : gf_allParameters())
        p->resetToDefault();
    lf_buildDocument(g_storeDoc);
}

}  // namespace

bool gf_loadSettings()
{
    std::lock_guard lock(g_storeMutex);
    bool ok = true;
    bool changed = false;
    g_storeDoc.reset();
    g_storeBlocked = false;
    g_writeProblem.clear();
    const auto path = gf_settingsPath();
    pugi::xml_parse_result result;
    if (g_appFolder.empty()) {
        gf_logError("{}: the program's folder is not set, default settings used", kFileName);
        lf_useDefaults();
        ok = false;
    } else {
        switch (lf_readFile(path, result)) {
        case FileState::Missing:
            gf_log("{} not found, default settings used", path.string());
            lf_useDefaults();
            changed = true;
            break;
        case FileState::Unopenable:
            gf_logError("{} could not be opened; default settings used and not saved", path.string());
            lf_useDefaults();
            g_storeBlocked = true;  // never write over a file we could not read
            ok = false;
            break;
        case FileState::Damaged: {
            const auto aside = lf_setAside(path);
            gf_logError("{} could not be read ({} at offset {}), kept as {}; default settings used", path.string(),
                        result.description(), result.offset,
                        aside.empty() ? "(could not be renamed)" : aside.string());
            lf_useDefaults();
            // Without a successful rename the user's file stays in place, untouched.
            g_storeBlocked = aside.empty();
            changed = true;
            ok = false;
            break;
        }
        case FileState::Read:
            changed = lf_applyDocument(g_storeDoc);
            break;
        }
    }
    g_storeLoaded = true;
    g_rangeMeters.store(gf_rangeMetersOf(g_optLateralRange.value()));
    // A file read as it was that cannot be written back is no fault of the file: the write problem
    // tells (gf_settingsWriteProblem).
    if (changed)
        lf_writeDocument(g_storeDoc);
    return ok;
}

std::string gf_settingsWriteProblem()
{
    std::lock_guard lock(g_storeMutex);
    return g_writeProblem;
}

bool gf_saveSettings()
{
    std::lock_guard lock(g_storeMutex);
    if (!g_storeLoaded) {
        lf_buildDocument(g_storeDoc);
        g_storeLoaded = true;
    }
    bool ok = true;
    for (const Parameter* p : gf_allParameters())
        if (p->stored())
            ok = lf_putValue(g_storeDoc, *p) && ok;
    return lf_writeDocument(g_storeDoc) && ok;
}

void gf_resetSettingsStore()
{
    std::lock_guard lock(g_storeMutex);
    g_storeDoc.reset();
    g_storeLoaded = false;
    g_storeBlocked = false;
    g_writeProblem.clear();
}

bool Parameter::save() const
{
    if (!m_stored)
        return false;
    std::lock_guard lock(g_storeMutex);
    if (!g_storeLoaded) {
        // Nothing loaded yet (an early change): start from every current value.
        lf_buildDocument(g_storeDoc);
        g_storeLoaded = true;
    } else if (!lf_putValue(g_storeDoc, *this)) {
        return false;
    }
    return lf_writeDocument(g_storeDoc);
}

std::string gf_parameterXPath(std::string_view key)
{
    return tvx::format("/parameters/parameter[@name='{}']", key);
}

bool gf_addMetaData(pugi::xml_document& doc)
{
    pugi::xml_node meta = doc.append_child("meta");
    if (!meta)
        return false;
    const std::string date = lf_todayText();
    const std::pair<const char*, std::string> entries[] = {
        {"author", g_metaAuthor.defaultValue()},
        {"version", g_metaVersion.defaultValue()},
        {"date", date},
        {"copyright", g_metaCopyright.defaultValue()},
        {"MSFS", g_simIs2020.load() ? "2020" : "2024"},
    };
    for (const auto& [name, value] : entries) {
        pugi::xml_node info = meta.append_child("info");
        if (!info || !info.append_attribute("name").set_value(name) ||
            !info.append_attribute("value").set_value(value.c_str()))
            return false;
    }
    return true;
}

bool gf_checkMetaData(const pugi::xml_document& doc)
{
    const pugi::xml_node meta = doc.child("meta");
    StringParameter* const wanted[] = {&g_metaAuthor, &g_metaDate, &g_metaVersion};
    bool found[3] = {false, false, false};
    for (const pugi::xml_node info : meta.children("info")) {
        const std::string_view name = info.attribute("name").value();
        for (std::size_t i = 0; i < 3; ++i) {
            if (!found[i] && name == wanted[i]->key() && info.attribute("value")) {
                wanted[i]->set(info.attribute("value").value());
                found[i] = true;
            }
        }
    }
    if (found[0] && found[1] && found[2])
        return true;
    gf_logError("meta data incorrect?");
    return false;
}
