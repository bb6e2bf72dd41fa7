// The park-airport choice: which airport's stands are filled with parked traffic. While the user
// flies or taxies it keeps the park-airport list's distances up to date, takes the airport on which
// the user stands or the nearest listed airport that comes in sight (within AIRPORT_RANGE nm and
// AIRPORT_HEIGHT ft above ground), loads its parking data and starts the static parking plan, and
// leaves the airport when it goes out of sight or a nearer listed airport comes in sight. Also adds
// a new DESTINATION to the list and keeps the reserved stand in step with my_park_airports.txt.
//
// Thread: the main loop owns everything here. The window thread reads g_parkAirportDistanceNm.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "model/airport_list.h"
#include "parking/park_read.h"
#include "simulator/sim_ids.h"
#include "simulator/user_aircraft.h"


// The user position at the last distance update.
extern LatLon g_lastUserPosition;
// The park airport's parking data is to be (re)loaded by the next main check.
extern bool g_reloadParkFile;
// The loaded parking file allows learning soft stands.
extern bool g_learnSoftAllowed;
// Header of the loaded parking file (airport name, publisher, altitude).
extern ApfHeader g_apfHeader;
// Distance of the park airport from the user (nm), -1 when none is set; for the automatic range.
extern std::atomic<double> g_parkAirportDistanceNm;

// The entry point, every 16 s (and once with immediate at the start of the main loop).
void gf_checkForParkAirportUpdates(bool immediate);
// Choice while no park airport is set.
void lf_chooseParkAirport(double lat, double lon, bool immediate);
// Check while a park airport is set.
void lf_checkParkAirportInSight(double lat, double lon);
// Makes the airport of the list with that code the park airport; false (nothing changed) when the
// airport list does not hold it.
bool gf_setParkAirport(const std::string& code);
// Loads at once (immediate) or marks the load for the next main check.
void lf_loadParkAirport(bool immediate);
// Controls busy, history buffers asked for, and (show) the status line.
void lf_startStaticCalculation(bool show);
// A new DESTINATION: moved or put at the front of the list (and into my_park_airports.txt).
void gf_addParkAirport(const std::string& code, double lat, double lon);
// Re-reads the park-airport list and (checkStand) takes over a changed reserved stand.
bool gf_checkReservedStands(bool checkStand, std::string& message);
// Loads the park airport's parking data; empty on success, else the error text to show.
std::string lf_readParkedFile();

// Test hook: where the choice takes the user aircraft's state and on-ground flags from (default:
// gf_userAc, g_userOnGround, g_userOnGroundKnown). An empty function restores the default.
struct ChoiceUser {
    UserAcState state;
    bool onGround = false;
    bool onGroundKnown = false;
};
void lf_setChoiceUserSource(std::function<ChoiceUser()> source);
