// The program's settings: one global object per key of parameters.xml, each with its default,
// limits and current value, and the window control it is bound to. The objects live as long as
// the program and register themselves in one list that the store (settings_store.h) walks.
//
// Threads: current values are read from any thread (atomics; strings under a per-setting mutex).
// They are written by the window thread (user edits), the start-up thread (loading, the scans)
// and the main loop (learned parking files). save() writes parameters.xml under the store's own
// mutex and may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/control_ids.h"
#include "win32/win_types.h"

namespace pugi {
class xml_document;
}

class GuiControl;

// A setting: its key in parameters.xml. The kinds below keep default, limits and current value.
class Parameter {
public:
    explicit Parameter(std::string key, bool stored = true);
    virtual ~Parameter() = default;
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    const std::string& key() const { return m_key; }
    // False for settings that are not kept in the parameters element (buttons, meta values).
    bool stored() const { return m_stored; }

    // The current value as parameters.xml holds it ("true"/"false", decimal, text).
    virtual std::string valueText() const = 0;
    // Takes a value read from parameters.xml. Returns an empty text when taken as it is, else
    // what was done about it (not a number: the default; outside the limits: clamped).
    virtual std::string loadText(std::string_view text) = 0;
    virtual void resetToDefault() = 0;
    virtual GuiControl* control() { return nullptr; }

    // Writes the current value into parameters.xml now. False when the file cannot be written.
    bool save() const;

private:
    const std::string m_key;
    const bool m_stored;
};

// Every setting, in the order of definition.
const std::vector<Parameter*>& gf_allParameters();
// The setting with the key, or nullptr.
Parameter* gf_findParameter(std::string_view key);

class StringParameter : public Parameter {
public:
    StringParameter(std::string key, std::string defaultValue, bool stored = true);

    std::string value() const;
    void set(std::string value);
    const std::string& defaultValue() const { return m_default; }

    std::string valueText() const override { return value(); }
    std::string loadText(std::string_view text) override;
    void resetToDefault() override { set(m_default); }

    // Appends <parameter name="key" value="value"/> under the top-level parameters element of
    // the document (creating that element when missing). False when the document refuses it.
    static bool addNode(pugi::xml_document& doc, std::string_view key, std::string_view value);

private:
    const std::string m_default;
    mutable std::mutex m_mutex;  // guards m_value only
    std::string m_value;
};

class IntParameter : public Parameter {
public:
    IntParameter(std::string key, std::int32_t defaultValue, std::int32_t minimum, std::int32_t maximum,
                 bool stored = true);

    std::int32_t value() const { return m_value.load(); }
    // Stores the value when it lies within the limits; false (and nothing changed) otherwise.
    bool set(std::int32_t value);
    // Stores the value limited to [minimum, maximum]; returns what was stored.
    std::int32_t setClamped(std::int64_t value);
    std::int32_t defaultValue() const { return m_default; }
    std::int32_t minimum() const { return m_minimum; }
    std::int32_t maximum() const { return m_maximum; }

    std::string valueText() const override;
    std::string loadText(std::string_view text) override;
    void resetToDefault() override { m_value.store(m_default); }

    // Appends <parameter name="key" value="decimal"/> under the top-level parameters element.
    static bool addNode(pugi::xml_document& doc, std::string_view key, std::int32_t value);

private:
    const std::int32_t m_default;
    const std::int32_t m_minimum;
    const std::int32_t m_maximum;
    std::atomic<std::int32_t> m_value;
};

class BoolParameter : public Parameter {
public:
    // mirror, when given, follows the current value (g_simIs2020 follows MSFS_2020).
    BoolParameter(std::string key, bool defaultValue, std::atomic<bool>* mirror = nullptr);

    bool value() const { return m_value.load(); }
    void set(bool value);
    bool defaultValue() const { return m_default; }
    bool minimum() const { return false; }
    bool maximum() const { return true; }

    std::string valueText() const override { return value() ? "true" : "false"; }
    std::string loadText(std::string_view text) override;
    void resetToDefault() override { set(m_default); }

    // Sets value="true"/"false" of the parameter element of the key, appending it when missing.
    static bool setNode(pugi::xml_document& doc, std::string_view key, bool value);

private:
    const bool m_default;
    std::atomic<bool> m_value;
    std::atomic<bool>* const m_mirror;
};

