#include "link/numbers.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kline {

namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

void ReplacePoint(std::string& text, char separator) {
  for (char& c : text) {
    if (c == '.') c = separator;
  }
}

}  // namespace

double LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::string number;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.push_back(text[i++]);
  bool any_digit = false;
  while (i < text.size() && IsDigit(text[i])) {
    number.push_back(text[i++]);
    any_digit = true;
  }
  if (i < text.size() && text[i] == '.') {
    number.push_back(text[i++]);
    while (i < text.size() && IsDigit(text[i])) {
      number.push_back(text[i++]);
      any_digit = true;
    }
  }
  if (!any_digit) return 0.0;
  if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    std::string exponent = "e";
    if (text[j] == '+' || text[j] == '-') exponent.push_back(text[j++]);
    bool exp_digit = false;
    while (j < text.size() && IsDigit(text[j])) {
      exponent.push_back(text[j++]);
      exp_digit = true;
    }
    if (exp_digit) number += exponent;
  }
  const double value = std::strtod(number.c_str(), nullptr);
  return std::isfinite(value) ? value : 0.0;
}

int64_t RoundHalfEven(double value) {
  if (!std::isfinite(value)) return 0;
  constexpr double kLimit = 9.2e18;
  if (value > kLimit) value = kLimit;
  if (value < -kLimit) value = -kLimit;
  return static_cast<int64_t>(std::nearbyint(value));  // default rounding mode: half to even
}

std::string PlainNumber(double value, char decimal_separator) {
  if (value == 0.0) return "0";  // also folds -0 into 0
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string text = buffer;
  if (text.find('e') != std::string::npos) {
    // Outside %g's plain range: write the digits out in full, trimmed of trailing zeros.
    std::snprintf(buffer, sizeof buffer, "%.15f", value);
    text = buffer;
    if (text.find('.') != std::string::npos) {
      while (text.back() == '0') text.pop_back();
      if (text.back() == '.') text.pop_back();
    }
  }
  ReplacePoint(text, decimal_separator);
  return text;
}

std::string TwoDecimals(double value, char decimal_separator) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  std::string text = buffer;
  while (text.back() == '0') text.pop_back();
  // "0." and "-0." have only the mandatory zero left before the point: drop it.
  const bool negative = text.front() == '-';
  const size_t digits_start = negative ? 1 : 0;
  if (text.compare(digits_start, 2, "0.") == 0) text.erase(digits_start, 1);
  if (text == "-.") text = ".";
  ReplacePoint(text, decimal_separator);
  return text;
}

}  // namespace kline
