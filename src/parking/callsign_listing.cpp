// Callsign2ObjectId.txt. See callsign_listing.h.
#include "parking/callsign_listing.h"

#include <filesystem>
#include <fstream>
#include <list>
#include <system_error>

#include "foundation/format.h"
#include "model/ac_records.h"
#include "simulator/ai_tick.h"
#include "simulator/removal.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kListingFile = "Callsign2ObjectId.txt";

}  // namespace

void gf_removeCallsignListing()
{
    const fs::path path = kListingFile;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::none)
        throw fs::filesystem_error("exists", path, error);
    if (status.type() == fs::file_type::not_found)
        return;
    if (!fs::remove(path, error) && error)
        throw fs::filesystem_error("remove", path, error);
}

std::string lf_callsign2ObjectIdLine(const LiveAc& ac)
{
    const std::string parked = ac.phase == AcPhase::Parked ? "Parked at " + gf_standName(ac.standId) : std::string();
    return tvx::format("{} {:9} {} {}: {} {}", ac.onGround ? "Gnd" : "Air", ac.callsign, ac.airline, ac.acType,
                       ac.objectId, parked);
}

void gf_writeCallsign2ObjectIdFile()
{
    std::list<std::string> lines;
    for (const LiveAc& ac : g_liveAc) {
        if (ac.state == AcState::Placed)
            lines.push_front(lf_callsign2ObjectIdLine(ac));
    }
    lines.sort();
    std::ofstream out(kListingFile, std::ios::binary | std::ios::trunc);
    if (!out)
        return;
    for (const std::string& line : lines)
        out << line << '\n';
    out.flush();
}
