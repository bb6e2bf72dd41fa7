// The current livery table, the title pool and the matching index. Written by the start-up
// thread only.
#include "liveries/livery_tables.h"

#include <unordered_set>

#include "liveries/aircraft_db.h"

namespace {

std::deque<LiveryData> g_table;
// Every title of every table set in this run, once each; a node set, so its texts never move and
// views of them stay valid after the tables that brought them are gone.
std::unordered_set<std::string, TvxStringHash, std::equal_to<>> g_titlePool;
LiveryIndex g_index;
std::unordered_map<std::string_view, std::uint32_t> g_byTitle;

std::string_view lf_pooledTitle(const std::string& title)
{
    if (const auto it = g_titlePool.find(std::string_view(title)); it != g_titlePool.end())
        return *it;
    return *g_titlePool.insert(title).first;
}

}  // namespace

const std::deque<LiveryData>& gf_liveries()
{
    return g_table;
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
    g_table.assign(std::make_move_iterator(liveries.begin()), std::make_move_iterator(liveries.end()));
    gf_rebuildLiveryIndex();
}

void gf_rebuildLiveryIndex()
{
    g_index = LiveryIndex{};
    g_byTitle.clear();
    const auto& table = gf_liveries();
    g_index.span.reserve(table.size());
    g_index.sizeClass.reserve(table.size());
    g_index.title.reserve(table.size());
    // Sized once for the table: no rehash walks the maps again as they fill.
    g_byTitle.reserve(table.size());
    g_index.byAtcId.reserve(table.size());
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        const LiveryData& l = table[i];
        const SizeClass cls = gf_sizeClassOfType(l.acType);
        g_index.span.push_back(gf_wingspan(l.acType));
        g_index.sizeClass.push_back(cls);
        g_index.title.push_back(lf_pooledTitle(l.title));
        g_byTitle.emplace(g_index.title.back(), i);
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
    return g_index.title[it->second];
}
