// The service's clock against the program's: the interval of replies and the placement of the next
// request. See service_clock.h.
#include "simulator/service_clock.h"

#include <algorithm>
#include <cmath>

namespace {

// The program's clock keeps the wall clock's pace when the two moved alike between two replies, to
// within two ticks and 5 %.
constexpr double kPaceSlack = 0.02;
constexpr double kPaceShare = 0.05;

}  // namespace

void ServiceClock::addReply(double dataTime, double sent, double arrived, double wall)
{
    const double wallStep = wall - m_lastWall;
    m_paced = wallStep > 0.0 && std::fabs((arrived - m_lastArrived) - wallStep) <= kPaceSlack + kPaceShare * wallStep;
    m_lastArrived = arrived;
    m_lastWall = wall;

    const double low = dataTime - arrived;
    const double high = dataTime + 1.0 - std::min(sent, arrived);
    if (std::isnan(m_low)) {
        m_low = low;
        m_high = high;
        return;
    }
    const double from = std::max(low, m_low);
    const double to = std::min(high, m_high);
    if (from <= to) {
        m_low = from;
        m_high = to;
    } else if (from - to <= kJitter) {
        m_low = to;
        m_high = from;
    } else {  // the clock moved
        m_low = low;
        m_high = high;
    }
}

double ServiceClock::offset() const
{
    return m_high - m_low >= 1.0 ? m_low : (m_low + m_high) / 2.0;
}

double ServiceClock::placement(double from, double roundTrip) const
{
    const double width = m_high - m_low;
    if (!m_paced || !(width > std::max(kSettledWidth, roundTrip)))
        return kNaN;
    // The service's second turns at the reply's expected making, half the round trip after the
    // sending, if the offset is the middle: a reply of the second before lowers the upper end to
    // the middle plus half the round trip, one of the second after raises the lower end to the
    // middle less half of it.
    const double turn = from + roundTrip / 2.0 + (m_low + m_high) / 2.0;
    return from + (std::ceil(turn) - turn);
}
