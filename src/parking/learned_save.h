// The save of the park airport's changed stand data as a learned parking file.
//
// Learned files are saved where the park-airport reader looks for them (lf_learnedApfPath of the
// parking-file text), so that the next visit reads them: archive/stock/EHAM.xml is learned in
// airports/learned/stock/EHAM.xml, airports/my_thirdparty/EHAM.xml with publisher P in
// airports/learned/thirdparty/P/EHAM.xml, airports/my_simaddon/EHAM.xml in
// airports/learned/my_simaddon/EHAM.xml. A header that no read filled, or a path that would lead
// out of airports/learned (a link file's odd line), falls back to the publisher's folder
// (learned/stock, learned/simaddon, else learned/thirdparty/<publisher>) and <ICAO>.xml.
//
// Thread: the main loop, and the exit thread once the main loop has ended.
#pragma once

#include <string>

// Writes the learned parking file of the park airport. A folder that cannot be made or a file that
// cannot be written whole is logged and leaves the old file as it was; nothing is thrown.
void gf_saveParkFile();
// The folder of the learned file for a publisher text: airports/learned/stock, .../simaddon or
// .../thirdparty/<publisher> (separators and "."/".." in the publisher neutralised).
std::string lf_learnedFolderOf(const std::string& publisher);
