// Number reading and writing shared by the settings, the port field and the displays.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kline {

// The leading numeric part of a text (blanks, sign, digits, fraction, exponent), 0 when
// there is none: "04" gives 4, "3.5x" gives 3.5, "abc" gives 0.
double LeadingNumber(std::string_view text);

// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int64_t RoundHalfEven(double value);

// The shortest decimal text of a value with up to 15 significant digits: no exponent for
// ordinary magnitudes, no separator for whole numbers, "0" before the separator below 1.
std::string PlainNumber(double value, char decimal_separator = '.');

// Rounded to two decimals, no leading zero before the separator, no trailing zeros after
// it, the separator always written: 30.006 -> "30.01", 0.0684 -> ".07", 125 -> "125.".
std::string TwoDecimals(double value, char decimal_separator = '.');

}  // namespace kline
