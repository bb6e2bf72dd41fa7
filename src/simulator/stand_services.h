// The simulator's calls up into the park airport's stand work: the stand search and stand names,
// the claim of a stand on arrival, the stand schedules and stand learning, and the parked-traffic
// rules at stands. Parking sits above the simulator, so it implements StandServices and sets it
// once at start-up (gf_setStandServices); the simulator calls through gf_standServices().
//
// The base class is the answer of a run without a park airport: no stand has a name, none is free,
// no sighting changes a schedule, and the parked-traffic work is empty.
//
// Threads: set on the window thread before the main loop, the simulator client and the readers
// start; afterwards only read. Each call runs on its caller's thread (the main loop, except
// nearestStandName, which the simulator client and the traffic reader also ask).
#pragma once

#include <cstdint>
#include <string>

struct LiveAc;
struct ParkPos;

class StandServices {
public:
    virtual ~StandServices() = default;

    // --- Stand search and names ---
    // Name of the stand within 55 m of the position, or empty.
    virtual std::string nearestStandName(double lat, double lon);
    // A free stand for the aircraft within the radius (nm) of the position; nullptr = none.
    virtual ParkPos* findFreeStand(double lat, double lon, const LiveAc& ac, double radiusNm);
    // The aircraft taxiing in claims the nearest free stand around its newest record (within 55 m
    // when wide, else 20 m); on success its phase becomes 5 and liveac::addStopRecord has appended
    // the approach and stop records.
    virtual void claimStandOnArrival(LiveAc& ac, bool wide);

    // --- Stand schedules and stand learning ---
    // Records a real sighting at a stand; true when the schedule changed.
    virtual bool addRealParkPosOption(std::uint32_t standId, const LiveAc& ac, bool trackGap, std::uint64_t stamp,
                                      bool leaving);
    // Adds 1 to the count of changes of the park airport's stand data and repaints the window when
    // the count differs from the one last shown.
    virtual void countParkUpdate();
    // Hands an aircraft whose records end to the stand learning.
    virtual void learnStandFromLiveAc(LiveAc& ac, bool force);

    // --- Parked traffic at stands ---
    // Frees the wanted stand of an arriving aircraft from live aircraft x; true ends the walk.
    virtual bool clearStandForLiveAc(bool& standFree, std::uint32_t standId, const std::string& callsign,
                                     LiveAc& x);
    // Clears standFree when x on overlapping stand id stands too close; true ends the walk.
    virtual bool otherLiveAcAtStand(std::uint32_t overlapId, const LiveAc& arriving, const ParkPos& stand,
                                    bool& standFree, LiveAc& x);
    // Removes one live and one static parked aircraft above the wanted number.
    virtual void checkMaxPark(std::uint8_t extra);
    // Drops the static parking work-list entries of a stand a live aircraft parks at.
    virtual void dropStaticParkEntries(std::uint32_t standId);
    // The static parking work list is not empty.
    virtual bool staticParkWorkPending();
    // Places one entry of the static parking work list.
    virtual void parkStatic();
};

// The services set at start-up, or the base class (no park airport) before that.
StandServices& gf_standServices();
// Sets the services; nullptr goes back to the base class. Window thread, before the main loop
// starts (tests: between cases).
void gf_setStandServices(StandServices* services);
