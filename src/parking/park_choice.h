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
#include <string>

#include "frame/window_model.h"
#include "model/airport_list.h"
#include "parking/park_read.h"
#include "simulator/sim_ids.h"
#include "simulator/user_aircraft.h"


// The user position at the last distance update.
extern LatLon g_lastUserPosition;
// The park airport's parking data is to be (re)loaded by the next main check.
extern bool g_reloadParkFile;
// The park airport's stands are read and its first plan waits for the service's parked list, which
// the traffic reader fetches meanwhile: the next main check or adjustment turn builds it.
extern bool g_staticPlanWaiting;
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
// A DESTINATION entered in the window: added with the airport list's position, or "airport {} is
// unknown" on the status line (an airport outside the list cannot become a park airport).
void gf_addParkAirportByCode(const std::string& code);
// Re-reads the park-airport list and (checkStand) takes over a changed reserved stand.
bool gf_checkReservedStands(bool checkStand, std::string& message);
// The stand the user stood on when the simulator thread last looked (flight loaded, new file, the
// thread's end), written into the park-airport list when it is the park airport's.
void gf_takeUserStandIntoParkList();
// What the automatic range needs: the user aircraft's ground state and height and the park
// airport's distance (atomics only; window thread and main loop).
AutoRangeInput gf_autoRangeInput();
// Loads the park airport's parking data; empty on success, else the error text to show.
std::string lf_readParkedFile();

// Tests: the user aircraft's state and on-ground flags the choice reads instead of gf_userAc,
// g_userOnGround and g_userOnGroundKnown; read at each use, so the test may change it. nullptr
// restores the real ones.
struct ChoiceUser {
    UserAcState state;
    bool onGround = false;
    bool onGroundKnown = false;
};
void lf_setChoiceUser(const ChoiceUser* user);
