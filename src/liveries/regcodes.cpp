// The registration table and its scrambled file storage. Written by the start-up thread (database
// load, registration packs); read by the main loop and the parking code afterwards.
#include "liveries/regcodes.h"

#include <algorithm>
#include <sstream>
#include <unordered_map>

#include "foundation/log.h"
#include "liveries/string_hash.h"

namespace {

// Not a secret: the scramble only keeps the registration data out of plain sight in the files.
constexpr std::string_view kScrambleKey = "Tavix/RegCodes-7Q";

std::unordered_map<std::string, DbaseRegEntry, TvxStringHash, std::equal_to<>> g_regcodes;
std::vector<std::string> g_prefixes;  // longest first

int lf_hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string lf_withoutDash(std::string_view registration)
{
    std::string out;
    out.reserve(registration.size());
    for (char c : registration)
        if (c != '-')
            out.push_back(c);
    return out;
}

}  // namespace

std::string gf_scrambleText(std::string_view plain)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(plain.size() * 2);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const auto b = static_cast<unsigned char>(plain[i] ^ kScrambleKey[i % kScrambleKey.size()]);
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    return out;
}

std::optional<std::string> gf_unscrambleText(std::string_view scrambled)
{
    if (scrambled.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    out.reserve(scrambled.size() / 2);
    for (std::size_t i = 0; i < scrambled.size(); i += 2) {
        const int hi = lf_hexDigit(scrambled[i]);
        const int lo = lf_hexDigit(scrambled[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        const char b = static_cast<char>((hi << 4) | lo);
        out.push_back(static_cast<char>(b ^ kScrambleKey[out.size() % kScrambleKey.size()]));
    }
    return out;
}

std::vector<std::string> gf_regcodeSpellings(std::string_view registration)
{
    std::vector<std::string> forms;
    const std::string bare = lf_withoutDash(registration);
    for (const std::string& prefix : g_prefixes) {
        if (bare.size() <= prefix.size() || bare.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string rest = bare.substr(prefix.size());
        forms.push_back(prefix + "-" + rest);
        forms.push_back(prefix + rest);
        break;
    }
    if (std::find(forms.begin(), forms.end(), registration) == forms.end())
        forms.emplace_back(registration);
    return forms;
}

bool gf_lookupRegcode(std::string_view form, DbaseRegEntry* entry)
{
    auto it = g_regcodes.find(form);
    if (it == g_regcodes.end())
        return false;
    if (entry)
        *entry = it->second;
    return true;
}

std::string gf_regcodeType(std::string_view registration)
{
    if (registration.empty())
        return {};
    DbaseRegEntry entry;
    for (const std::string& form : gf_regcodeSpellings(registration))
        if (gf_lookupRegcode(form, &entry))
            return entry.type;
    return {};
}

std::size_t gf_regcodeCount()
{
    return g_regcodes.size();
}

std::size_t gf_readRegistrations(const pugi::xml_node& registrations, std::string_view source)
{
    std::size_t taken = 0;
    std::size_t skipped = 0;
    for (const pugi::xml_node& r : registrations.children("r")) {
        const auto reg = gf_unscrambleText(r.attribute("k").as_string());
        const auto airline = gf_unscrambleText(r.attribute("a").as_string());
        const auto op = gf_unscrambleText(r.attribute("o").as_string());
        if (!reg || reg->empty() || !airline || !op) {
            ++skipped;
            continue;
        }
        DbaseRegEntry entry{*airline, r.attribute("t").as_string(), *op,
                            static_cast<std::uint8_t>(r.attribute("c").as_int() != 0 ? 1 : 0)};
        g_regcodes.insert_or_assign(*reg, std::move(entry));
        ++taken;
    }
    if (skipped > 0)
        gf_logError("registrations {}: {} malformed entries skipped", source, skipped);
    return taken;
}

std::size_t gf_loadRegcodePacks(const std::filesystem::path& folder)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return 0;
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
        if (item.is_regular_file(ec) && item.path().extension() == ".xml")
            files.push_back(item.path());
    }
    std::sort(files.begin(), files.end());
    std::size_t taken = 0;
    for (const auto& file : files) {
        pugi::xml_document doc;
        const pugi::xml_parse_result result = doc.load_file(file.c_str());
        if (!result) {
            gf_logError("registration pack {} not loaded: {} at offset {}", file.string(),
                        result.description(), result.offset);
            continue;
        }
        std::size_t fromFile = 0;
        for (const pugi::xpath_node& regs : doc.select_nodes("//registrations"))
            fromFile += gf_readRegistrations(regs.node(), file.filename().string());
        gf_log("Registration pack {}: {} entries", file.filename().string(), fromFile);
        taken += fromFile;
    }
    return taken;
}

void gf_setRegPrefixes(std::string_view blankSeparated)
{
    g_prefixes.clear();
    std::istringstream in{std::string(blankSeparated)};
    std::string prefix;
    while (in >> prefix)
        if (std::find(g_prefixes.begin(), g_prefixes.end(), prefix) == g_prefixes.end())
            g_prefixes.push_back(prefix);
    std::stable_sort(g_prefixes.begin(), g_prefixes.end(),
                     [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

const std::vector<std::string>& gf_regPrefixes()
{
    return g_prefixes;
}

void gf_clearRegcodes()
{
    g_regcodes.clear();
    g_prefixes.clear();
}
