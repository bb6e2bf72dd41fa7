// The ids of the main window's controls: one per check box, edit box and button. The settings
// table binds each window setting to its id; the window builds its controls from those ids and
// routes their notifications back by them. Plain constants, no thread concerns.
#pragma once

enum class ControlId : int {
    None = 0,

    // Check boxes, in the order of the window's check-box column.
    Msfs2020 = 1001,
    Log,
    LightAircraft,
    HighPerfAircraft,
    Helicopters,
    GuidChanges,
    NavLightsWhileParked,
    StraightPbsOnly,
    CollisionUserAir,
    CollisionUserGnd,
    CollisionLiveParkedGnd,
    ScanAirports,
    LearnSoft,
    ParkSoft,
    Week,
    ParkFake,
    RtParktrafficOnly,
    InitialLoadOnly,
    CallsignObjectids,
    AutoRange,

    // Edit boxes, in the order of the window's edit-box column.
    ParkingPercentage = 1101,
    AirportHeight,
    AirportRange,
    MaxLive,
    CustomMaxPark,
    LateralRange,
    MaxFit,
    MaxFitFl,
    TimeShiftHours,
    Destination,
    Callsign2Objectid,
    BlockCallsign,

    // Buttons.
    FlushStatic = 1201,
    RescanAirports,
    RereadParkAirports,
};
