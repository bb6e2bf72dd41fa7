// Error types and strict UTF conversions. Any thread.
#include "foundation/errors.h"

#include "foundation/format.h"

namespace tvx {

namespace {
std::string lf_userErrorText(int number, const std::string& message)
{
    if (number == 99)
        return message;
    return tvx::format("{}: ", number) + message;
}
}  // namespace

UserErrorException::UserErrorException(int number, const std::string& message)
    : std::runtime_error(lf_userErrorText(number, message))
{
}

SysErrorException::SysErrorException(int number, const std::string& message)
    : std::runtime_error(tvx::format("sys error {}: ", number) + message)
{
}

}  // namespace tvx

namespace win32 {

namespace {

[[noreturn]] void lf_fail(const char* what, std::size_t offset)
{
    throw Utf8ConversionException(tvx::format("{} at offset {}", what, offset));
}

// Decodes one code point from UTF-8 at pos, advancing pos; throws on malformed sequences.
char32_t lf_decodeUtf8(std::string_view s, std::size_t& pos)
{
    const std::size_t start = pos;
    const auto b0 = static_cast<unsigned char>(s[pos++]);
    if (b0 < 0x80)
        return b0;
    int extra = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        lf_fail("invalid UTF-8 lead byte", start);
    }
    if (pos + extra > s.size())
        lf_fail("truncated UTF-8 sequence", start);
    for (int i = 0; i < extra; ++i) {
        const auto b = static_cast<unsigned char>(s[pos++]);
        if ((b & 0xC0) != 0x80)
            lf_fail("invalid UTF-8 continuation byte", start);
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        lf_fail("invalid UTF-8 code point", start);
    return cp;
}

void lf_appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t cp = lf_decodeUtf8(text, pos);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                lf_fail("unpaired UTF-16 high surrogate", i);
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            lf_fail("unpaired UTF-16 low surrogate", i);
        }
        lf_appendUtf8(out, cp);
    }
    return out;
}

std::wstring utf8ToWide(std::string_view text)
{
    if constexpr (sizeof(wchar_t) == 2) {
        const std::u16string u16 = utf8ToUtf16(text);
        return std::wstring(u16.begin(), u16.end());
    } else {
        std::wstring out;
        out.reserve(text.size());
        for (std::size_t pos = 0; pos < text.size();)
            out += static_cast<wchar_t>(lf_decodeUtf8(text, pos));
        return out;
    }
}

std::string wideToUtf8(std::wstring_view text)
{
    if constexpr (sizeof(wchar_t) == 2) {
        return utf16ToUtf8(std::u16string(text.begin(), text.end()));
    } else {
        std::string out;
        out.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto cp = static_cast<char32_t>(text[i]);
            if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                lf_fail("invalid code point", i);
            lf_appendUtf8(out, cp);
        }
        return out;
    }
}

}  // namespace win32
