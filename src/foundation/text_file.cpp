// Text helpers and whole-file reading and writing. Any thread; no shared state.
#include "foundation/text_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <system_error>

#include "foundation/format.h"

namespace {

std::string lf_errorText(int error)
{
    return error != 0 ? std::generic_category().message(error) : std::string("write error");
}

// Files written on Windows end their lines with CR LF; the CR is no part of the line.
void lf_dropCr(std::string& line)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
}

}  // namespace

std::string_view gf_trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string gf_lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string gf_numberText(double value)
{
    if (value != std::trunc(value))
        return tvx::format("{:.1F}", value);
    return tvx::format("{:.0f}", value);
}

std::vector<std::string> gf_splitCommas(std::string_view text)
{
    std::vector<std::string> fields;
    if (gf_trim(text).empty())
        return fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
        fields.emplace_back(gf_trim(text.substr(start, end - start)));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return fields;
}

bool gf_staysInsideFolder(std::string_view path)
{
    if (path.empty() || path[0] == '/' || path[0] == '\\')
        return false;
    if (path.size() >= 2 && path[1] == ':')
        return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = path.size();
        if (path.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

std::vector<std::string> TextFile::read(const std::filesystem::path& path, std::size_t reserve)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        return {};
    std::vector<std::string> lines;
    lines.reserve(reserve);
    std::string line;
    while (std::getline(in, line)) {
        lf_dropCr(line);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::FILE* gf_openFile(const std::filesystem::path& path, const char* mode)
{
#ifdef _WIN32
    const std::string narrow(mode);
    const std::wstring wide(narrow.begin(), narrow.end());
    return _wfopen(path.c_str(), wide.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

bool gf_replaceFile(const std::filesystem::path& path, std::string_view text, std::string* problem)
{
    auto temporary = path;
    temporary += ".tmp";
    std::error_code ec;
    auto failed = [&](const std::string& reason) {
        if (problem != nullptr)
            *problem = reason;
        std::filesystem::remove(temporary, ec);
        return false;
    };
    errno = 0;
    std::FILE* out = gf_openFile(temporary, "w");
    if (out == nullptr)
        return failed(lf_errorText(errno));
    errno = 0;
    const bool written = text.empty() || std::fwrite(text.data(), 1, text.size(), out) == text.size();
    int error = errno;
    errno = 0;
    const bool closed = std::fclose(out) == 0;
    if (written && !closed)
        error = errno;
    if (!written || !closed)
        return failed(lf_errorText(error));
    std::filesystem::rename(temporary, path, ec);
    if (ec)
        return failed(ec.message());
    return true;
}

bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool lineEnd)
{
    if (!lineEnd)
        return gf_replaceFile(path, text);
    std::string whole(text);
    whole += '\n';
    return gf_replaceFile(path, whole);
}

bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path)
{
    std::string whole;
    for (const auto& line : lines) {
        whole += line;
        whole += '\n';
    }
    return gf_replaceFile(path, whole);
}

std::vector<std::string> gf_readLines(std::istream& in)
{
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lf_dropCr(line);
        lines.push_back(std::move(line));
    }
    return lines;
}
