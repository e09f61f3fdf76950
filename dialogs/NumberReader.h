// Conversion of typed text to numbers in the user's number format. The Windows shell implements
// it with OLE Automation in the user's locale; the portable implementation reads the same plain
// form with a given decimal separator. Both accept only a plain number: blanks, a sign, digits,
// the decimal separator, digits, an optional exponent, blanks. Digit-group separators are
// refused, so "1,5" can never silently become 15.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

class NumberReader {
 public:
  virtual ~NumberReader() = default;
  // nullopt: not a plain number, or outside the range of a 32-bit float.
  virtual std::optional<float> ToSingle(std::string_view text) const = 0;
  // Rounded to the nearest integer, a half to the even one; nullopt: not a plain number, or
  // outside -32768..32767 after rounding.
  virtual std::optional<std::int16_t> ToInt16(std::string_view text) const = 0;
};

// True when text is a plain number with the given decimal separator (UTF-8, one or more bytes).
bool IsPlainNumber(std::string_view text, std::string_view decimalSeparator);

// A plain number taken apart exactly: its value is (negative ? -1 : 1) x 0.digits x 10^exponent.
// digits are the significant digits without leading or trailing zeros (empty for zero), so the
// value's magnitude lies in [10^(exponent-1), 10^exponent). The exponent saturates at
// +-kExponentLimit, far beyond any number a float can hold, so no exponent, however long, can
// wrap around into a small one.
struct DecimalNumber {
  static constexpr std::int64_t kExponentLimit = 1'000'000'000'000'000;
  bool negative = false;
  std::string digits;
  std::int64_t exponent = 0;

  bool IsZero() const { return digits.empty(); }
  // The same value as "[-]0<separator><digits>e<exponent>", whose exponent is small whenever the
  // value is neither huge nor tiny.
  std::string Normalized(std::string_view decimalSeparator) const;
};

// nullopt when text is not a plain number with the given decimal separator.
std::optional<DecimalNumber> ReadDecimal(std::string_view text, std::string_view decimalSeparator);

// The portable reader: the plain form with the given decimal separator, '.' by default.
class PlainNumberReader final : public NumberReader {
 public:
  explicit PlainNumberReader(std::string decimalSeparator = ".");
  std::optional<float> ToSingle(std::string_view text) const override;
  std::optional<std::int16_t> ToInt16(std::string_view text) const override;

 private:
  std::string decimalSeparator_;
};

}  // namespace corvane
