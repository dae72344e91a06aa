// Names typed by players and scripts (keys, pad inputs, script words) compare without regard to
// case, in ASCII only: the names are ASCII, and the locale must not change what a file means.
#pragma once

#include <cctype>
#include <cstddef>
#include <string_view>

inline bool same_letters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
