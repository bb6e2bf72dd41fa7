// The records of the traffic feed: the identity head every aircraft record begins with, the
// position part that a live aircraft's stream is made of, one live aircraft of the feed and one
// parked aircraft of the parked-traffic reply. Built by the reader threads, handed to the main
// loop whole.
#pragma once

#include <cstdint>
#include <string>

// Identity head of every aircraft record.
struct FlightRecord {
    std::string airline;           // airline code (ICAO, three letters)
    std::string acType;            // ICAO aircraft type designator
    std::string origin;            // flight plan DepartureID
    std::string destination;       // flight plan DestinationID
    std::string callsign;
    std::string coupledCallsign1;  // first coupled callsign (a live aircraft: its own callsign)
    std::string coupledCallsign2;  // second coupled callsign
    std::string registration;
    std::uint64_t value64 = 0;     // set to 0 by the live creation
};

// One position of a live aircraft: the position part of a TrafficRecord, taken over whole.
struct PosRecord {
    double lat = 0.0;          // degrees
    double lon = 0.0;          // degrees
    double bank = 0.0;         // radians (the feed's roll)
    std::uint8_t bankValid = 0;
    double heading = 0.0;      // radians, true heading
    std::uint8_t headingValid = 0;
    double alt = 0.0;          // feet, QNH-corrected
    double speed = 0.0;        // knots, ground speed
    double track = 0.0;        // degrees (the heading in degrees when the true heading is not valid)
    double vertRate = 0.0;     // feet per minute
    double tas = 0.0;          // knots, true airspeed
    std::int32_t slot = 0;     // play-out tick (value of g_tick at which the record is due)
    std::uint8_t airborne = 0;
    std::uint8_t stop = 0;     // the program's own mark: a stop (speed 0, same position)
    std::uint8_t flag3 = 0;    // third feed flag, required with both valid bytes for the heading
};

// One live aircraft of the traffic feed.
struct TrafficRecord : FlightRecord {
    PosRecord pos;
    double time = 0.0;          // feed time, seconds (Unix epoch)
    std::uint32_t hexid = 0;    // 24-bit ICAO address
};

// One parked aircraft of the parked-traffic reply.
struct ParkedTrafficRecord : FlightRecord {
    double lat = 0.0;
    double lon = 0.0;
    std::uint32_t hexid = 0;
    std::uint32_t halfHourOffset = 0;  // half-hours since it parked, relative to now, wrapped with +48
    std::string standName;             // stand found for its position
};
