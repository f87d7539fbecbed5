#pragma once
// The text forms of numbers: how results and settings are shown, and the
// strict reading of what the user typed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plotrun {

// Decimal digits, a leading "-" when negative.
std::string formatWhole(int64_t value);

// The general format with 15 significant digits: fixed form for decimal
// exponents from -3 to 15, otherwise d.dddE-x; halves round away from zero;
// zero (also -0) is "0".
std::string formatReal(double value, std::string_view decimalSeparator);
// The same, added to the end of `out`.
void appendReal(std::string& out, double value, std::string_view decimalSeparator);

// A decimal number: optional sign, digits with an optional fraction after
// the decimal separator, optional exponent. Blanks around it are allowed.
// Empty, malformed or overflowing text gives nothing.
std::optional<double> readReal(std::string_view text, std::string_view decimalSeparator);

// A bitmap coordinate: read as a real number and truncated toward zero.
std::optional<double> readBitmap(std::string_view text, std::string_view decimalSeparator);

// A whole number in decimal notation within the 32-bit range.
std::optional<int32_t> readWhole(std::string_view text);

} // namespace plotrun
