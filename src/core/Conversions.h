#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Text and number conversions, as the program relies on them.
namespace zorvane {

// To the nearest whole number, halves to even; clamped to the 32-bit range (NaN gives 0).
std::int32_t RoundHalfEven(double value);
// A window's coordinate or size in twips to whole pixels: rounded, halves to even, and
// kept within +-30000, far enough for any desktop and small enough for every
// coordinate call of the platforms.
int WindowPixels(float twips, float twipsPerPixel);
// Whole pixels to twips.
inline float PixelsToTwips(int pixels, float twipsPerPixel) {
    return float(pixels) * twipsPerPixel;
}

// Removes blanks (spaces only) at both ends.
std::string Trim(std::string_view text);
// The last n characters (code points) of UTF-8 text.
std::string Right(std::string_view text, std::size_t n);
std::string UCase(std::string_view text);

// The shortest decimal text that reads back to the same single-precision value,
// independent of the locale: "2085", "1234.5".
std::string SingleToText(float value);
// Reads decimal text written by SingleToText or by a comma-decimal locale
// ("1234,5"), with blanks around it. Nothing for text that is not a finite
// single-precision number.
std::optional<float> TextToSingle(std::string_view text);

} // namespace zorvane
