#include "core/Conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace zorvane {

std::int32_t RoundHalfEven(double value) {
    if (std::isnan(value))
        return 0;
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    const double r = std::nearbyint(std::clamp(value, lo, hi)); // default mode: halves to even
    return static_cast<std::int32_t>(r);
}

int WindowPixels(float twips, float twipsPerPixel) {
    return std::clamp(RoundHalfEven(double(twips) / twipsPerPixel), -30000, 30000);
}

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string Right(std::string_view text, std::size_t n) {
    std::size_t pos = text.size();
    while (n > 0 && pos > 0) {
        --pos;
        // Step over UTF-8 continuation bytes to the start of the character.
        while (pos > 0 && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80)
            --pos;
        --n;
    }
    return std::string(text.substr(pos));
}

std::string UCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string SingleToText(float value) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::optional<float> TextToSingle(std::string_view text) {
    std::string t = Trim(text);
    if (t.empty() || t.size() > 64)
        return std::nullopt;
    // A comma-decimal locale wrote "1234,5".
    if (t.find('.') == std::string::npos && std::count(t.begin(), t.end(), ',') == 1)
        t[t.find(',')] = '.';
    // from_chars takes no leading '+' and would read "0x10" as 0 followed by junk.
    const char* begin = t.data();
    if (*begin == '+' && t.size() > 1 && t[1] != '-')
        ++begin;
    double value = 0;
    const auto res = std::from_chars(begin, t.data() + t.size(), value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != t.data() + t.size() || !std::isfinite(value))
        return std::nullopt;
    // Up to half a step past the largest single a value still rounds to it (its own
    // shortest text, "3.4028235e+38", is a little above it); from there on, to infinity.
    constexpr double kOverflow = double(std::numeric_limits<float>::max()) + 0x1p103;
    if (std::fabs(value) >= kOverflow)
        return std::nullopt;
    return static_cast<float>(value);
}

} // namespace zorvane
