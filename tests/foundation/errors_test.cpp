// The program's error texts, the runtime's texts and the strict UTF-8/UTF-16 conversions.
#include "foundation/errors.h"

#include <gtest/gtest.h>

#include "foundation/runtime_texts.h"

namespace {

TEST(Errors, UserAndSystemErrorTexts)
{
    EXPECT_STREQ(tvx::UserErrorException(99, "Please restart").what(), "Please restart");
    EXPECT_STREQ(tvx::UserErrorException(71, "SimConnect open failed").what(), "71: SimConnect open failed");
    EXPECT_STREQ(tvx::UserErrorException(0, "zero").what(), "0: zero");
    EXPECT_STREQ(tvx::UserErrorException(-3, "minus").what(), "-3: minus");
    EXPECT_STREQ(tvx::SysErrorException(5, "access denied").what(), "sys error 5: access denied");
    EXPECT_STREQ(tvx::SysErrorException(99, "x").what(), "sys error 99: x");
    const std::runtime_error& asBase = tvx::UserErrorException(87, "airport list");
    EXPECT_STREQ(asBase.what(), "87: airport list");
}

TEST(Errors, RuntimeTextsOfNumberConversions)
{
    const auto textOf = [](auto call) -> std::string {
        try {
            call();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "no exception";
    };
    EXPECT_EQ(textOf([] { tvx::stoi("x"); }), "invalid stoi argument");
    EXPECT_EQ(textOf([] { tvx::stoi("99999999999"); }), "stoi argument out of range");
    EXPECT_EQ(textOf([] { tvx::stod("abc"); }), "invalid stod argument");
    EXPECT_EQ(textOf([] { tvx::stod("1e999"); }), "stod argument out of range");
    EXPECT_EQ(textOf([] { tvx::stof("1e99"); }), "stof argument out of range");
    std::size_t used = 0;
    EXPECT_EQ(tvx::stoi(" 42abc", &used), 42);
    EXPECT_EQ(used, 3u);
    EXPECT_EQ(tvx::stoi("-7"), -7);
}

TEST(Errors, Utf8ConversionsRoundTripAndRefuseMalformedInput)
{
    const std::string text = "Z\xC3\xBCrich \xE2\x9C\x88 \xF0\x9F\x9B\xAB";  // Zürich ✈ 🛫
    const std::u16string wide = win32::utf8ToUtf16(text);
    EXPECT_EQ(wide.size(), 11u);  // ten characters, the last one a surrogate pair
    EXPECT_EQ(win32::utf16ToUtf8(wide), text);
    EXPECT_EQ(win32::wideToUtf8(win32::utf8ToWide(text)), text);
    EXPECT_THROW(win32::utf8ToUtf16("ab\xC3"), win32::Utf8ConversionException);
    EXPECT_THROW(win32::utf8ToUtf16("\xC0\xAF"), win32::Utf8ConversionException);  // overlong '/'
    EXPECT_THROW(win32::utf16ToUtf8(std::u16string(1, u'\xD800')), win32::Utf8ConversionException);
}

}  // namespace
