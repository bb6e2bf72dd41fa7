// The program's two error types and the UTF-8/UTF-16 conversions with their own error.
// Both error types carry only their text; callers catch std::exception and log what().
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tvx {

// A problem the user can act on. Text: "{number}: {message}", or the message alone for 99.
class UserErrorException : public std::runtime_error {
public:
    UserErrorException(int number, const std::string& message);
};

// A failure of the system underneath. Text: "sys error {number}: {message}".
class SysErrorException : public std::runtime_error {
public:
    SysErrorException(int number, const std::string& message);
};

}  // namespace tvx

namespace win32 {

class Utf8ConversionException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Strict conversions: malformed input throws Utf8ConversionException naming the offset.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);
// Wide strings as the Windows calls take them (UTF-16 on Windows, UTF-32 elsewhere).
std::wstring utf8ToWide(std::string_view text);
std::string wideToUtf8(std::wstring_view text);

}  // namespace win32
