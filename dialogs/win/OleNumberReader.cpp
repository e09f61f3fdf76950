#include "dialogs/win/OleNumberReader.h"

#include <windows.h>

#include <oleauto.h>

#include "win/AutomationValues.h"

namespace corvane::win {
namespace {

// OLE Automation misreads exponents beyond 32 bits (under Wine "1e4294967296" reads as 1 and
// "1e2147483648" brings the process down) and long runs of digits (500 digits overflow a float,
// 2000 read as 0). So range and overflow are decided by the exact reading first, and OLE
// Automation only ever sees the number rewritten as 0.digits x 10^exponent with the exponent at
// least minExponent (and, the range being checked, small) and at most kOleDigits digits. nullopt:
// the exact reading's value stands (zero, a magnitude below the window, or too many digits).
constexpr std::size_t kOleDigits = 100;

std::optional<std::string> TextForOle(std::string_view text, std::string_view separator,
                                      std::int64_t minExponent) {
  const auto number = ReadDecimal(text, separator);
  if (!number || number->IsZero() || number->exponent < minExponent ||
      number->digits.size() > kOleDigits) {
    return std::nullopt;
  }
  return number->Normalized(separator);
}

}  // namespace

std::string UserDecimalSeparator() {
  wchar_t separator[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) <= 1) return ".";
  return Narrow(separator);
}

std::optional<float> OleNumberReader::ToSingle(std::string_view text) const {
  // Beyond the float range: refused. Zero, below 10^-46 or very long: the exact reading.
  const auto checked = PlainNumberReader(decimalSeparator_).ToSingle(text);
  if (!checked) return std::nullopt;
  const auto ole = TextForOle(text, decimalSeparator_, -46);
  if (!ole) return checked;
  const Bstr value = Bstr::FromUtf8(*ole);
  FLOAT result = 0.0f;
  if (FAILED(VarR4FromStr(value.Get(), LOCALE_USER_DEFAULT, 0, &result))) return std::nullopt;
  return result;
}

std::optional<std::int16_t> OleNumberReader::ToInt16(std::string_view text) const {
  // Beyond -32768..32767 after rounding: refused. Zero, below 0.1 or very long: the exact
  // reading.
  const auto checked = PlainNumberReader(decimalSeparator_).ToInt16(text);
  if (!checked) return std::nullopt;
  const auto ole = TextForOle(text, decimalSeparator_, 0);
  if (!ole) return checked;
  const Bstr value = Bstr::FromUtf8(*ole);
  SHORT result = 0;
  if (FAILED(VarI2FromStr(value.Get(), LOCALE_USER_DEFAULT, 0, &result))) return std::nullopt;
  return result;
}

}  // namespace corvane::win
