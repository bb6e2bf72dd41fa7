// The settings table: every setting with its key, kind, default, limits and window control, and
// the values derived from them. The objects are built during static initialisation of this file
// (in this order, which is also the order of parameters.xml) and live as long as the program.
#include "foundation/settings.h"


std::atomic<bool> g_simIs2020{true};
std::atomic<std::uint32_t> g_rangeMeters{gf_rangeMetersOf(40)};
std::filesystem::path g_appFolder;

using C = ControlId;

// Check boxes; the row is the line in the window's check-box column.
CheckBoxParameter g_optMsfs2020("MSFS_2020", true, C::Msfs2020, 0, &g_simIs2020);
CheckBoxParameter g_optLog("LOG", true, C::Log, 1);
CheckBoxParameter g_optLightAircraft("LIGHT_AIRCRAFT", true, C::LightAircraft, 2);
CheckBoxParameter g_optHighPerfAircraft("HIGH_PERF_AIRCRAFT", true, C::HighPerfAircraft, 3);
CheckBoxParameter g_optHelicopters("HELICOPTERS", true, C::Helicopters, 4);
CheckBoxParameter g_optGuidChanges("GUID_CHANGES", true, C::GuidChanges, 5);
CheckBoxParameter g_optNavLightsWhileParked("NAV_LIGHTS_WHILE_PARKED", true, C::NavLightsWhileParked, 6);
CheckBoxParameter g_optStraightPbsOnly("STRAIGHT_PBS_ONLY", false, C::StraightPbsOnly, 7);
CheckBoxParameter g_optCollisionUserAir("COLLISION_USER_AIR", true, C::CollisionUserAir, 8);
CheckBoxParameter g_optCollisionUserGnd("COLLISION_USER_GND", true, C::CollisionUserGnd, 9);
CheckBoxParameter g_optCollisionLiveParkedGnd("COLLISION_LIVE_PARKED_GND", false, C::CollisionLiveParkedGnd, 10);
CheckBoxParameter g_optScanAirports("SCAN_AIRPORTS", true, C::ScanAirports, 11);
CheckBoxParameter g_optLearnSoft("LEARN_SOFT", true, C::LearnSoft, 12);
CheckBoxParameter g_optParkSoft("PARK_SOFT", true, C::ParkSoft, 13);
CheckBoxParameter g_optWeek("WEEK", false, C::Week, 14);
CheckBoxParameter g_optParkFake("PARK_FAKE", false, C::ParkFake, 15);
CheckBoxParameter g_optRtParktrafficOnly("RT_PARKTRAFFIC_ONLY", false, C::RtParktrafficOnly, 16);
CheckBoxParameter g_optInitialLoadOnly("INITIAL_LOAD_ONLY", false, C::InitialLoadOnly, 17);
CheckBoxParameter g_optCallsignObjectids("CALLSIGN_OBJECTIDS", false, C::CallsignObjectids, 18);
CheckBoxParameter g_optAutoRange("AUTO_RANGE", true, C::AutoRange, 19);

// Edit boxes; the row is the line in the window's edit-box column.
IntBoxParameter g_optParkingPercentage("parking_percentage", 30, 0, 100, C::ParkingPercentage, 0);
IntBoxParameter g_optAirportHeight("AIRPORT_HEIGHT", 18000, 2000, 45000, C::AirportHeight, 1);
IntBoxParameter g_optAirportRange("AIRPORT_RANGE", 20, 8, 30, C::AirportRange, 2);
IntBoxParameter g_optMaxLive("MAX_LIVE", -1, -1, 300, C::MaxLive, 3);
IntBoxParameter g_optCustomMaxPark("CUSTOM_MAX_PARK", -1, -1, 500, C::CustomMaxPark, 4);
IntBoxParameter g_optLateralRange("LATERAL_RANGE", 40, 2, 100, C::LateralRange, 5);
IntBoxParameter g_optMaxFit("MAX_FIT", 47, 0, 47, C::MaxFit, 6);
FloatBoxParameter g_optMaxFitFl("MAX_FIT_FL", 24.0, 0.5, 24.0, C::MaxFitFl, 7);
IntBoxParameter g_optTimeShiftHours("TIME_SHIFT_HOURS", 0, 0, 336, C::TimeShiftHours, 8);
TextBoxParameter g_optDestination("DESTINATION", "", C::Destination, 9);
TextBoxParameter g_optCallsign2Objectid("CALLSIGN_2_OBJECTID", "", C::Callsign2Objectid, 10);
TextBoxParameter g_optBlockCallsign("BLOCK_CALLSIGN", "", C::BlockCallsign, 11);

// Settings without a control.
IntParameter g_optCustomParkingPercentage("CUSTOM_PARKING_PERCENTAGE", -1, -1, 100);
IntParameter g_optHoldingThresholdMeters("HOLDING_THRESHOLD_METERS", 250, 10, 4000);
IntParameter g_optMaxHoldingMinutes("MAX_HOLDING_MINUTES", 20, 1, 60);
IntParameter g_optWindowX("WINDOW_X", 100, -32000, 32000);
IntParameter g_optWindowY("WINDOW_Y", 100, -32000, 32000);

// Buttons; the row is the line in the window's button column.
ButtonParameter g_btnFlushStatic("Flush static", C::FlushStatic, 0);
ButtonParameter g_btnRescanAirports("Rescan airports", C::RescanAirports, 1);
ButtonParameter g_btnRereadParkAirports("Re-read park airports", C::RereadParkAirports, 2);

// Meta block entries: the defaults are what this program writes.
StringParameter g_metaAuthor("author", "Tavix", false);
StringParameter g_metaVersion("version", "0.1.0", false);
StringParameter g_metaDate("date", "", false);
StringParameter g_metaCopyright("copyright", "Copyright (c) the Tavix authors", false);
StringParameter g_metaMsfs("MSFS", "2020", false);
