// Runtime-text errors. Any thread.
#include "foundation/runtime_texts.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace tvx {

void throwInvalidMapKey() { throw std::out_of_range(kInvalidMapKey); }
void throwInvalidBitsetPosition() { throw std::out_of_range(kInvalidBitsetPosition); }
void throwInvalidArraySubscript() { throw std::out_of_range(kInvalidArraySubscript); }

double stod(const std::string& text, std::size_t* consumed)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end == begin)
        throw std::invalid_argument(kInvalidStod);
    if (errno == ERANGE && (value == HUGE_VAL || value == -HUGE_VAL))
        throw std::out_of_range(kStodOutOfRange);
    if (consumed)
        *consumed = static_cast<std::size_t>(end - begin);
    return value;
}

float stof(const std::string& text, std::size_t* consumed)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(begin, &end);
    if (end == begin)
        throw std::invalid_argument(kInvalidStof);
    if (errno == ERANGE && (value == HUGE_VALF || value == -HUGE_VALF))
        throw std::out_of_range(kStofOutOfRange);
    if (consumed)
        *consumed = static_cast<std::size_t>(end - begin);
    return value;
}

int stoi(const std::string& text, std::size_t* consumed)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin)
        throw std::invalid_argument(kInvalidStoi);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX)
        throw std::out_of_range(kStoiOutOfRange);
    if (consumed)
        *consumed = static_cast<std::size_t>(end - begin);
    return static_cast<int>(value);
}

}  // namespace tvx
