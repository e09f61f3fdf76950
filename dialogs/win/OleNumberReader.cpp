#include "dialogs/win/OleNumberReader.h"

#include <windows.h>

#include <oleauto.h>

#include "host/win/AutomationValues.h"

namespace corvane::win {

std::string UserDecimalSeparator() {
  wchar_t separator[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) <= 1) return ".";
  return Narrow(separator);
}

std::optional<float> OleNumberReader::ToSingle(std::string_view text) const {
  if (!IsPlainNumber(text, decimalSeparator_)) return std::nullopt;
  const Bstr value = Bstr::FromUtf8(text);
  FLOAT result = 0.0f;
  if (FAILED(VarR4FromStr(value.Get(), LOCALE_USER_DEFAULT, 0, &result))) return std::nullopt;
  return result;
}

std::optional<std::int16_t> OleNumberReader::ToInt16(std::string_view text) const {
  if (!IsPlainNumber(text, decimalSeparator_)) return std::nullopt;
  const Bstr value = Bstr::FromUtf8(text);
  SHORT result = 0;
  if (FAILED(VarI2FromStr(value.Get(), LOCALE_USER_DEFAULT, 0, &result))) return std::nullopt;
  return result;
}

}  // namespace corvane::win
