#include "transfer/SizeText.h"

#include <cctype>
#include <charconv>
#include <string>

namespace transfer {

double SizeTextToBytes(std::string_view text)
{
    std::string lower;
    lower.reserve(text.size());
    for (char c : text) {
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    std::size_t begin = 0;
    while (begin < lower.size() && !notSpace(static_cast<unsigned char>(lower[begin]))) {
        ++begin;
    }
    std::size_t end = lower.size();
    while (end > begin && !notSpace(static_cast<unsigned char>(lower[end - 1]))) {
        --end;
    }
    const std::string_view trimmed = std::string_view(lower).substr(begin, end - begin);

    struct Unit
    {
        char letter;
        double factor;
    };
    constexpr Unit Units[] = {{'k', 1024.0}, {'m', 1024.0 * 1024.0}, {'g', 1024.0 * 1024.0 * 1024.0}};
    for (const Unit& unit : Units) {
        const std::size_t at = trimmed.find(unit.letter);
        if (at == std::string_view::npos) {
            continue;
        }
        // Read the leading number of the text before the unit, as the C library's atof would (but
        // independent of the locale's decimal point).
        std::string_view number = trimmed.substr(0, at);
        while (!number.empty() && std::isspace(static_cast<unsigned char>(number.front()))) {
            number.remove_prefix(1);
        }
        if (!number.empty() && number.front() == '+') {
            number.remove_prefix(1);
        }
        float value = 0.0f;
        const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
        if (result.ec != std::errc()) {
            return 0.0;
        }
        return static_cast<double>(value) * unit.factor;
    }
    return 0.0;
}

} // namespace transfer
