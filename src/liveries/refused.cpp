// Refused livery titles and their report texts. Main loop thread only.
#include "liveries/refused.h"

#include <algorithm>

std::vector<std::string> g_refusedLiveries;
std::deque<std::string> g_refusedTypes;

bool gf_isRefusedLivery(std::string_view title)
{
    return std::find(g_refusedLiveries.begin(), g_refusedLiveries.end(), title) !=
           g_refusedLiveries.end();
}

void lf_indentedTitles(const std::vector<std::string>& texts, std::vector<std::string>& out)
{
    for (const std::string& text : texts)
        out.push_back("  " + text);
}

std::vector<std::string> gf_refusedLiveriesText()
{
    std::sort(g_refusedTypes.begin(), g_refusedTypes.end());
    g_refusedTypes.erase(std::unique(g_refusedTypes.begin(), g_refusedTypes.end()),
                         g_refusedTypes.end());
    std::vector<std::string> out;
    out.reserve(g_refusedTypes.size());
    lf_indentedTitles({g_refusedTypes.begin(), g_refusedTypes.end()}, out);
    return out;
}
