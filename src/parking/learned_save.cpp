// The learned parking file of the park airport. See learned_save.h.
#include "parking/learned_save.h"

#include <filesystem>
#include <system_error>

#include "foundation/format.h"
#include "foundation/log.h"
#include "foundation/text_file.h"
#include "foundation/time_slots.h"
#include "model/airport_list.h"
#include "model/stand_model.h"
#include "parking/park_choice.h"
#include "parking/park_read.h"
#include "parking/parking_file.h"
#include "parking/stand_schedule.h"
#include "frame/status.h"

namespace fs = std::filesystem;

std::string lf_learnedFolderOf(const std::string& publisher)
{
    if (publisher == "stock" || publisher == "simaddon")
        return "airports\\learned\\" + publisher;
    // The publisher comes from the parking file: as a folder it stays one level below thirdparty.
    // Named as the parking-file reader names it, so the file is found again: an empty publisher
    // means no sub-folder.
    if (publisher.empty())
        return "airports\\learned\\thirdparty";
    return "airports\\learned\\thirdparty\\" + gf_learnedPublisherFolder(publisher);
}

void gf_saveParkFile()
{
    if (g_parkAirport.code.empty())
        return;
    const bool handmade = g_handmadeOverruled.load();

    ApfRecord record;
    record.airportName = g_apfHeader.airportName;
    record.publisher = g_apfHeader.publisher;
    record.altitude = g_apfHeader.altitude;
    record.rtTrafficWeek = g_rtTrafficWeek;
    if (handmade) {
        record.stands = g_parkPositions;
        const auto [real, soft] = gf_qualityFactor();
        record.qfReal = real;
        record.qfSoft = soft;
    } else {
        // Options read from the park airport's own file are there already; only what was learned
        // or changed here is saved.
        for (ParkPos& stand : g_parkPositions) {
            std::erase_if(stand.options, [](const ParkPosOption& option) { return option.source == 1; });
            if (!stand.options.empty() || stand.manual || stand.radiusChange || stand.cargoChange)
                record.stands.push_back(stand);
        }
    }
    // The plan search drops, for the plan being made, the options of aircraft that are flying or
    // parked live (number 0); the next adjustment counts them again. The file keeps them.
    for (ParkPos& stand : record.stands)
        gf_renumberOptions(stand.options);

    // The file goes where the reader looks for it on the next visit (a local file of the companion
    // add-on, for one, is learned in learned/my_simaddon, not under its publisher "simaddon").
    // A header that no read filled, or a path out of the learned folder, gives the publisher's
    // folder with <ICAO>.xml.
    const std::string pathText = gf_insideLearnedFolder(g_apfHeader.learnedPath)
                                     ? g_apfHeader.learnedPath
                                     : lf_learnedFolderOf(g_apfHeader.publisher) + "\\" + g_parkAirport.code + ".xml";
    const fs::path path = gf_apfNativePath(pathText);
    const fs::path folder = path.parent_path();
    std::error_code error;
    if (!folder.empty() && !fs::is_directory(folder, error)) {
        fs::create_directories(folder, error);
        if (!error && !fs::is_directory(folder, error))
            error = std::make_error_code(std::errc::not_a_directory);
        // Not thrown: the exit saves the learned file on its way to the removals, which must go on.
        // The stands learned here are lost: the user is told.
        if (error) {
            gf_logError("\"{}\" could not be saved: {}", pathText, error.message());
            gf_showErrorLine(tvx::format("\"{}\" could not be saved: {}", pathText, error.message()));
            return;
        }
    }

    std::string problem;
    if (!gf_writeApf(record, path, 0, &problem)) {
        if (problem.empty())
            problem = "the document could not be built";
        gf_logError("{} saving \"{}\" did not succeed: {}", gf_utcClockText(), pathText, problem);
        gf_showErrorLine(tvx::format("\"{}\" could not be saved: {}", pathText, problem));
        return;
    }
    gf_log("{}{} \"{}\" saved with {} update{} {}", gf_utcClockText(), handmade ? " handmade" : "", pathText,
           g_parkUpdates, g_parkUpdates == 1 ? g_emptyString : g_pluralSuffix,
           g_parkParamsChanged.load() ? "and one or more parameter changes" : "");
}

