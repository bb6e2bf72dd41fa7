// Duplicates and ghosts. Main loop thread.
#include "simulator/duplicates.h"

#include <algorithm>

#include "foundation/log.h"
#include "foundation/settings.h"
#include "model/ac_records.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"

std::deque<std::uint32_t> g_duplicateCheckList;
std::vector<std::string> g_ghostCallsigns;

namespace {

const char* lf_groundText(bool onGround)
{
    return onGround ? "on ground" : "airborne";
}

bool lf_endsInUnderscore(const std::string& text)
{
    return !text.empty() && text.back() == '_';
}

}  // namespace

bool gf_removeDuplicates(const DuplicateQuery& query, const StaticAc& ac)
{
    const LiveAc& live = query.live;
    if (ac.state != AcState::Placed)
        return false;
    const bool log = g_optLog.value();

    if (ac.planKind == 0 && ac.serviceHexid == live.hexid) {
        if (log)
            gf_log("{:8}: {:8} removed, new {} {} has same hexid", gf_standName(ac.standId), ac.callsign,
                   lf_groundText(query.onGround), live.callsign);
        return true;
    }
    if (!live.registration.empty() && live.registration == ac.registration) {
        if (log)
            gf_log("{:8}: {:8} {} removed, new {} {} has same regcode {}", gf_standName(ac.standId), ac.callsign,
                   ac.registration, lf_groundText(query.onGround), live.callsign, live.registration);
        return true;
    }

    const bool sameCallsign = ac.coupledCallsign1 == live.callsign || ac.coupledCallsign2 == live.callsign;
    const bool coupled =
        (!live.coupledCallsign2.empty()
         && (live.coupledCallsign2 == ac.coupledCallsign1 || live.coupledCallsign2 == ac.coupledCallsign2))
        || (lf_endsInUnderscore(live.callsign)
            && (query.baseCallsign == ac.coupledCallsign1 || query.baseCallsign == ac.coupledCallsign2));
    if (!sameCallsign && !coupled)
        return false;
    if (log)
        gf_log("{:8}: {:8} \"{} {}\" removed, new {} {} \"{} {}\" has {} callsign", gf_standName(ac.standId),
               ac.callsign, ac.coupledCallsign1, ac.coupledCallsign2, lf_groundText(query.onGround), live.callsign,
               live.coupledCallsign1, live.coupledCallsign2,
               ac.coupledCallsign1 == live.callsign ? "same" : "coupled");
    return true;
}

void gf_addDuplicateCheck(std::uint32_t hexid)
{
    g_duplicateCheckList.push_back(hexid);
}

void gf_checkOneDuplicate()
{
    if (g_duplicateCheckList.empty())
        return;
    const std::uint32_t hexid = g_duplicateCheckList.front();
    g_duplicateCheckList.pop_front();
    const auto live = std::find_if(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& x) { return x.hexid == hexid; });
    if (live == g_liveAc.end() || live->callsign.empty())
        return;
    const DuplicateQuery query{*live, live->callsign.substr(0, live->callsign.size() - 1), live->onGround != 0};
    for (StaticAc& ac : g_staticAc) {
        if (gf_removeDuplicates(query, ac)) {
            gf_removeAct(ac);
            return;
        }
    }
}

bool gf_isRemovedGhost(const std::string& callsign)
{
    return std::find(g_ghostCallsigns.begin(), g_ghostCallsigns.end(), callsign) != g_ghostCallsigns.end();
}

namespace liveac {

void removeGhosts(const std::string& callsign)
{
    const std::string ghost = callsign + "_";
    const auto it = std::find_if(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& x) {
        return x.callsign == ghost && x.state != AcState::BeingRemoved;
    });
    if (it == g_liveAc.end())
        return;
    if (g_optLog.value()) {
        if (it->phase == AcPhase::Parked)
            gf_log("{:8}: {:8} is a ghost and will be removed, continue with {}", gf_standName(it->standId),
                   it->callsign, callsign);
        else
            gf_log("          {:8} is a ghost and will be removed, continue with {}", it->callsign, callsign);
    }
    g_ghostCallsigns.push_back(ghost);
    gf_removeAct(*it);
}

}  // namespace liveac

bool lf_isBaseCallsignLive(const std::string& callsign)
{
    const std::string base = callsign.empty() ? callsign : callsign.substr(0, callsign.size() - 1);
    return std::any_of(g_liveAc.begin(), g_liveAc.end(), [&](const LiveAc& x) {
        return x.state != AcState::BeingRemoved && x.callsign == base;
    });
}
