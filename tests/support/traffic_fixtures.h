// Fixture builders for the traffic-service tests: a small scenario around Amsterdam for the
// stand-in, a capture of the batches, events and error lines the client hands on through its
// feed seam, and a fixture that runs the stand-in on loopback and points g_trafficClient at it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "traffic_service/traffic_records.h"
#include "traffic_service/traffic_standin.h"

namespace tvxtest {

// Scenario: KLM1234 (4ca7b3) on approach, a ground vehicle (4ca7c1) with missing values, an
// aircraft with a low address (002000) that must not count, two parked aircraft and the METAR
// station EHAM (QNH 1019). Licence "TEST-1234-ABCD-5678"; type 2 (professional) unless changed.
// Scenario time runs 0..40 s; start 1767225600 (2026-01-01 00:00 UTC).
tvxstandin::TrafficScenario gf_amsterdamScenario(int licenceType = 2);
inline constexpr double kEhamLat = 52.3086;
inline constexpr double kEhamLon = 4.7639;
inline constexpr const char* kTestLicence = "TEST-1234-ABCD-5678";

struct CapturedBatch {
    std::uint32_t delay = 0;
    std::vector<TrafficRecord> records;
};

// Wires the feed seam's hooks to itself; unwires on destruction.
class FeedCapture {
public:
    FeedCapture();
    ~FeedCapture();
    std::vector<CapturedBatch> batches() const;
    std::vector<std::uint32_t> blockedHexids() const;
    std::vector<std::string> errorLines() const;
    bool waitForBatches(std::size_t count, std::chrono::milliseconds wait) const;
    bool waitForErrorLine(std::chrono::milliseconds wait) const;
    std::string standName = "E27";  // answer of the stand lookup

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    std::vector<CapturedBatch> m_batches;
    std::vector<std::uint32_t> m_blocked;
    std::vector<std::string> m_errors;
};

// Runs the stand-in and points g_trafficClient at it (licence set, fast 405 retry, short
// timeouts), with the user aircraft at EHAM, range 20 nm and QNH 1013. The stand-in's rate
// limits are 150 ms so tests run quickly; its replay time is fixed at 20 s.
class StandinSession {
public:
    explicit StandinSession(int licenceType = 2);
    explicit StandinSession(tvxstandin::TrafficScenario scenario);
    ~StandinSession();
    tvxstandin::TrafficStandin& standin() { return *m_standin; }
    FeedCapture& capture() { return m_capture; }

private:
    void lf_setUp();
    std::unique_ptr<tvxstandin::TrafficStandin> m_standin;
    FeedCapture m_capture;
};

}  // namespace tvxtest
