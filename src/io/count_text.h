// Counts as people read them in messages: digits in groups of three.
#pragma once

#include <cstddef>
#include <string>

// 2520 -> "2,520"; 12 -> "12".
inline std::string countText(std::size_t n)
{
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}
