#include "dialogs/NumberReader.h"

#include <charconv>
#include <cmath>
#include <utility>

namespace corvane {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The text between the blanks, with the decimal separator replaced by '.' and a leading '+'
// dropped, ready for std::from_chars; nullopt when it is not a plain number.
std::optional<std::string> Canonical(std::string_view text, std::string_view separator) {
  if (!IsPlainNumber(text, separator)) return std::nullopt;
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::string result;
  result.reserve(end - begin);
  std::size_t i = begin;
  if (i < end && text[i] == '+') ++i;
  while (i < end) {
    if (!separator.empty() && text.substr(i, separator.size()) == separator) {
      result += '.';
      i += separator.size();
    } else {
      result += text[i];
      ++i;
    }
  }
  return result;
}

// True when a canonical number that from_chars found out of range is too large (rather than too
// small) for the type: its decimal exponent, counted from the first significant digit, is
// positive.
bool IsTooLarge(std::string_view canonical) {
  if (!canonical.empty() && canonical.front() == '-') canonical.remove_prefix(1);
  const auto mark = canonical.find_first_of("eE");
  long exponent = 0;
  if (mark != std::string_view::npos) {
    std::string_view digits = canonical.substr(mark + 1);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (std::from_chars(digits.data(), digits.data() + digits.size(), exponent).ec != std::errc()) {
      // An exponent beyond a long: its sign decides.
      return digits.front() != '-';
    }
  }
  const std::string_view mantissa = canonical.substr(0, mark);
  const auto point = mantissa.find('.');
  const std::string_view whole = mantissa.substr(0, point);
  const auto firstWhole = whole.find_first_not_of('0');
  if (firstWhole != std::string_view::npos) {
    return exponent + static_cast<long>(whole.size() - firstWhole) > 0;
  }
  // Only a fraction: its leading zeros lower the magnitude.
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : mantissa.substr(point + 1);
  const auto firstFraction = fraction.find_first_not_of('0');
  if (firstFraction == std::string_view::npos) return false;  // zero never overflows
  return exponent - static_cast<long>(firstFraction) > 0;
}

// The text's value as the nearest double; nullopt when it lies beyond the double range. A value
// too small for a double reads as zero.
std::optional<double> ToDouble(const std::string& canonical) {
  double value = 0.0;
  const auto [ptr, ec] =
      std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (IsTooLarge(canonical)) return std::nullopt;
    return canonical.front() == '-' ? -0.0 : 0.0;
  }
  if (ec != std::errc() || ptr != canonical.data() + canonical.size()) return std::nullopt;
  return value;
}

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

PlainNumberReader::PlainNumberReader(std::string decimalSeparator)
    : decimalSeparator_(std::move(decimalSeparator)) {}

std::optional<float> PlainNumberReader::ToSingle(std::string_view text) const {
  const auto canonical = Canonical(text, decimalSeparator_);
  if (!canonical) return std::nullopt;
  float value = 0.0f;
  const auto [ptr, ec] =
      std::from_chars(canonical->data(), canonical->data() + canonical->size(), value);
  if (ec == std::errc() && ptr == canonical->data() + canonical->size()) return value;
  if (ec != std::errc::result_out_of_range) return std::nullopt;
  // Out of range: beyond the float range is a failure, below its smallest value reads as zero.
  if (IsTooLarge(*canonical)) return std::nullopt;
  return canonical->front() == '-' ? -0.0f : 0.0f;
}

std::optional<std::int16_t> PlainNumberReader::ToInt16(std::string_view text) const {
  const auto canonical = Canonical(text, decimalSeparator_);
  if (!canonical) return std::nullopt;
  const auto value = ToDouble(*canonical);
  if (!value) return std::nullopt;
  // To the nearest integer, a half to the even one, whatever the rounding mode of the thread.
  const double down = std::floor(*value);
  const double fraction = *value - down;
  double rounded = down;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(down, 2.0) != 0.0)) rounded = down + 1.0;
  if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
  return static_cast<std::int16_t>(rounded);
}

}  // namespace corvane
