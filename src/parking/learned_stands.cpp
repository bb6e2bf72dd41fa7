// Learned stands: merging the learned file into the park airport's stands, taking back its
// settings, and the offline-learning test of a stock file. See learned_stands.h.
//
// A learned file is a parking file whose parkpos elements name a stand of the parking file by its
// id and carry what changed:
//   <parkpos id="A1" radius_change="true" radius="41.0"><opt reg="" airl="ICE" ... /></parkpos>
//   <parkpos id="X9" latitude="..." longitude="..." radius="20.0" manual="true" .../>  (made by hand)
// With the parameter handmade (whatever its value) the file's stands replace all stands.
//
// Thread: the main loop (lf_readLearned); the start-up thread (gf_suitableForOfflineLearning).
#include "parking/learned_stands.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/position_text.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "foundation/text_file.h"
#include "foundation/time_slots.h"
#include "foundation/units.h"
#include "frame/status.h"
#include "frame/window_model.h"
#include "liveries/aircraft_db.h"
#include "parking/park_choice.h"
#include "parking/parking_file.h"
#include "win32/win_api.h"

namespace {

namespace fs = std::filesystem;


void lf_logSetting(std::string_view key, const std::string& value)
{
    gf_logIndented(tvx::format("{:24}: {}", key, value));
}

void lf_enableControl(const GuiControl& control, bool enable)
{
    EnableWindow(GetDlgItem(g_hWnd, control.controlId()), enable ? TRUE : FALSE);
}

// A check-box setting taken from the learned file: value in memory, box shows it, logged.
// Returns the value read, empty when the file has no such parameter.
std::optional<bool> lf_takeBool(const pugi::xml_document& doc, CheckBoxParameter& setting)
{
    const std::optional<bool> value = gf_readBoolParameter(doc, setting.key());
    if (!value)
        return std::nullopt;
    setting.set(*value);
    CheckDlgButton(g_hWnd, setting.controlId(), *value ? BST_CHECKED : BST_UNCHECKED);
    lf_logSetting(setting.key(), *value ? "true" : "false");
    return value;
}

// Settings of the learned file, in their fixed order.
void lf_takeSettings(const pugi::xml_document& doc)
{
    lf_takeBool(doc, g_optLearnSoft);

    if (const std::optional<std::int32_t> maxLive = gf_readIntParameter(doc, g_optMaxLive.key())) {
        g_optMaxLive.setClamped(*maxLive);
        gf_showIntOption(g_optMaxLive);
        lf_logSetting(g_optMaxLive.key(), tvx::format("{}", g_optMaxLive.value()));
    } else {
        g_optMaxLive.set(-1);
        gf_showIntOption(g_optMaxLive);
    }

    if (const std::optional<std::int32_t> range = gf_readIntParameter(doc, g_optLateralRange.key())) {
        gf_setLateralRange(*range);
        lf_enableControl(g_optLateralRange, true);
        gf_updatePainted([](PaintedValues& p) { p.lateralRangeEnabled = true; });
        gf_showIntOption(g_optLateralRange);
        lf_logSetting(g_optLateralRange.key(), tvx::format("{}", g_optLateralRange.value()));
    }

    if (const std::optional<bool> autoRange = lf_takeBool(doc, g_optAutoRange)) {
        const bool on = *autoRange;
        if (on) {
            g_manualLateralRange = g_optLateralRange.value();
            gf_updateAutoRange(gf_autoRangeInput());
        } else {
            gf_setLateralRange(g_manualLateralRange);
            gf_clearStatusLine();
        }
        lf_enableControl(g_optLateralRange, !on);
        gf_updatePainted([on](PaintedValues& p) { p.lateralRangeEnabled = !on; });
        gf_showIntOption(g_optLateralRange);
        g_autoRangeGround.store(on && g_rangeNm.load() == 10.0);
    }

    lf_takeBool(doc, g_optParkFake);
    lf_takeBool(doc, g_optWeek);
    lf_takeBool(doc, g_optParkSoft);

    // A percentage outside 0..100 in a damaged file is limited to the setting's range.
    if (const std::optional<std::int32_t> percentage = gf_readIntParameter(doc, g_optParkingPercentage.key())) {
        g_optParkingPercentage.setClamped(*percentage);
        lf_logSetting(g_optParkingPercentage.key(), tvx::format("{}", g_optParkingPercentage.value()));
    } else {
        g_optParkingPercentage.set(30);
    }
    gf_showIntOption(g_optParkingPercentage);

    lf_takeBool(doc, g_optInitialLoadOnly);

    if (const std::optional<std::int32_t> maxFit = gf_readIntParameter(doc, g_optMaxFit.key())) {
        const std::int32_t halfHours = g_optMaxFit.setClamped(*maxFit);
        const double hours = halfHours * 0.5 + 0.5;
        g_optMaxFitFl.set(hours);
        gf_showIntOption(g_optMaxFit);
        gf_showFloatOption(g_optMaxFitFl);
        gf_logIndented(tvx::format("{:24}: {} (max number of half hours, is {} hrs decimal)", g_optMaxFit.key(),
                                   halfHours, gf_numberText(hours)));
    }

    lf_takeBool(doc, g_optRtParktrafficOnly);
}

// A hand-made learned file: its stands replace all stands of the parking file.
void lf_replaceStands(const pugi::xml_document& doc)
{
    g_handmadeOverruled.store(true);
    g_parkPositions.clear();
    gf_readParkPositions(doc, 1);
}

// A learned file that adds to the parking file's stands.
void lf_mergeStands(const pugi::xml_document& doc, const std::string& learnedPath)
{
    g_handmadeOverruled.store(false);
    const pugi::xml_node parkpositions = doc.child("parkpositions");
    if (!parkpositions)
        return;
    for (const pugi::xml_node parkpos : parkpositions.children("parkpos")) {
        const std::string name = parkpos.attribute("id").as_string();
        if (parkpos.attribute("manual").as_bool()) {
            const bool exists = std::any_of(g_parkPositions.begin(), g_parkPositions.end(),
                                            [&name](const ParkPos& stand) { return stand.name == name; });
            if (exists) {
                gf_logError("manually created standid {} already exists in {}", name, learnedPath);
                continue;
            }
            const double lat = gf_xmlAttributeAsDouble(parkpos, "latitude");
            const double lon = gf_xmlAttributeAsDouble(parkpos, "longitude");
            const double radius = gf_xmlAttributeAsDouble(parkpos, "radius");
            if (!gf_isPositionSet(lat, lon) || radius == 0.0) {
                gf_logError("manually created standid {} misses correct attributes in {}", name, learnedPath);
                continue;
            }
            gf_readParkPos(parkpos, name, 0);
            g_parkPositions.back().manual = true;
            continue;
        }
        bool merged = false;
        for (ParkPos& stand : g_parkPositions) {
            if (lf_mergeLearnedStand(name, parkpos, stand)) {
                merged = true;
                break;
            }
        }
        if (!merged)
            gf_log("learned stand {} in {} not found?", name, learnedPath);
    }
}

}  // namespace