// The window control a setting is bound to: its id, its row and, once created, its handle.
class GuiControl {
public:
    GuiControl(ControlId id, int row) : m_id(id), m_row(row) {}
    virtual ~GuiControl() = default;

    ControlId id() const { return m_id; }
    int controlId() const { return static_cast<int>(m_id); }
    // The control's line within its column of the window.
    int row() const { return m_row; }
    HWND hwnd() const { return m_hwnd.load(); }
    void setHwnd(HWND hwnd) { m_hwnd.store(hwnd); }

private:
    const ControlId m_id;
    const int m_row;
    std::atomic<HWND> m_hwnd{nullptr};
};

class CheckBoxParameter : public BoolParameter, public GuiControl {
public:
    CheckBoxParameter(std::string key, bool defaultValue, ControlId id, int row,
                      std::atomic<bool>* mirror = nullptr)
        : BoolParameter(std::move(key), defaultValue, mirror), GuiControl(id, row)
    {
    }
    GuiControl* control() override { return this; }
};

class IntBoxParameter : public IntParameter, public GuiControl {
public:
    IntBoxParameter(std::string key, std::int32_t defaultValue, std::int32_t minimum, std::int32_t maximum,
                    ControlId id, int row)
        : IntParameter(std::move(key), defaultValue, minimum, maximum), GuiControl(id, row)
    {
    }
    GuiControl* control() override { return this; }
};

// A decimal setting; the only one (MAX_FIT_FL) has an edit box.
class FloatBoxParameter : public Parameter, public GuiControl {
public:
    FloatBoxParameter(std::string key, double defaultValue, double minimum, double maximum, ControlId id,
                      int row);

    double value() const { return m_value.load(); }
    bool set(double value);            // within the limits, else false and unchanged
    double setClamped(double value);   // limited to [minimum, maximum]; NaN gives the default
    double defaultValue() const { return m_default; }
    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }

    std::string valueText() const override;
    std::string loadText(std::string_view text) override;
    void resetToDefault() override { m_value.store(m_default); }
    GuiControl* control() override { return this; }

private:
    const double m_default;
    const double m_minimum;
    const double m_maximum;
    std::atomic<double> m_value;
};

class TextBoxParameter : public StringParameter, public GuiControl {
public:
    TextBoxParameter(std::string key, std::string defaultValue, ControlId id, int row)
        : StringParameter(std::move(key), std::move(defaultValue)), GuiControl(id, row)
    {
    }
    GuiControl* control() override { return this; }
};

// A button of the window. Its key is its label; it has no value and is not stored.
class ButtonParameter : public Parameter, public GuiControl {
public:
    ButtonParameter(std::string label, ControlId id, int row)
        : Parameter(std::move(label), false), GuiControl(id, row)
    {
    }
    const std::string& label() const { return key(); }

    std::string valueText() const override { return {}; }
    std::string loadText(std::string_view) override { return {}; }
    void resetToDefault() override {}
    GuiControl* control() override { return this; }
};

// ---- The settings table ------------------------------------------------------------------

// Check boxes.
extern CheckBoxParameter g_optMsfs2020;              // MSFS_2020, on: 2020, off: 2024
extern CheckBoxParameter g_optLog;                   // LOG, extra log lines
extern CheckBoxParameter g_optLightAircraft;         // LIGHT_AIRCRAFT
extern CheckBoxParameter g_optHighPerfAircraft;      // HIGH_PERF_AIRCRAFT
extern CheckBoxParameter g_optHelicopters;           // HELICOPTERS
extern CheckBoxParameter g_optGuidChanges;           // GUID_CHANGES
extern CheckBoxParameter g_optNavLightsWhileParked;  // NAV_LIGHTS_WHILE_PARKED
extern CheckBoxParameter g_optStraightPbsOnly;       // STRAIGHT_PBS_ONLY
extern CheckBoxParameter g_optCollisionUserAir;      // COLLISION_USER_AIR
extern CheckBoxParameter g_optCollisionUserGnd;      // COLLISION_USER_GND
extern CheckBoxParameter g_optCollisionLiveParkedGnd;  // COLLISION_LIVE_PARKED_GND
extern CheckBoxParameter g_optScanAirports;          // SCAN_AIRPORTS
extern CheckBoxParameter g_optLearnSoft;             // LEARN_SOFT
extern CheckBoxParameter g_optParkSoft;              // PARK_SOFT
extern CheckBoxParameter g_optWeek;                  // WEEK
extern CheckBoxParameter g_optParkFake;              // PARK_FAKE
extern CheckBoxParameter g_optRtParktrafficOnly;     // RT_PARKTRAFFIC_ONLY
extern CheckBoxParameter g_optInitialLoadOnly;       // INITIAL_LOAD_ONLY
extern CheckBoxParameter g_optCallsignObjectids;     // CALLSIGN_OBJECTIDS
extern CheckBoxParameter g_optAutoRange;             // AUTO_RANGE

