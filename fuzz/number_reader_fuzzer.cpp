// Fuzzes the portable number reader: any text, with a point, a comma or a two-byte decimal
// separator (the first byte of the input picks it). Checked on every input:
// - a text is read exactly when it is a plain number;
// - a float read is the correctly rounded value of the text (glibc's strtof as the reference),
//   and a text beyond the float range is refused; a float read reads back from its own text;
// - a 16-bit value read is the text's value rounded half to even, and one refused lies beyond
//   -32768..32767 (long double as the reference, the exact digits decide where it cannot);
// - the rewritten form that OLE Automation is given reads as the same number.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "dialogs/NumberReader.h"

namespace {

[[noreturn]] void Fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "number reader: %s for \"%.*s\"\n", what, static_cast<int>(text.size()),
               text.data());
  std::abort();
}

// The plain text in C form: blanks and a leading '+' dropped, the separator made a point.
std::string CText(std::string_view text, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (text.substr(i, separator.size()) == separator) {
      out += '.';
      i += separator.size();
    } else {
      if (text[i] != ' ' && text[i] != '\t') out += text[i];
      ++i;
    }
  }
  return out;
}

bool SameFloat(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckSingle(const corvane::PlainNumberReader& reader, std::string_view text,
                 std::string_view separator, const std::string& c) {
  const auto value = reader.ToSingle(text);
  errno = 0;
  const float expected = std::strtof(c.c_str(), nullptr);
  if (std::isinf(expected)) {
    if (value) Fail("a float beyond the range was accepted", text);
    return;
  }
  if (!value) Fail("a float within the range was refused", text);
  if (!SameFloat(*value, expected)) Fail("a float read is not the nearest float", text);
  // Its own shortest text reads back to it.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(*value));
  std::string back(buffer);
  if (const auto point = back.find('.'); point != std::string::npos) {
    back.replace(point, 1, separator);
  }
  const auto again = reader.ToSingle(back);
  if (!again || !SameFloat(*again, *value)) Fail("a float does not read back from its text", text);
}

void CheckInt16(const corvane::PlainNumberReader& reader, std::string_view text,
                const std::string& c) {
  const auto value = reader.ToInt16(text);
  const long double exact = std::strtold(c.c_str(), nullptr);
  const long double down = std::floor(exact);
  const long double fraction = exact - down;
  // Where long double cannot tell a half from its neighbours, either neighbour may be right.
  const bool nearHalf = std::fabs(fraction - 0.5L) < 1e-12L * (1.0L + std::fabs(exact));
  if (value) {
    const long double v = *value;
    if (nearHalf ? (v != down && v != down + 1.0L) : v != std::nearbyint(exact)) {
      Fail("a 16-bit value read is not the rounded value", text);
    }
    return;
  }
  if (exact > -32768.4L && exact < 32767.4L) Fail("a 16-bit value in range was refused", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the decimal separator: ',' a comma, 0xD9 the two-byte Arabic one
  // (U+066B), anything else the point.
  const std::string_view separator = data[0] == ',' ? "," : data[0] == 0xD9 ? "\xD9\xAB" : ".";
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const corvane::PlainNumberReader reader{std::string(separator)};

  const auto number = corvane::ReadDecimal(text, separator);
  const bool plain = corvane::IsPlainNumber(text, separator);
  if (number.has_value() != plain) Fail("ReadDecimal and IsPlainNumber disagree", text);
  if (!plain) {
    if (reader.ToSingle(text) || reader.ToInt16(text))
      Fail("a text that is no number was read", text);
    return 0;
  }
  const std::string c = CText(text, separator);
  CheckSingle(reader, text, separator, c);
  CheckInt16(reader, text, c);

  // The form given to OLE Automation reads as the same number.
  const std::string normalized = number->Normalized(separator);
  const auto again = corvane::ReadDecimal(normalized, separator);
  if (!again || again->negative != number->negative || again->digits != number->digits ||
      (std::llabs(number->exponent) < corvane::DecimalNumber::kExponentLimit &&
       again->exponent != number->exponent)) {
    Fail("the rewritten form is another number", text);
  }
  return 0;
}