bool lf_sameOption(const ParkPosOption& a, const ParkPosOption& b)
{
    return a.weekday == b.weekday && a.real == b.real && a.registration == b.registration &&
           a.airline == b.airline && a.type == b.type && (a.slots & b.slots).any();
}

bool lf_mergeLearnedStand(const std::string& name, const pugi::xml_node& parkpos, ParkPos& stand)
{
    if (stand.name != name)
        return false;
    if (parkpos.attribute("radius_change").as_bool()) {
        stand.radius = gf_xmlAttributeAsDouble(parkpos, "radius") * kNmPerMetre;
        stand.radiusChange = true;
    }
    if (parkpos.attribute("cargo_change").as_bool()) {
        stand.cargo = parkpos.attribute("cargo").as_bool();
        stand.cargoChange = true;
    }
    std::uint32_t next = stand.options.empty() ? 1 : stand.options.back().number + 1;
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        ParkPosOption option = gf_readOpt(opt, next, 0);
        const bool known = std::any_of(stand.options.begin(), stand.options.end(),
                                       [&option](const ParkPosOption& existing) { return lf_sameOption(existing, option); });
        if (known)
            continue;
        stand.options.push_back(std::move(option));
        ++next;
    }
    return true;
}

void lf_readLearned(const std::string& learnedPath, const ApfHeader& header)
{
    try {
        const fs::path native = gf_apfNativePath(learnedPath);
        pugi::xml_document doc;
        const pugi::xml_parse_result loaded = doc.load_file(native.c_str());
        if (!loaded) {
            // Keep the damaged file for the user and go on with the parking file's stands alone.
            const std::size_t dot = learnedPath.rfind('.');
            if (dot != std::string::npos && fs::exists(native)) {
                const std::string copyText = learnedPath.substr(0, dot) + "0" + learnedPath.substr(dot);
                fs::copy_file(native, gf_apfNativePath(copyText), fs::copy_options::overwrite_existing);
            }
            gf_log("{} found, but could not be loaded, saved as *.0.xml: {}", learnedPath, loaded.description());
            return;
        }
        gf_log("Read from learned airport file: \"{}\"", learnedPath);
        if (!gf_checkMetaData(doc))
            return;

        const std::string learnedName = gf_readStringParameter(doc, "airport_name").value_or(std::string());
        if (learnedName != header.airportName)
            gf_setStatusLine(tvx::format("Warning: learned file airport name: \"{}\" differs from archived file "
                                         "airport name: \"{}\"",
                                         learnedName, header.airportName),
                             true);

        lf_takeSettings(doc);

        if (const std::optional<std::string> handmade = gf_readStringParameter(doc, "handmade")) {
            lf_replaceStands(doc);
            lf_logSetting("handmade", *handmade);
        } else {
            lf_mergeStands(doc, learnedPath);
        }
    } catch (const std::exception& e) {
        gf_log("{}: {}", "lf_readLearned", e.what());
    }
}

bool gf_suitableForOfflineLearning(const std::string& code)
{
    const fs::path target = code + ".xml";
    const bool downloaded = gf_downloadStockApf(code, target);

    pugi::xml_document doc;
    if (!downloaded || !doc.load_file(target.c_str())) {
        if (fs::exists(target))
            fs::remove(target);
        gf_logError("{} Not suitable for offline learning", code);
        return false;
    }
    if (fs::exists(target))
        fs::remove(target);

    const std::int32_t real = gf_readIntParameter(doc, "Qf_real").value_or(-1);
    const std::int32_t soft = gf_readIntParameter(doc, "Qf_soft").value_or(-1);
    if (real < 0 && soft < 0)
        return false;
    // WEEK below 18 marks a stock file learned from too short a span of traffic.
    const std::optional<std::int32_t> week = gf_readIntParameter(doc, "WEEK");
    return !(week && *week >= 0 && *week <= 17);
}