// Whole numbers with an edit box.
extern IntBoxParameter g_optParkingPercentage;       // parking_percentage 30, 0..100
extern IntBoxParameter g_optAirportHeight;           // AIRPORT_HEIGHT 18000 ft, 2000..45000
extern IntBoxParameter g_optAirportRange;            // AIRPORT_RANGE 20 nm, 8..30
extern IntBoxParameter g_optMaxLive;                 // MAX_LIVE -1, -1..300 (-1 = no limit)
extern IntBoxParameter g_optCustomMaxPark;           // CUSTOM_MAX_PARK -1, -1..500 (-1 = no limit)
extern IntBoxParameter g_optLateralRange;            // LATERAL_RANGE 40 nm, 2..100
extern IntBoxParameter g_optMaxFit;                  // MAX_FIT 47 half-hours, 0..47
extern IntBoxParameter g_optTimeShiftHours;          // TIME_SHIFT_HOURS 0, 0..336 (14 days back)

// Decimal number with an edit box.
extern FloatBoxParameter g_optMaxFitFl;              // MAX_FIT_FL 24.0 hours, 0.5..24.0

// Whole numbers without a control.
extern IntParameter g_optCustomParkingPercentage;    // CUSTOM_PARKING_PERCENTAGE -1, -1..100
extern IntParameter g_optHoldingThresholdMeters;     // HOLDING_THRESHOLD_METERS 250, 10..4000
extern IntParameter g_optMaxHoldingMinutes;          // MAX_HOLDING_MINUTES 20, 1..60
extern IntParameter g_optWindowX;                    // WINDOW_X, the window's left edge at exit
extern IntParameter g_optWindowY;                    // WINDOW_Y, the window's top edge at exit

// Texts with an edit box.
extern TextBoxParameter g_optDestination;            // DESTINATION
extern TextBoxParameter g_optCallsign2Objectid;      // CALLSIGN_2_OBJECTID
extern TextBoxParameter g_optBlockCallsign;          // BLOCK_CALLSIGN

// Buttons (not stored).
extern ButtonParameter g_btnFlushStatic;             // "Flush static"
extern ButtonParameter g_btnRescanAirports;          // "Rescan airports"
extern ButtonParameter g_btnRereadParkAirports;      // "Re-read park airports"

// The meta block of the program's XML files (author, version, date, copyright, MSFS). Not stored
// as parameters. The defaults are this program's own entries, which gf_addMetaData writes; the
// current values are those last read by gf_checkMetaData.
extern StringParameter g_metaAuthor;
extern StringParameter g_metaVersion;
extern StringParameter g_metaDate;
extern StringParameter g_metaCopyright;
extern StringParameter g_metaMsfs;

// ---- Values derived from the settings ----------------------------------------------------

// Current value of MSFS_2020: true for the 2020 simulator, false for 2024.
extern std::atomic<bool> g_simIs2020;
// Lateral range of the traffic query in metres: LATERAL_RANGE nm × 1852 + 10000.
extern std::atomic<std::uint32_t> g_rangeMeters;
constexpr std::uint32_t gf_rangeMetersOf(std::int32_t nauticalMiles)
{
    return static_cast<std::uint32_t>(nauticalMiles) * 1852u + 10000u;
}
// The program's folder under the user's roaming application-data folder. Set once at start-up
// (gf_initAppFolder) before other threads start; read-only afterwards.
extern std::filesystem::path g_appFolder;
// Sets g_appFolder to <roaming application-data folder>/Tavix (SHGetFolderPathW; off Windows
// TAVIX_ROAMING_DIR or the XDG folder) and creates it. False (logged) when it cannot.
bool gf_initAppFolder();
