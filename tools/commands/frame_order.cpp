#include "commands/frame_order.h"

#include <cctype>
#include <filesystem>

namespace {

// The name with every digit run replaced by '#', and the runs as numbers
// (without leading zeros, compared by length, then text).
void splitName(const std::string& path, std::string& pattern, std::vector<std::string>& numbers)
{
    const std::string name = std::filesystem::path(path).filename().string();
    pattern.clear();
    numbers.clear();
    for (std::size_t i = 0; i < name.size();) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            pattern += name[i++];
            continue;
        }
        std::size_t end = i;
        while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end])))
            ++end;
        std::size_t first = name.find_first_not_of('0', i);
        numbers.push_back(first < end ? name.substr(first, end - first) : "");
        pattern += '#';
        i = end;
    }
}

bool numberLess(const std::string& a, const std::string& b) { return a.size() != b.size() ? a.size() < b.size() : a < b; }

} // namespace

long firstFrameOutOfOrder(const std::vector<std::string>& files)
{
    std::string pattern, nextPattern;
    std::vector<std::string> numbers, nextNumbers;
    for (std::size_t i = 0; i + 1 < files.size(); ++i) {
        splitName(files[i], pattern, numbers);
        splitName(files[i + 1], nextPattern, nextNumbers);
        if (pattern != nextPattern || numbers.empty())
            continue;
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            if (numberLess(numbers[k], nextNumbers[k]))
                break;
            if (numberLess(nextNumbers[k], numbers[k]))
                return long(i);
        }
    }
    return -1;
}
