// The current livery table, its retired predecessors and the matching index. Written by the
// start-up thread only.
#include "liveries/livery_tables.h"

#include <memory>

#include "liveries/aircraft_db.h"

namespace {

// Tables never die before the program: views into any of them stay valid.
std::vector<std::unique_ptr<std::deque<LiveryData>>> g_tables;
const std::deque<LiveryData> g_emptyTable;
LiveryIndex g_index;
std::unordered_map<std::string_view, std::uint32_t> g_byTitle;

}  // namespace

const std::deque<LiveryData>& gf_liveries()
{
    return g_tables.empty() ? g_emptyTable : *g_tables.back();
}

const LiveryIndex& gf_liveryIndex()
{
    return g_index;
}

std::string gf_airlineTypeKey(std::string_view airline, std::string_view type)
{
    std::string key;
    key.reserve(airline.size() + type.size() + 1);
    key.append(airline).append("/").append(type);
    return key;
}

void gf_setLiveries(std::vector<LiveryData> liveries)
{
    auto table = std::make_unique<std::deque<LiveryData>>(std::make_move_iterator(liveries.begin()),
                                                          std::make_move_iterator(liveries.end()));
    g_tables.push_back(std::move(table));
    gf_rebuildLiveryIndex();
}

void gf_rebuildLiveryIndex()
{
    g_index = LiveryIndex{};
    g_byTitle.clear();
    const auto& table = gf_liveries();
    g_index.span.reserve(table.size());
    g_index.sizeClass.reserve(table.size());
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        const LiveryData& l = table[i];
        const SizeClass cls = gf_sizeClassOfType(l.acType);
        g_index.span.push_back(gf_wingspan(l.acType));
        g_index.sizeClass.push_back(cls);
        g_byTitle.emplace(l.title, i);
        if (!l.atcId.empty())
            g_index.byAtcId[l.atcId].push_back(i);
        if (l.airline.empty()) {
            g_index.genericByType[l.acType].push_back(i);
            g_index.genericByClass[static_cast<std::size_t>(cls)].push_back(i);
        } else {
            g_index.byAirlineType[gf_airlineTypeKey(l.airline, l.acType)].push_back(i);
            g_index.byAirline[l.airline].push_back(i);
        }
    }
}

std::string_view gf_findLiveryTitle(std::string_view title)
{
    auto it = g_byTitle.find(title);
    if (it == g_byTitle.end())
        return {};
    return gf_liveries()[it->second].title;
}
