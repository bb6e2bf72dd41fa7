// The client's calls into its neighbours and the query values they set; see feed_sink.h.
// Threads: the calls are read by the readers after start-up has set them; the values are guarded.
#include "traffic_service/feed_sink.h"

#include <atomic>
#include <cmath>
#include <mutex>

#include "foundation/log.h"
#include "foundation/position_text.h"
#include "frame/window_model.h"

namespace {

TrafficFeedSink g_sink;

std::mutex g_queryMutex;  // guards g_queryPosition; leaf lock
QueryPosition g_queryPosition;
std::atomic<double> g_queryRangeNm{-1.0};

std::atomic<bool> g_batchDropLogged{false};
std::atomic<bool> g_eventDropLogged{false};

}  // namespace

TrafficFeedSink& gf_feedSink() { return g_sink; }

void gf_resetFeedSink()
{
    g_sink = TrafficFeedSink{};
    g_batchDropLogged = false;
    g_eventDropLogged = false;
}

void gf_sinkHandleBatch(TrafficClient& client, std::uint32_t delay)
{
    if (g_sink.handleBatch) {
        g_sink.handleBatch(client, delay);
        return;
    }
    if (!g_batchDropLogged.exchange(true))
        gf_log("traffic batch dropped: no receiver wired (delay {})", delay);
}

void gf_sinkPostSimEvent(std::uint32_t kind, std::uint32_t objectId, std::uint32_t hexid)
{
    if (g_sink.postSimEvent) {
        g_sink.postSimEvent(kind, objectId, hexid);
        return;
    }
    if (!g_eventDropLogged.exchange(true))
        gf_log("simulator event {} for {:x} dropped: no receiver wired", kind, hexid);
}

std::string gf_sinkNearestStandName(double lat, double lon)
{
    return g_sink.nearestStandName ? g_sink.nearestStandName(lat, lon) : std::string();
}

void gf_sinkSetErrorLine(std::string_view text)
{
    if (g_sink.setErrorLine)
        g_sink.setErrorLine(text);
    else
        gf_logError("Error {}", text);
}

void gf_sinkSetStatusLine(std::string_view text)
{
    if (g_sink.setStatusLine)
        g_sink.setStatusLine(text);
}

void gf_sinkClearStatusLine(std::string_view text)
{
    if (g_sink.clearStatusLine)
        g_sink.clearStatusLine(text);
}

void gf_setTrafficQueryPosition(double lat, double lon, double altFeet)
{
    const bool valid = std::isfinite(lat) && std::isfinite(lon) && std::isfinite(altFeet) && lat >= -90.0
        && lat <= 90.0 && lon >= -180.0 && lon <= 180.0;
    std::lock_guard lock(g_queryMutex);
    if (!valid) {
        g_queryPosition.set = false;
        return;
    }
    g_queryPosition = {lat, lon, altFeet, gf_isPositionSet(lat, lon)};
}

QueryPosition gf_trafficQueryPosition()
{
    std::lock_guard lock(g_queryMutex);
    return g_queryPosition;
}

void gf_setTrafficQueryRangeNm(double rangeNm)
{
    if (std::isfinite(rangeNm) && rangeNm > 0.0)
        g_queryRangeNm = rangeNm;
}

double gf_trafficQueryRangeNm()
{
    const double range = g_queryRangeNm.load();
    return range > 0.0 ? range : g_rangeNm.load();
}
