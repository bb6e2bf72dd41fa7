// parameters.xml: the input is the settings file in the program's folder, loaded by
// gf_loadSettings as the start-up loads it (a damaged file set aside as parameters.xml.corrupt,
// the defaults used and saved). Checked after each file: every setting within its limits, the
// user's bytes kept (in place or set aside whole), the file written back loads again to the same
// values, nothing written outside the program's folder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "fuzz_support.h"

namespace {

std::string lf_read(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lf_values()
{
    std::vector<std::string> out;
    for (const Parameter* p : gf_allParameters())
        out.push_back(p->stored() ? p->valueText() : std::string());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& work = tvxfuzz::gf_workFolder();
    tvxfuzz::gf_emptyFolder(g_appFolder);
    const std::string input(tvxfuzz::gf_text(data, size));
    tvxfuzz::gf_writeBytes(gf_settingsPath(), input);
    const auto before = tvxfuzz::gf_filesBelow(work);
    gf_resetSettingsStore();
    gf_loadSettings();
    tvxfuzz::gf_checkWrittenOnlyBelow(before, g_appFolder);
    for (const Parameter* p : gf_allParameters()) {
        if (const auto* i = dynamic_cast<const IntParameter*>(p))
            tvxfuzz::gf_check(i->value() >= i->minimum() && i->value() <= i->maximum(), "a whole number outside its limits");
        if (const auto* f = dynamic_cast<const FloatBoxParameter*>(p))
            tvxfuzz::gf_check(f->value() >= f->minimum() && f->value() <= f->maximum(), "a decimal outside its limits");
    }
    const auto aside = std::filesystem::path(gf_settingsPath().string() + ".corrupt");
    const bool setAside = std::filesystem::exists(aside);
    tvxfuzz::gf_check(!setAside || lf_read(aside) == input, "the damaged file not kept whole");
    tvxfuzz::gf_check(setAside || lf_read(gf_settingsPath()).size() >= 1, "the settings file lost");
    // What was written back reads again to the same values, with nothing to change.
    const std::vector<std::string> loaded = lf_values();
    const std::string written = lf_read(gf_settingsPath());
    gf_resetSettingsStore();
    gf_loadSettings();
    const std::vector<std::string> reloaded = lf_values();
    for (std::size_t i = 0; i < loaded.size(); ++i)
        if (reloaded[i] != loaded[i])
            std::fprintf(stderr, "%s: %s, then %s\n", gf_allParameters()[i]->key().c_str(), loaded[i].c_str(),
                         reloaded[i].c_str());
    tvxfuzz::gf_check(reloaded == loaded, "the settings written back load to other values");
    tvxfuzz::gf_check(setAside || lf_read(gf_settingsPath()) == written, "the settings written back changed on a second load");
    return 0;
}
