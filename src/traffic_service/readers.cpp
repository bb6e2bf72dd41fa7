// The reader threads and the login around them; see readers.h.
// Threads: gf_trafficReader and gf_weatherReader on their own threads; the rest on the start-up
// and exit threads. g_readersMutex (leaf lock) guards the running count.
#include "traffic_service/readers.h"

#include <condition_variable>
#include <exception>
#include <mutex>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "traffic_service/feed_sink.h"
#include "traffic_service/key_file.h"
#include "traffic_service/traffic_client.h"
#include "traffic_service/web_transport.h"

namespace {

std::mutex g_readersMutex;
std::condition_variable g_readersCv;
int g_running = 0;
bool g_fatalReported = false;  // guarded by g_readersMutex; one error line for both readers

// Ends the readers for good: the other reader is stopped and the error shown once.
void lf_reportFatal(const char* reader, const std::string& error)
{
    g_trafficClient.requestStop();
    {
        std::lock_guard lock(g_readersMutex);
        if (g_fatalReported)
            return;
        g_fatalReported = true;
    }
    gf_sinkSetErrorLine(tvx::format("traffic service: {}", error));
    gf_logError("{} ended: {}", reader, error);
}

template <typename Poll>
void lf_readerLoop(const char* name, Poll poll)
{
    {
        std::lock_guard lock(g_readersMutex);
        if (g_running++ == 0)
            g_fatalReported = false;
    }
    gf_log("{} started", name);
    {
        // Freed before the count below drops: whoever waits for the readers may then end libcurl.
        ThreadTransport transport;
        while (!g_trafficClient.stopRequested()) {
            try {
                poll();
            } catch (const std::exception& e) {
                gf_logError("{}: {}", name, e.what());
                g_trafficClient.sleepFor(g_trafficClient.rateLimit(RequestClass::Traffic));
            }
            if (const std::string error = g_trafficClient.fatalError(); !error.empty()) {
                lf_reportFatal(name, error);
                break;
            }
        }
    }
    gf_log("{} stopped", name);
    // Notified under the lock: a waiter that then ends the program cannot destroy the
    // condition variable while this thread still signals it.
    std::lock_guard lock(g_readersMutex);
    --g_running;
    g_readersCv.notify_all();
}

}  // namespace

ServiceLogin gf_loginTrafficService()
{
    std::string licence;
    try {
        gf_writeKeyFileTemplate(g_appFolder);
        licence = gf_readLicence(g_appFolder);
    } catch (const std::exception& e) {
        gf_sinkSetErrorLine(e.what());
        gf_logError("{}", e.what());
        return ServiceLogin::Refused;
    }
    g_trafficClient.setLicence(licence);
    if (g_trafficClient.login())
        return ServiceLogin::LoggedIn;
    if (const std::string error = g_trafficClient.fatalError(); !error.empty()) {
        gf_sinkSetErrorLine(tvx::format("traffic service: {}", error));
        return ServiceLogin::Refused;
    }
    return g_trafficClient.stopRequested() ? ServiceLogin::Refused : ServiceLogin::NotAnswering;
}

void gf_logoutTrafficService()
{
    // The stop flag that ended the readers aborts every transfer; once they have ended it must not
    // abort the logout as well.
    if (gf_readersRunning() == 0)
        g_trafficClient.resetStop();
    g_trafficClient.logout();
}

void gf_trafficReader()
{
    // The parked list the parking asked for goes first, in its own turn of the spacing.
    lf_readerLoop("gf_trafficReader", [] {
        if (!g_trafficClient.pollParkedTraffic())
            g_trafficClient.pollTraffic();
    });
}

void gf_weatherReader()
{
    lf_readerLoop("gf_weatherReader", [] { g_trafficClient.pollWeather(); });
}

int gf_readersRunning()
{
    std::lock_guard lock(g_readersMutex);
    return g_running;
}

bool gf_stopReaders(std::chrono::milliseconds wait)
{
    g_trafficClient.requestStop();
    return gf_waitReadersEnded(wait);
}

bool gf_waitReadersEnded(std::chrono::milliseconds wait)
{
    std::unique_lock lock(g_readersMutex);
    return g_readersCv.wait_for(lock, wait, [] { return g_running == 0; });
}
