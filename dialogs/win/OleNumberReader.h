// Typed text to numbers in the user's number format with OLE Automation (VarR4FromStr,
// VarI2FromStr: the user's locale, 16-bit rounding half to even). Only a plain number with the
// user's decimal separator gets that far: OLE Automation alone would also take digit-group
// separators, turning "1,5" into 15 in an English locale. Range and overflow are decided by the
// exact portable reading before, and OLE Automation sees the number with a small exponent only.
#pragma once

#include <string>

#include "dialogs/NumberReader.h"

namespace corvane::win {

// The user's decimal separator (LOCALE_SDECIMAL of the user's default locale), UTF-8.
std::string UserDecimalSeparator();

class OleNumberReader final : public NumberReader {
 public:
  OleNumberReader() : decimalSeparator_(UserDecimalSeparator()) {}
  std::optional<float> ToSingle(std::string_view text) const override;
  std::optional<std::int16_t> ToInt16(std::string_view text) const override;

  const std::string& DecimalSeparator() const { return decimalSeparator_; }

 private:
  std::string decimalSeparator_;
};

}  // namespace corvane::win
