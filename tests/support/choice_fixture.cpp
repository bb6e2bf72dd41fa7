// The park-airport sandbox. See choice_fixture.h.
#include "support/choice_fixture.h"

#include <cstdlib>
#include <fstream>

#include "app/folders.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/park_airport_list.h"
#include "parking/park_choice.h"
#include "parking/park_read.h"
#include "parking/parking_file.h"
#include "parking/stand_search.h"
#include "parking/traffic_containers.h"
#include "simulator/user_aircraft.h"
#include "support/parking_airports.h"
#include "support/temp_folder.h"
#include "traffic_service/parked_traffic.h"
#include "traffic_service/traffic_client.h"

namespace tvxtest {

namespace fs = std::filesystem;

ChoiceSandbox::ChoiceSandbox()
{
    gf_prepareDataFolders();
    // Real positions (OurAirports); XAAA and XBBB share one position.
    writeAirportList(path(), {
                                 {"EDDF", "FRA", "50.033333", "8.570556", "364"},
                                 {"EGLL", "LHR", "51.4706", "-0.461941", "83"},
                                 {"EHAM", "AMS", "52.308613", "4.763889", "-11"},
                                 {"EHLE", "LEY", "52.460278", "5.527222", "-13"},
                                 {"EHRD", "RTM", "51.956944", "4.437222", "-15"},
                                 {"LSZH", "ZRH", "47.464722", "8.549167", "1416"},
                                 {"XAAA", "", "50.5", "5.0", "100", false},
                                 {"XBBB", "", "50.5", "5.0", "100", false},
                             });
    lf_resetAirportList();
    gf_readAirports();
    lf_resetState();
    // Parked-traffic requests of the plan fail at once instead of reaching out.
    g_trafficClient.setApiBase("http://127.0.0.1:1/v5");
    lf_setChoiceUserSource([this] {
        ChoiceUser user;
        user.state.latitude = m_lat;
        user.state.longitude = m_lon;
        user.state.altAboveGround = m_aboveGround;
        user.onGround = m_onGround;
        user.onGroundKnown = true;
        return user;
    });
}

ChoiceSandbox::~ChoiceSandbox()
{
    lf_setChoiceUserSource({});
    lf_resetState();
    lf_resetAirportList();
}

void ChoiceSandbox::setUser(double lat, double lon, double aboveGroundFt, bool onGround)
{
    m_lat = lat;
    m_lon = lon;
    m_aboveGround = aboveGroundFt;
    m_onGround = onGround;
    g_userOnGround.store(onGround);
    g_userOnGroundKnown.store(true);
    lf_resetNearestStandCache();
}

void ChoiceSandbox::lf_resetState()
{
    gf_clearTrafficState();
    g_parkParamsChanged.store(false);
    g_apfLoaded.store(false);
    g_handmadeOverruled.store(false);
    g_apfHeader = ApfHeader{};
    g_parkAirportDistanceNm.store(-1.0);
    g_bufferReceived.store(false);
    g_userOnGround.store(false);
    g_userOnGroundKnown.store(false);
    g_trafficClient.setParkAirportPosition(std::nullopt);
    lf_resetNearestStandCache();
}

void ChoiceSandbox::writeList(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    writeFile(fs::path("airports") / "my_park_airports.txt", text);
}

std::string ChoiceSandbox::listText()
{
    return readFile(fs::path("airports") / "my_park_airports.txt");
}

bool ChoiceSandbox::serveStockFile(const std::string& code) const
{
    const char* source = std::getenv("TAVIX_SOURCE_DIR");
    if (!source)
        return false;
    const fs::path from = fs::path(source) / "standins" / "download_server" / "MSFS" / "archive" / "stock" / (code + ".xml");
    if (!fs::exists(from))
        return false;
    const fs::path to = path() / "server" / "MSFS" / "archive" / "stock";
    fs::create_directories(to);
    fs::copy_file(from, to / (code + ".xml"), fs::copy_options::overwrite_existing);
    return true;
}

std::vector<std::string> parkAirportCodes()
{
    std::vector<std::string> codes;
    for (const ParkAirport& entry : g_parkAirports)
        codes.push_back(entry.code);
    return codes;
}

}  // namespace tvxtest
