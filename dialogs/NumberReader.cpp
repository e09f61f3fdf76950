#include "dialogs/NumberReader.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <utility>

namespace corvane {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Saturating: a count of digits that could not matter beyond the exponent limit.
std::int64_t Count(std::size_t n) {
  return static_cast<std::int64_t>(
      std::min<std::size_t>(n, static_cast<std::size_t>(DecimalNumber::kExponentLimit)));
}

// A float holds magnitudes up to 3.40282347e38 and rounds those below half its smallest step
// (1.4e-45) to zero: a number outside 10^-46 .. 10^39 is decided by its exponent alone.
constexpr std::int64_t kSingleMaxExponent = 39;
constexpr std::int64_t kSingleMinExponent = -46;

}  // namespace

bool IsPlainNumber(std::string_view text, std::string_view decimalSeparator) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && IsDigit(text[i])) ++i, ++digits;
  if (!decimalSeparator.empty() && text.substr(i, decimalSeparator.size()) == decimalSeparator) {
    i += decimalSeparator.size();
    while (i < n && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  while (i < n && IsBlank(text[i])) ++i;
  return i == n;
}

std::string DecimalNumber::Normalized(std::string_view decimalSeparator) const {
  std::string text = negative ? "-0" : "0";
  text += decimalSeparator;
  text += digits.empty() ? "0" : digits;
  text += 'e';
  text += std::to_string(exponent);
  return text;
}

std::optional<DecimalNumber> ReadDecimal(std::string_view text, std::string_view decimalSeparator) {
  if (!IsPlainNumber(text, decimalSeparator)) return std::nullopt;
  DecimalNumber number;
  std::size_t i = 0;
  while (IsBlank(text[i])) ++i;
  if (text[i] == '+' || text[i] == '-') number.negative = text[i++] == '-';
  std::size_t wholeDigits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++wholeDigits) number.digits += text[i];
  if (!decimalSeparator.empty() && text.substr(i, decimalSeparator.size()) == decimalSeparator) {
    for (i += decimalSeparator.size(); i < text.size() && IsDigit(text[i]); ++i) {
      number.digits += text[i];
    }
  }
  std::int64_t exponent = 0;
  bool exponentNegative = false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (text[i] == '+' || text[i] == '-') exponentNegative = text[i++] == '-';
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      exponent = std::min(exponent * 10 + (text[i] - '0'), DecimalNumber::kExponentLimit);
    }
  }
  const std::size_t leadingZeros =
      std::min(number.digits.find_first_not_of('0'), number.digits.size());
  number.digits.erase(0, leadingZeros);
  if (number.digits.empty()) return number;
  number.digits.erase(number.digits.find_last_not_of('0') + 1);
  // Both terms lie within +-kExponentLimit, so the sum cannot overflow.
  number.exponent =
      (exponentNegative ? -exponent : exponent) + (Count(wholeDigits) - Count(leadingZeros));
  return number;
}

PlainNumberReader::PlainNumberReader(std::string decimalSeparator)
    : decimalSeparator_(std::move(decimalSeparator)) {}

std::optional<float> PlainNumberReader::ToSingle(std::string_view text) const {
  const auto number = ReadDecimal(text, decimalSeparator_);
  if (!number) return std::nullopt;
  const float zero = number->negative ? -0.0f : 0.0f;
  if (number->IsZero() || number->exponent < kSingleMinExponent) return zero;
  if (number->exponent > kSingleMaxExponent) return std::nullopt;
  // Rounded once, from the exact digits, to the nearest float.
  const std::string canonical = number->Normalized(".");
  float value = 0.0f;
  const auto [ptr, ec] =
      std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (number->exponent > 0) return std::nullopt;
    return zero;
  }
  if (ec != std::errc() || ptr != canonical.data() + canonical.size()) return std::nullopt;
  return value;
}

std::optional<std::int16_t> PlainNumberReader::ToInt16(std::string_view text) const {
  const auto number = ReadDecimal(text, decimalSeparator_);
  if (!number) return std::nullopt;
  // Magnitudes of 10^5 and more are beyond 16 bits; below 0.1 they round to zero.
  if (number->exponent > 5) return std::nullopt;
  if (number->IsZero() || number->exponent < 0) return std::int16_t{0};
  // To the nearest integer, a half to the even one, decided on the exact digits.
  const auto wholeCount = static_cast<std::size_t>(number->exponent);
  const std::string& digits = number->digits;
  std::int32_t magnitude = 0;
  for (std::size_t k = 0; k < wholeCount; ++k) {
    magnitude = magnitude * 10 + (k < digits.size() ? digits[k] - '0' : 0);
  }
  if (wholeCount < digits.size()) {
    // The fraction has no trailing zeros: a 5 followed by anything is more than a half.
    const char first = digits[wholeCount];
    const bool more = digits.size() > wholeCount + 1;
    if (first > '5' || (first == '5' && (more || magnitude % 2 != 0))) ++magnitude;
  }
  const std::int32_t value = number->negative ? -magnitude : magnitude;
  if (value < -32768 || value > 32767) return std::nullopt;
  return static_cast<std::int16_t>(value);
}

}  // namespace corvane
