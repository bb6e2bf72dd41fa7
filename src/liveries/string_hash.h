// Transparent hashing for the liveries' hash tables, so std::string keys can be looked up by
// std::string_view without building a string per lookup. No state; any thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>

struct TvxStringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept
    {
        return std::hash<std::string_view>{}(text);
    }
};
