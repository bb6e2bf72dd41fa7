// aircraft.cfg parsing. Runs on the livery scan's worker threads; no shared state.
#include "liveries/aircraft_cfg.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "foundation/errors.h"
#include "foundation/text_file.h"

namespace {

// The value after '=': a quoted text up to its closing quote, or the text up to a ';' comment.
std::string_view lf_value(std::string_view raw)
{
    raw = gf_trim(raw);
    if (!raw.empty() && raw.front() == '"') {
        const std::size_t close = raw.find('"', 1);
        return close == std::string_view::npos ? raw.substr(1) : raw.substr(1, close - 1);
    }
    return gf_trim(raw.substr(0, raw.find(';')));
}

// Decodes the file to UTF-8 after its byte-order mark.
bool lf_decode(std::string_view bytes, std::string& text, std::string& error)
{
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const bool le = bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE;
    const bool be = bytes.size() >= 2 && byteAt(0) == 0xFE && byteAt(1) == 0xFF;
    if (!le && !be) {
        if (bytes.size() >= 3 && byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF)
            bytes.remove_prefix(3);
        text.assign(bytes);
        return true;
    }
    bytes.remove_prefix(2);
    if (bytes.size() % 2 != 0) {
        error = "UTF-16 file with an odd number of bytes";
        return false;
    }
    std::u16string wide(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        wide[i] = static_cast<char16_t>(le ? (b << 8) | a : (a << 8) | b);
    }
    try {
        text = win32::utf16ToUtf8(wide);
    } catch (const std::exception& e) {
        error = std::string("UTF-16 text not valid: ") + e.what();
        return false;
    }
    return true;
}

struct Section {
    enum Kind { Other, General, Variation, Fltsim } kind = Other;
};

Section::Kind lf_sectionKind(std::string_view name)
{
    const std::string lower = gf_lower(gf_trim(name));
    if (lower == "general")
        return Section::General;
    if (lower == "variation")
        return Section::Variation;
    if (lower.starts_with("fltsim."))
        return Section::Fltsim;
    return Section::Other;
}

struct PendingLivery {
    std::string title, icaoAirline, atcAirline, atcId;
    bool open = false;
};

// Ends the open [FLTSIM.n] section. Every value of the section is taken out of `p`, so the next
// section starts empty and never inherits this one's airline or ATC id.
void lf_finishLivery(PendingLivery& p, AircraftCfg& out)
{
    if (!p.open)
        return;
    PendingLivery done = std::exchange(p, PendingLivery{});
    if (done.title.empty())
        return;
    if (!gf_isValidUtf8(done.title)) {
        ++out.badTitles;
        return;
    }
    LiveryData l;
    l.airline = !done.icaoAirline.empty() ? done.icaoAirline : done.atcAirline;
    l.title = std::move(done.title);
    l.atcId = std::move(done.atcId);
    l.cargo = gf_isCargoTitle(l.title) ? 1 : 0;
    out.liveries.push_back(std::move(l));
}

}  // namespace

bool gf_isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= text.size())
            return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

bool gf_isCargoTitle(std::string_view title)
{
    const std::string lower = gf_lower(title);
    return lower.find("cargo") != std::string::npos || lower.find("freight") != std::string::npos;
}

std::string gf_typeFromAtcModel(std::string_view atcModel)
{
    std::string_view model = gf_trim(atcModel);
    const std::size_t text = model.find(".0.text");
    if (text == std::string_view::npos)
        return std::string(model);
    model = model.substr(0, text);
    const std::size_t cut = model.find_last_of(" _.:");
    return std::string(cut == std::string_view::npos ? model : model.substr(cut + 1));
}

bool gf_parseAircraftCfg(std::string_view bytes, AircraftCfg& out, std::string& error)
{
    out = AircraftCfg{};
    std::string text;
    if (!lf_decode(bytes, text, error))
        return false;
    Section::Kind kind = Section::Other;
    PendingLivery livery;
    std::string atcModel;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line = gf_trim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';' || line.starts_with("//"))
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos)
                continue;  // a broken section line: keep the current section
            lf_finishLivery(livery, out);
            kind = lf_sectionKind(line.substr(1, close - 1));
            livery.open = kind == Section::Fltsim;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || kind == Section::Other)
            continue;
        const std::string key = gf_lower(gf_trim(line.substr(0, eq)));
        const std::string_view value = lf_value(line.substr(eq + 1));
        switch (kind) {
        case Section::General:
            if (key == "icao_type_designator")
                out.acType = std::string(value);
            else if (key == "atc_model")
                atcModel = std::string(value);
            break;
        case Section::Variation:
            if (key == "base_container")
                out.baseContainer = std::string(value);
            break;
        case Section::Fltsim:
            if (key == "title")
                livery.title = std::string(value);
            else if (key == "icao_airline")
                livery.icaoAirline = std::string(value);
            else if (key == "atc_airline")
                livery.atcAirline = std::string(value);
            else if (key == "atc_id")
                livery.atcId = std::string(value);
            break;
        case Section::Other:
            break;
        }
    }
    lf_finishLivery(livery, out);
    if (out.acType.empty() && !atcModel.empty())
        out.acType = gf_typeFromAtcModel(atcModel);
    for (LiveryData& l : out.liveries)
        l.acType = out.acType;
    return true;
}
