// Each stand service answered by the parking code that owns it. See parking_services.h.
#include "parking/parking_services.h"

#include "model/stand_model.h"
#include "parking/max_park.h"
#include "parking/placement.h"
#include "parking/placement_stands.h"
#include "parking/stand_schedule.h"
#include "parking/stand_search.h"

namespace {

class ParkingStandServices final : public StandServices {
public:
    std::string nearestStandName(double lat, double lon) override { return gf_nearestStandName(lat, lon); }

    ParkPos* findFreeStand(double lat, double lon, const LiveAc& ac, double radiusNm) override
    {
        const auto stand = gf_findFreeStand(lat, lon, ac, radiusNm, true);
        return stand == g_parkPositions.end() ? nullptr : &*stand;
    }

    void claimStandOnArrival(LiveAc& ac, bool wide) override { gf_claimStandOnArrival(ac, wide); }

    bool addRealParkPosOption(std::uint32_t standId, const LiveAc& ac, bool trackGap, std::uint64_t stamp,
                              bool leaving) override
    {
        return lf_addRealParkPosOption(standId, ac, trackGap, stamp, leaving);
    }

    void countParkUpdate() override { gf_countParkUpdate(); }

    void learnStandFromLiveAc(LiveAc& ac, bool force) override { gf_learnStandFromLiveAc(ac, force); }

    bool clearStandForLiveAc(bool& standFree, std::uint32_t standId, const std::string& callsign,
                             LiveAc& x) override
    {
        return gf_clearStandForLiveAc(standFree, standId, callsign, x);
    }

    bool otherLiveAcAtStand(std::uint32_t overlapId, const LiveAc& arriving, const ParkPos& stand, bool& standFree,
                            LiveAc& x) override
    {
        return gf_otherLiveAcAtStand(overlapId, arriving, stand, standFree, x);
    }

    void checkMaxPark(std::uint8_t extra) override { lf_checkMaxPark(extra); }

    void dropStaticParkEntries(std::uint32_t standId) override { gf_dropStaticParkEntries(standId); }

    bool staticParkWorkPending() override { return gf_staticParkWorkPending(); }

    void parkStatic() override { lf_parkStatic(); }
};

}  // namespace

StandServices& gf_parkingStandServices()
{
    static ParkingStandServices services;
    return services;
}
