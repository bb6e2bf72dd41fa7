// The stand services' storage and the answers of a run without a park airport. See
// stand_services.h.
#include "simulator/stand_services.h"

#include <atomic>

namespace {

StandServices s_noParkAirport;
// Set before the threads that read it start; atomic so that a test may set it between cases while
// a simulator client thread of the last case still winds down.
std::atomic<StandServices*> s_services{&s_noParkAirport};

}  // namespace

StandServices& gf_standServices()
{
    return *s_services.load();
}

void gf_setStandServices(StandServices* services)
{
    s_services.store(services ? services : &s_noParkAirport);
}

std::string StandServices::nearestStandName(double, double)
{
    return {};
}

ParkPos* StandServices::findFreeStand(double, double, const LiveAc&, double)
{
    return nullptr;
}

void StandServices::claimStandOnArrival(LiveAc&, bool) {}

bool StandServices::addRealParkPosOption(std::uint32_t, const LiveAc&, bool, std::uint64_t, bool)
{
    return false;
}

void StandServices::countParkUpdate() {}

void StandServices::learnStandFromLiveAc(LiveAc&, bool) {}

bool StandServices::clearStandForLiveAc(bool&, std::uint32_t, const std::string&, LiveAc&)
{
    return false;
}

bool StandServices::otherLiveAcAtStand(std::uint32_t, const LiveAc&, const ParkPos&, bool&, LiveAc&)
{
    return false;
}

void StandServices::checkMaxPark(std::uint8_t) {}

void StandServices::dropStaticParkEntries(std::uint32_t) {}

bool StandServices::staticParkWorkPending()
{
    return false;
}

void StandServices::parkStatic() {}
