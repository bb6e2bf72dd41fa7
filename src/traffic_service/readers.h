// The two reader threads of the traffic service and the session around them.
//
// Start-up logs in (gf_loginTrafficService), starts gf_weatherReader and gf_trafficReader as
// detached threads, and at exit stops them (gf_stopReaders) and logs out
// (gf_logoutTrafficService). Each reader loops its requests, sleeping the service's rate limit
// (2000 ms when none is given) between them. A reader that ends with an error (a refused
// licence) stops the other and shows the error on the error line.
//
// Threads: the readers run on their own detached threads; the other functions on the start-up
// and exit threads.
#pragma once

#include <chrono>

enum class ServiceLogin {
    LoggedIn,
    NotAnswering,  // the service did not answer: the readers log in with their first request
    Refused,       // no licence, the service refuses it (error line shown), or the program stops
};
// Reads the licence from RealTraffic.lic in g_appFolder (writing the template when missing)
// and logs in with g_trafficClient.
ServiceLogin gf_loginTrafficService();
void gf_logoutTrafficService();

// Thread bodies.
void gf_trafficReader();
void gf_weatherReader();

// Readers currently running (0, 1 or 2).
int gf_readersRunning();
// Asks both readers to stop and waits until they have ended, at most the given time. True when
// they ended. Clear the stop with g_trafficClient.resetStop() before starting them again.
bool gf_stopReaders(std::chrono::milliseconds wait);
// Waits, at most the given time, until no reader runs (without asking them to stop).
bool gf_waitReadersEnded(std::chrono::milliseconds wait);
