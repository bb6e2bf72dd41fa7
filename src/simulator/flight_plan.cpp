// AceXML flight-plan files of live aircraft and their folder. See flight_plan.h for the threads.
#include "simulator/flight_plan.h"

#include <fstream>
#include <system_error>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "model/ac_records.h"

std::filesystem::path g_flightPlanFolder;

namespace {

bool lf_isIfrClass(SizeClass cls)
{
    return cls == SizeClass::Buzjets || cls == SizeClass::Large || cls == SizeClass::Heavy;
}

// Throws the file-system error of a failed status query or creation with the operation's name.
bool lf_exists(const std::filesystem::path& path)
{
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    if (ec)
        throw std::filesystem::filesystem_error("exists", path, ec);
    return exists;
}

void lf_createDirectory(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::create_directory(path, ec);
    if (ec)
        throw std::filesystem::filesystem_error("create_directory", path, ec);
}

// Origin and destination come from the network: markup characters are written as entities and
// control characters (no XML 1.0 text may hold them) are left out, so the file stays well-formed.
std::string lf_xmlText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                out += c;
        }
    }
    return out;
}

}  // namespace

std::string gf_flightPlanText(const AcData& ac)
{
    return tvx::format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
        "<FlightPlan.FlightPlan>\n"
        "<FPType>{}</FPType>\n"
        "<DepartureID>{}</DepartureID>\n"
        "<DestinationID>{}</DestinationID>\n"
        "</FlightPlan.FlightPlan>\n"
        "</SimBase.Document>",
        lf_isIfrClass(ac.sizeClass) ? "IFR" : "VFR", lf_xmlText(ac.origin), lf_xmlText(ac.destination));
}

bool gf_writeFlightPlan(const std::filesystem::path& path, const AcData& ac)
{
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (!file)
        return false;
    const std::string text = gf_flightPlanText(ac);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file << std::endl;
    return static_cast<bool>(file);
}

std::filesystem::path lf_flightPlanFileName(std::uint32_t objectId)
{
    return tvx::format("{}.pln", objectId);
}

bool gf_prepareFlightPlanFolder()
{
    g_flightPlanFolder = g_appFolder / "orig_dest";
    if (!lf_exists(g_appFolder))
        lf_createDirectory(g_appFolder);
    if (!lf_exists(g_flightPlanFolder))
        lf_createDirectory(g_flightPlanFolder);
    return lf_exists(g_flightPlanFolder);
}

bool gf_removeFlightPlanFolder()
{
    try {
        if (lf_exists(g_flightPlanFolder))
            std::filesystem::remove_all(g_flightPlanFolder);
    } catch (const std::filesystem::filesystem_error& e) {
        gf_log("gf_removeFlightPlanFolder: {}", e.what());
    }
    return !lf_exists(g_flightPlanFolder);
}
