// Errors with the texts of the Windows C++ runtime. Several of the program's log lines carry
// these texts (a failed stod, a missing table key), so they are thrown explicitly here and read
// the same on every platform.
#pragma once

#include <string>
#include <string_view>

namespace tvx {

inline constexpr const char* kInvalidMapKey = "invalid unordered_map<K, T> key";
inline constexpr const char* kInvalidStod = "invalid stod argument";
inline constexpr const char* kInvalidStoi = "invalid stoi argument";
inline constexpr const char* kStoiOutOfRange = "stoi argument out of range";
inline constexpr const char* kInvalidStof = "invalid stof argument";
inline constexpr const char* kStodOutOfRange = "stod argument out of range";
inline constexpr const char* kStofOutOfRange = "stof argument out of range";
inline constexpr const char* kInvalidBitsetPosition = "invalid bitset position";
inline constexpr const char* kInvalidArraySubscript = "invalid array<T, N> subscript";

[[noreturn]] void throwInvalidMapKey();            // std::out_of_range
[[noreturn]] void throwInvalidBitsetPosition();    // std::out_of_range
[[noreturn]] void throwInvalidArraySubscript();    // std::out_of_range

// std::stod / std::stof with the runtime's texts: std::invalid_argument when no number starts
// the text (leading blanks skipped), std::out_of_range when it does not fit.
double stod(const std::string& text, std::size_t* consumed = nullptr);
float stof(const std::string& text, std::size_t* consumed = nullptr);
// std::stoi (base 10) with the runtime's texts "invalid stoi argument" and
// "stoi argument out of range".
int stoi(const std::string& text, std::size_t* consumed = nullptr);

// map.at(key) with the runtime's text for a missing key.
template <typename Map, typename Key>
auto& at(Map& map, const Key& key)
{
    auto it = map.find(key);
    if (it == map.end())
        throwInvalidMapKey();
    return it->second;
}

}  // namespace tvx
