// Stand services for simulator tests: each call the test gives a function for is recorded by that
// function; any other call answers as a run without a park airport. The object sets itself as the
// simulator's stand services for its lifetime.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "simulator/stand_services.h"

namespace tvxtest {

class FakeStandServices final : public StandServices {
public:
    FakeStandServices() { gf_setStandServices(this); }
    ~FakeStandServices() override { gf_setStandServices(nullptr); }
    FakeStandServices(const FakeStandServices&) = delete;
    FakeStandServices& operator=(const FakeStandServices&) = delete;

    std::function<std::string(double lat, double lon)> onNearestStandName;
    std::function<ParkPos*(double lat, double lon, const LiveAc& ac, double radiusNm)> onFindFreeStand;
    std::function<void(LiveAc& ac, bool wide)> onClaimStandOnArrival;
    std::function<bool(std::uint32_t standId, const LiveAc& ac, bool trackGap, std::uint64_t stamp, bool leaving)>
        onAddRealParkPosOption;
    std::function<void()> onCountParkUpdate;
    std::function<void(LiveAc& ac, bool force)> onLearnStandFromLiveAc;
    std::function<void(std::uint8_t extra)> onCheckMaxPark;
    std::function<void(std::uint32_t standId)> onDropStaticParkEntries;
    std::function<bool()> onStaticParkWorkPending;
    std::function<void()> onParkStatic;

    std::string nearestStandName(double lat, double lon) override
    {
        return onNearestStandName ? onNearestStandName(lat, lon) : StandServices::nearestStandName(lat, lon);
    }
    ParkPos* findFreeStand(double lat, double lon, const LiveAc& ac, double radiusNm) override
    {
        return onFindFreeStand ? onFindFreeStand(lat, lon, ac, radiusNm)
                               : StandServices::findFreeStand(lat, lon, ac, radiusNm);
    }
    void claimStandOnArrival(LiveAc& ac, bool wide) override
    {
        if (onClaimStandOnArrival)
            onClaimStandOnArrival(ac, wide);
    }
    bool addRealParkPosOption(std::uint32_t standId, const LiveAc& ac, bool trackGap, std::uint64_t stamp,
                              bool leaving) override
    {
        return onAddRealParkPosOption ? onAddRealParkPosOption(standId, ac, trackGap, stamp, leaving)
                                      : StandServices::addRealParkPosOption(standId, ac, trackGap, stamp, leaving);
    }
    void countParkUpdate() override
    {
        if (onCountParkUpdate)
            onCountParkUpdate();
    }
    void learnStandFromLiveAc(LiveAc& ac, bool force) override
    {
        if (onLearnStandFromLiveAc)
            onLearnStandFromLiveAc(ac, force);
    }
    void checkMaxPark(std::uint8_t extra) override
    {
        if (onCheckMaxPark)
            onCheckMaxPark(extra);
    }
    void dropStaticParkEntries(std::uint32_t standId) override
    {
        if (onDropStaticParkEntries)
            onDropStaticParkEntries(standId);
    }
    bool staticParkWorkPending() override
    {
        return onStaticParkWorkPending ? onStaticParkWorkPending() : StandServices::staticParkWorkPending();
    }
    void parkStatic() override
    {
        if (onParkStatic)
            onParkStatic();
    }
};

}  // namespace tvxtest
