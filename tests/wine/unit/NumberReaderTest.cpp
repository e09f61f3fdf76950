// Typed text to numbers with OLE Automation in the user's locale. The English cases run in an
// en-US Wine process, the German ones (names containing "German") in a de-DE one.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dialogs/win/OleNumberReader.h"

namespace corvane::win {
namespace {

class OleNumberReaderEnglish : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(reader.DecimalSeparator(), "."); }
  OleNumberReader reader;
};

TEST_F(OleNumberReaderEnglish, ReadsPlainNumbersWithThePoint) {
  EXPECT_EQ(reader.ToSingle("6"), 6.0f);
  EXPECT_EQ(reader.ToSingle(" 2 "), 2.0f);
  EXPECT_EQ(reader.ToSingle("-3"), -3.0f);
  EXPECT_EQ(reader.ToSingle("0.5"), 0.5f);
  EXPECT_EQ(reader.ToSingle("0.01"), 0.01f);
  EXPECT_EQ(reader.ToSingle("2.00"), 2.0f);
  EXPECT_EQ(reader.ToSingle("1e3"), 1000.0f);
  EXPECT_EQ(reader.ToInt16("15"), std::int16_t{15});
}

TEST_F(OleNumberReaderEnglish, RefusesGroupSeparatorsAndOtherSeparators) {
  // OLE Automation alone reads "1,5" as 15.
  EXPECT_EQ(reader.ToSingle("1,5"), std::nullopt);
  EXPECT_EQ(reader.ToInt16("1,5"), std::nullopt);
  EXPECT_EQ(reader.ToSingle("1,000"), std::nullopt);
  EXPECT_EQ(reader.ToSingle("$5"), std::nullopt);
}

TEST_F(OleNumberReaderEnglish, RefusesTextThatIsNoNumber) {
  EXPECT_EQ(reader.ToSingle(""), std::nullopt);
  EXPECT_EQ(reader.ToSingle("   "), std::nullopt);
  EXPECT_EQ(reader.ToSingle("abc"), std::nullopt);
  EXPECT_EQ(reader.ToSingle("5abc"), std::nullopt);
  EXPECT_EQ(reader.ToInt16("abc"), std::nullopt);
}

TEST_F(OleNumberReaderEnglish, RoundsToInt16HalfToEven) {
  EXPECT_EQ(reader.ToInt16("10.4"), std::int16_t{10});
  EXPECT_EQ(reader.ToInt16("10.5"), std::int16_t{10});
  EXPECT_EQ(reader.ToInt16("11.5"), std::int16_t{12});
  EXPECT_EQ(reader.ToInt16("10.6"), std::int16_t{11});
  EXPECT_EQ(reader.ToInt16("2.5"), std::int16_t{2});
  EXPECT_EQ(reader.ToInt16("-2.5"), std::int16_t{-2});
}

TEST_F(OleNumberReaderEnglish, RefusesNumbersOutsideTheTargetRange) {
  EXPECT_EQ(reader.ToInt16("32767"), std::int16_t{32767});
  EXPECT_EQ(reader.ToInt16("-32768"), std::int16_t{-32768});
  EXPECT_EQ(reader.ToInt16("40000"), std::nullopt);
  EXPECT_EQ(reader.ToInt16("32768"), std::nullopt);
  EXPECT_EQ(reader.ToInt16("-32769"), std::nullopt);
  EXPECT_EQ(reader.ToSingle("1e39"), std::nullopt);
  EXPECT_EQ(reader.ToSingle("-1e39"), std::nullopt);
}

// OLE Automation alone misreads exponents beyond 32 bits ("1e4294967296" as 1) or brings the
// process down ("1e2147483648"): every exponent, and every length of digits, must give the right
// value or a refusal.
TEST_F(OleNumberReaderEnglish, ReadsExponentsOfAnyLength) {
  const std::string many(1000, '9');
  const std::string zeros(1000, '0');
  for (const std::string& text : std::vector<std::string>{
           "1e2147483648", "1e4294967296", "1e4294967297", "1e9223372036854775807",
           "-1e18446744073709551617", "1e" + many, "0." + zeros + "1e1040"}) {
    EXPECT_EQ(reader.ToSingle(text), std::nullopt) << text.substr(0, 40);
    EXPECT_EQ(reader.ToInt16(text), std::nullopt) << text.substr(0, 40);
  }
  for (const std::string& text :
       std::vector<std::string>{"1e-2147483648", "1e-4294967296", "1e-4294967295",
                                "0.01e-9223372036854775808", "1e-400", "1e-" + many}) {
    EXPECT_EQ(reader.ToSingle(text), 0.0f) << text.substr(0, 40);
    EXPECT_EQ(reader.ToInt16(text), std::int16_t{0}) << text.substr(0, 40);
  }
  EXPECT_EQ(reader.ToSingle("1e" + zeros + "3"), 1000.0f);
  EXPECT_EQ(reader.ToInt16("3e+" + zeros + "1"), std::int16_t{30});
  EXPECT_EQ(reader.ToSingle("0." + zeros + "15e1001"), 1.5f);
  EXPECT_EQ(reader.ToInt16("25" + zeros + "e-1001"), std::int16_t{2});
  EXPECT_EQ(reader.ToSingle("-2.5e-1"), -0.25f);
  // Long runs of digits: OLE Automation alone overflows a float on 500 digits and reads 2000
  // digits of 2.5000...1 as 0.
  EXPECT_EQ(reader.ToSingle("1." + zeros + "1"), 1.0f);
  EXPECT_EQ(reader.ToInt16("2.5" + zeros + zeros + "1"), std::int16_t{3});
  EXPECT_EQ(reader.ToInt16("-7." + zeros + "1e-0"), std::int16_t{-7});
}

class OleNumberReaderGerman : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(reader.DecimalSeparator(), ","); }
  OleNumberReader reader;
};

TEST_F(OleNumberReaderGerman, ReadsTheCommaAsDecimalSeparator) {
  EXPECT_EQ(reader.ToSingle("0,5"), 0.5f);
  EXPECT_EQ(reader.ToSingle(" 2,25 "), 2.25f);
  EXPECT_EQ(reader.ToSingle("6"), 6.0f);
  EXPECT_EQ(reader.ToInt16("10,5"), std::int16_t{10});
  EXPECT_EQ(reader.ToInt16("11,5"), std::int16_t{12});
}

TEST_F(OleNumberReaderGerman, RefusesThePoint) {
  // OLE Automation alone reads "0.5" as 5 in a German locale.
  EXPECT_EQ(reader.ToSingle("0.5"), std::nullopt);
  EXPECT_EQ(reader.ToInt16("1.000"), std::nullopt);
  EXPECT_EQ(reader.ToInt16("40000"), std::nullopt);
}

TEST_F(OleNumberReaderGerman, ReadsExponentsOfAnyLengthWithTheComma) {
  EXPECT_EQ(reader.ToSingle("1,5e4294967296"), std::nullopt);
  EXPECT_EQ(reader.ToSingle("0,01e-9223372036854775808"), 0.0f);
  EXPECT_EQ(reader.ToSingle("2,5e-" + std::string(1000, '0') + "1"), 0.25f);
  EXPECT_EQ(reader.ToInt16("12,5e-00001"), std::int16_t{1});
  EXPECT_EQ(reader.ToSingle("1.5e4294967296"), std::nullopt);
}

}  // namespace
}  // namespace corvane::win
