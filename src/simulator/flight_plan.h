// AI flight plans: the small AceXML file that names a live aircraft's origin and destination, the
// folder "orig_dest" that holds one such file per simulator object, and that folder's creation at
// start-up and removal at exit. Files are written by the main loop when an object exists, deleted
// by the main loop when the simulator reports the object removed; the folder is prepared by the
// start-up thread and removed by the exit thread. No lock: the threads never overlap here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

struct AcData;

// The flight-plan folder, g_appFolder / "orig_dest"; set by gf_prepareFlightPlanFolder.
extern std::filesystem::path g_flightPlanFolder;

// The whole file text: eight lines joined by line feeds, without a final line end. "IFR" for
// Buzjets, Large and Heavy, "VFR" otherwise; origin and destination go in as XML text (markup
// characters as entities, control characters left out).
std::string gf_flightPlanText(const AcData& ac);

// Writes the plan of the aircraft to path (an existing file is replaced); false when the file
// cannot be opened.
bool gf_writeFlightPlan(const std::filesystem::path& path, const AcData& ac);

// The relative path "{}.pln" of an object id.
std::filesystem::path lf_flightPlanFileName(std::uint32_t objectId);

// Start-up thread: sets g_flightPlanFolder and creates the missing folders; true when the folder
// exists afterwards. File-system errors pass to the caller.
bool gf_prepareFlightPlanFolder();

// Exit thread: removes the folder with everything in it; errors are logged
// ("gf_removeFlightPlanFolder: {}"). True when the folder is gone.
bool gf_removeFlightPlanFolder();
