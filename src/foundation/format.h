// The one door to text formatting. GCC 12 has no <format>, so {fmt} stands in; switching to
// std::format later changes only this file. Format strings are written as the program's texts
// give them ("{:8}", "{:.1F}", "{:.6f}").
#pragma once

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <fmt/ranges.h>

namespace tvx {
using fmt::format;
using fmt::format_error;
using fmt::format_string;
using fmt::format_to;
using fmt::make_format_args;
using fmt::vformat;
}  // namespace tvx
