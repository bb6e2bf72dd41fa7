// Refused liveries and the no-match list. Main loop thread.
#include "simulator/refused_liveries.h"

#include "app/status.h"
#include "foundation/errors.h"
#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "liveries/refused.h"
#include "model/ac_records.h"

std::set<std::string> g_noMatchSet;

void gf_addRefusedLivery(const AcData& ac)
{
    gf_setStatusLine(tvx::format("{} \"{}\" could not be created by your Sim!", ac.callsign, ac.title), true);
    g_refusedLiveries.emplace_back(ac.title);
    g_refusedTypes.push_front(ac.acType + " " + ac.airline);
    if (g_refusedLiveries.size() < kRefusedLiveryLimit)
        return;
    const std::string e = tvx::format("there are too many liveries that could not be created by {}!", "MSFS");
    gf_log("\n{}Error 81, {}\n", "===> ", e);
    throw tvx::UserErrorException(81, tvx::format("{}, see Log.txt", e));
}

void gf_logNoMatchList()
{
    if (g_noMatchSet.empty() || !g_optLog.value())
        return;
    gf_log("\nNo match found for: ");
    for (const std::string& text : g_noMatchSet)
        gf_log(text);
    gf_log("");
}
