// ServiceClock: where the traffic service's clock stands against this program's (the AI tick, in
// seconds). A reply's data time is the service's whole second E in which it made the reply, and it
// made it between the request's sending and the reply's arrival: the offset (service time less
// program time) lies in [E - arrived, E + 1 - sent]. The clock keeps the intersection of these
// intervals. A reply whose interval does not meet it means the clock really moved (a set-back
// service clock, a changed time shift, a paused flight whose ticks stopped): the interval starts
// afresh from that reply alone. A late reply only gives a wider interval, never a restart.
//
// Replies at a fixed fraction of the service's second (a request a spacing after the last one's
// end, a service answering at once) all give the same interval, so the clock also says when to send
// the next request: at the moment whose reply falls on either side of a whole second just where it
// halves the interval (placement()); a few replies then settle it within a tenth of a second.
//
// Pure value type, no locking of its own: the feed hand-over keeps one under g_udpMutex.
#pragma once

#include <limits>

class ServiceClock {
public:
    // Narrower than this the interval is settled: no request is placed for it.
    static constexpr double kSettledWidth = 0.1;
    // A new interval missing the one held by no more than this (the ticks' own jitter, a wake late
    // on a busy machine) is taken as the gap between the two, not as a move of the clock.
    static constexpr double kJitter = 0.05;

    // One reply: its data time and the program times (seconds) when its request went out and when
    // it arrived; wall is the steady clock's seconds at the arrival, to tell whether the program's
    // clock runs with the wall clock (placing a request by it needs that; a lockstep run's does not).
    void addReply(double dataTime, double sent, double arrived, double wall);
    // The estimated offset; NaN before the first reply. While the interval is no narrower than
    // one reply gives (a second and more), nothing tells where in its second the service made its
    // replies: its lower end, exact for replies made on a whole second and taken at once (a
    // lockstep run); once replies at other fractions of a second have narrowed it, its middle.
    double offset() const;
    // The program time at or after from at which a request sent, its reply taking roundTrip
    // seconds, halves the interval (to half its width and half the round trip); NaN when none is
    // wanted: no interval or a settled one, a round trip as long as the interval, or a program
    // clock not running with the wall clock. Any whole number of seconds later does as well.
    double placement(double from, double roundTrip) const;
    // Forgets everything (a new run).
    void reset() { *this = ServiceClock{}; }

private:
    static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    double m_low = kNaN;
    double m_high = kNaN;
    double m_lastArrived = kNaN;  // program and wall time of the last reply
    double m_lastWall = kNaN;
    bool m_paced = false;  // the program's clock kept the wall clock's pace since the last reply
};
