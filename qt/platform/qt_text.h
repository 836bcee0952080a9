#pragma once

// The core's texts are UTF-8 std::string; Qt's are QString. One conversion, used everywhere the
// two meet, so a name with a non-ASCII letter (a device's description, a user name) reads alike
// in every control.

#include <QString>
#include <string_view>

namespace cat {

inline QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace cat
