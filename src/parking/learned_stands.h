// Learned stands: the learned file that the program saves beside every park airport's parking
// file (airports/learned/...) holds what was learned there: stands whose radius or cargo flag
// changed, parking options with their half-hour schedules, stands made by hand, and the parking
// settings in force. lf_readLearned merges it into g_parkPositions, or lets a hand-made file
// replace the stands altogether, and gives the settings back their learned values. Also the test
// whether an airport's stock file is good enough for offline learning.
//
// Thread: the main loop (park-airport reading) and the start-up thread (add-on airport scan for
// gf_suitableForOfflineLearning); both own what they touch, no lock is taken.
#pragma once

#include <string>

#include <pugixml.hpp>

#include "model/stand_model.h"
#include "parking/park_read.h"

// Merges (or, hand-made, substitutes) the learned file at the path text into g_parkPositions and
// takes back its settings. Logs and swallows every error; an unloadable file is copied aside
// under the "0" name (EHAM.xml -> EHAM0.xml).
void lf_readLearned(const std::string& learnedPath, const ApfHeader& header);
// Merges one learned parkpos element into the stand when the stand has that name; true then.
bool lf_mergeLearnedStand(const std::string& name, const pugi::xml_node& parkpos, ParkPos& stand);
// Same weekday, kind, registration, airline and type, and at least one common slot.
bool lf_sameOption(const ParkPosOption& a, const ParkPosOption& b);
// True when the airport's stock parking file has quality factors and no WEEK parameter below 18.
// May throw the filesystem error "remove".
bool gf_suitableForOfflineLearning(const std::string& code);
