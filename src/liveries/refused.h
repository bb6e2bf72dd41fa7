// Liveries the simulator refused to create: their titles, which the livery matching skips, and
// the type-and-airline texts of the refused aircraft for the matching summary. The titles are
// owned copies, so a livery rescan never leaves them dangling. Main loop thread only; no lock.
// (The refusal itself, gf_addRefusedLivery with its limit, belongs to the simulator link.)
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

// Refused titles in the order of refusal.
extern std::vector<std::string> g_refusedLiveries;
// "type airline" of each refused aircraft, newest first, duplicates allowed.
extern std::deque<std::string> g_refusedTypes;

bool gf_isRefusedLivery(std::string_view title);
// g_refusedTypes sorted (byte order), repeated texts once, each indented by two blanks.
std::vector<std::string> gf_refusedLiveriesText();
// Appends "  " + text for each text.
void lf_indentedTitles(const std::vector<std::string>& texts, std::vector<std::string>& out);
