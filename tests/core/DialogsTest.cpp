#include "dialogs/Dialogs.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "dialogs/NumberReader.h"

namespace corvane {
namespace {

TEST(PlainNumber, AcceptsBlanksSignDigitsSeparatorAndExponent) {
  for (const char* text : {"6", " 2 ", "-3", "+4", "1e3", "1E-3", "2.5e+2", "10.5", "5.", ".5",
                           "\t7\t", "0", "-0.25"}) {
    EXPECT_TRUE(IsPlainNumber(text, ".")) << text;
  }
}

TEST(PlainNumber, RefusesEverythingElse) {
  for (const char* text : {"", " ", "abc", ".", "-", "+.", "1,5", "1.000,5", "1e", "1e+", "e5",
                           "1.2.3", "- 3", "3-", "0x10", "1 2", "inf", "nan", "1,"}) {
    EXPECT_FALSE(IsPlainNumber(text, ".")) << text;
  }
}

TEST(PlainNumber, UsesTheGivenDecimalSeparator) {
  EXPECT_TRUE(IsPlainNumber("0,5", ","));
  EXPECT_FALSE(IsPlainNumber("0.5", ","));
  EXPECT_TRUE(
      IsPlainNumber("1\xC2\xA0"
                    "5",
                    "\xC2\xA0"));  // a multi-byte separator
  const PlainNumberReader comma(",");
  EXPECT_EQ(comma.ToSingle(" -0,5 "), -0.5f);
  EXPECT_EQ(comma.ToSingle("0.5"), std::nullopt);
}

TEST(PlainNumberReader, ReadsTheNearestFloat) {
  const PlainNumberReader reader;
  EXPECT_EQ(reader.ToSingle("6"), 6.0f);
  EXPECT_EQ(reader.ToSingle("0.01"), 0.01f);
  EXPECT_EQ(reader.ToSingle("2.00"), 2.0f);
  EXPECT_EQ(reader.ToSingle("1e3"), 1000.0f);
  EXPECT_EQ(reader.ToSingle(".5"), 0.5f);
  EXPECT_EQ(reader.ToSingle("5."), 5.0f);
  // Rounded once, from the text: going through double first would give 1.00000012.
  EXPECT_EQ(reader.ToSingle("1.000000059604644775390625000001"), 1.00000012f);
  EXPECT_EQ(reader.ToSingle("3.4028235e38"), std::numeric_limits<float>::max());
}

TEST(PlainNumberReader, RefusesFloatsBeyondTheRangeAndReadsTinyOnesAsZero) {
  const PlainNumberReader reader;
  EXPECT_EQ(reader.ToSingle("3.5e38"), std::nullopt);
  EXPECT_EQ(reader.ToSingle("-1e39"), std::nullopt);
  EXPECT_EQ(reader.ToSingle("1e400"), std::nullopt);
  EXPECT_EQ(reader.ToSingle("123456789012345678901234567890123456789012"), std::nullopt);
  EXPECT_EQ(reader.ToSingle("1e-50"), 0.0f);
  EXPECT_EQ(reader.ToSingle("0.0000000000000000000000000000000000000000000000000001"), 0.0f);
  EXPECT_EQ(reader.ToSingle("abc"), std::nullopt);
  EXPECT_EQ(reader.ToSingle(""), std::nullopt);
}

TEST(PlainNumberReader, RoundsTo16BitHalfToEven) {
  const PlainNumberReader reader;
  EXPECT_EQ(reader.ToInt16("10.4"), 10);
  EXPECT_EQ(reader.ToInt16("10.5"), 10);
  EXPECT_EQ(reader.ToInt16("11.5"), 12);
  EXPECT_EQ(reader.ToInt16("10.6"), 11);
  EXPECT_EQ(reader.ToInt16("2.5"), 2);
  EXPECT_EQ(reader.ToInt16("3.5"), 4);
  EXPECT_EQ(reader.ToInt16("-2.5"), -2);
  EXPECT_EQ(reader.ToInt16("32767"), 32767);
  EXPECT_EQ(reader.ToInt16("-32768"), -32768);
  EXPECT_EQ(reader.ToInt16("32767.5"), std::nullopt);
  EXPECT_EQ(reader.ToInt16("40000"), std::nullopt);
  EXPECT_EQ(reader.ToInt16("1e300"), std::nullopt);
  EXPECT_EQ(reader.ToInt16("1e-300"), 0);
  EXPECT_EQ(reader.ToInt16("five"), std::nullopt);
}

// An exponent of any length gives the right value or a refusal: the exponent is read with
// saturation, so a huge one cannot wrap around into a small one.
TEST(PlainNumberReader, ReadsExponentsOfAnyLength) {
  const PlainNumberReader reader;
  const std::string many(1000, '9');
  const std::string zeros(1000, '0');
  for (const std::string& text : std::vector<std::string>{
           "1e9223372036854775807", "1e9223372036854775808", "0.01e9223372036854775807",
           "1e18446744073709551617", "1e2147483648", "1e4294967296", "1e" + many, "-1e" + many,
           "0." + zeros + "1e1040"}) {
    EXPECT_EQ(reader.ToSingle(text), std::nullopt) << text;
    EXPECT_EQ(reader.ToInt16(text), std::nullopt) << text;
  }
  for (const std::string& text : std::vector<std::string>{
           "0.01e-9223372036854775808", "1e-9223372036854775809", "1e-2147483649", "1e-400",
           "1e-" + many, "5e-" + zeros + "100", "1" + zeros + "e-1047"}) {
    EXPECT_EQ(reader.ToSingle(text), 0.0f) << text;
    EXPECT_EQ(reader.ToInt16(text), 0) << text;
  }
  EXPECT_EQ(reader.ToSingle("-1e-400"), -0.0f);
  EXPECT_EQ(reader.ToSingle("1e" + zeros + "3"), 1000.0f);
  EXPECT_EQ(reader.ToInt16("1e+" + zeros + "3"), 1000);
  EXPECT_EQ(reader.ToSingle("2.5e-" + zeros + "1"), 0.25f);
  EXPECT_EQ(reader.ToSingle("0." + zeros + "15e1001"), 1.5f);
  EXPECT_EQ(reader.ToInt16("15" + zeros + "e-1000"), 15);
  EXPECT_EQ(reader.ToSingle("1e-45"), std::numeric_limits<float>::denorm_min());
  EXPECT_EQ(reader.ToSingle("3.4028235e38"), std::numeric_limits<float>::max());
  EXPECT_EQ(reader.ToSingle("0.34028235e39"), std::numeric_limits<float>::max());
}

// 16-bit rounding decides on the exact decimal value: a trip through double would round
// 2.50000000000000000001 down to 2 and refuse 32767.49999999999999999.
TEST(PlainNumberReader, Rounds16BitFromTheExactDigits) {
  const PlainNumberReader reader;
  EXPECT_EQ(reader.ToInt16("2.50000000000000000001"), 3);
  EXPECT_EQ(reader.ToInt16("-2.50000000000000000001"), -3);
  EXPECT_EQ(reader.ToInt16("32767.49999999999999999"), 32767);
  EXPECT_EQ(reader.ToInt16("-32768.5"), -32768);
  EXPECT_EQ(reader.ToInt16("-32768.50000000000000001"), std::nullopt);
  EXPECT_EQ(reader.ToInt16("0.5"), 0);
  EXPECT_EQ(reader.ToInt16("0.50001"), 1);
  EXPECT_EQ(reader.ToInt16("0.0999e1"), 1);
}

const PlainNumberReader kReader;

TEST(InitialExposureDialog, AcceptsAnyNumberAndRejectsText) {
  InitialExposureDialog dialog;
  dialog.BeginShowing();
  EXPECT_FALSE(dialog.DataValid());
  EXPECT_EQ(dialog.Accept("abc", kReader), OkResult::Rejected);
  EXPECT_EQ(dialog.Accept("", kReader), OkResult::Rejected);
  EXPECT_FALSE(dialog.DataValid());
  EXPECT_EQ(dialog.GetDuration(), 0.0f);
  EXPECT_EQ(dialog.Accept("-3", kReader), OkResult::Accepted);
  EXPECT_TRUE(dialog.DataValid());
  EXPECT_EQ(dialog.GetDuration(), -3.0f);
}

TEST(InitialExposureDialog, CancelCancelsEvenAfterAnAcceptedShowing) {
  InitialExposureDialog dialog;
  dialog.BeginShowing();
  dialog.Cancel();
  EXPECT_FALSE(dialog.DataValid());

  dialog.BeginShowing();
  ASSERT_EQ(dialog.Accept("4", kReader), OkResult::Accepted);
  dialog.BeginShowing();
  dialog.Cancel();
  EXPECT_FALSE(dialog.DataValid());
  EXPECT_EQ(dialog.GetDuration(), 4.0f);  // the value itself persists
}

GuideSetupDialog::Texts Texts(std::initializer_list<const char*> texts) {
  GuideSetupDialog::Texts result;
  int box = 1;
  for (const char* text : texts) result.Box(box++) = text;
  return result;
}

const GuideSetupDialog::Texts kDefaults = Texts({"5", "3", "4", "2", "0.01", "2.00", "15"});

TEST(GuideSetupDialog, TheWindowsInitialTextsAreValid) {
  GuideSetupDialog dialog;
  dialog.BeginShowing();
  ASSERT_EQ(dialog.Accept(kDefaults, kReader), OkResult::Accepted);
  EXPECT_TRUE(dialog.DataValid());
  EXPECT_EQ(dialog.GetNumberStars(), 5);
  EXPECT_EQ(dialog.GetMinSN(), 3.0f);
  EXPECT_EQ(dialog.GetMinStars(), 4);
  EXPECT_EQ(dialog.GetDuration(), 2.0f);
  EXPECT_EQ(dialog.GetMinMove(), 0.01f);
  EXPECT_EQ(dialog.GetMaxMove(), 2.0f);
  EXPECT_EQ(dialog.GetBorder(), 15);
}

TEST(GuideSetupDialog, NumberOfStarsMustBe1To10AfterRounding) {
  struct {
    const char* text;
    OkResult result;
  } cases[] = {{"10", OkResult::Accepted},   {"11", OkResult::Rejected},
               {"0", OkResult::Rejected},    {"10.4", OkResult::Accepted},
               {"10.5", OkResult::Accepted}, {"10.6", OkResult::Rejected},
               {"1", OkResult::Accepted},    {"-1", OkResult::Rejected}};
  for (const auto& c : cases) {
    GuideSetupDialog dialog;
    dialog.BeginShowing();
    auto texts = kDefaults;
    texts.NumberStars = c.text;
    EXPECT_EQ(dialog.Accept(texts, kReader), c.result) << c.text;
    EXPECT_EQ(dialog.DataValid(), c.result == OkResult::Accepted) << c.text;
  }
}

TEST(GuideSetupDialog, MinimumStarsMustBeAtLeast1ButNeedNotFitTheStarCount) {
  GuideSetupDialog dialog;
  dialog.BeginShowing();
  auto texts = kDefaults;
  texts.MinStars = "0";
  EXPECT_EQ(dialog.Accept(texts, kReader), OkResult::Rejected);
  texts.MinStars = "20";
  EXPECT_EQ(dialog.Accept(texts, kReader), OkResult::Accepted);
  EXPECT_EQ(dialog.GetMinStars(), 20);
}

TEST(GuideSetupDialog, DurationsAndLimitsAreNotRangeChecked) {
  GuideSetupDialog dialog;
  dialog.BeginShowing();
  auto texts = kDefaults;
  texts.Duration = "-1";
  texts.MinMove = "5";
  texts.MaxMove = "1";
  ASSERT_EQ(dialog.Accept(texts, kReader), OkResult::Accepted);
  EXPECT_EQ(dialog.GetDuration(), -1.0f);
  EXPECT_EQ(dialog.GetMinMove(), 5.0f);
  EXPECT_EQ(dialog.GetMaxMove(), 1.0f);
}

TEST(GuideSetupDialog, AConversionFailureKeepsTheFieldsConvertedBeforeIt) {
  GuideSetupDialog dialog;
  dialog.BeginShowing();
  ASSERT_EQ(dialog.Accept(kDefaults, kReader), OkResult::Accepted);

  dialog.BeginShowing();
  EXPECT_EQ(dialog.Accept(Texts({"7", "1.5", "2", "3", "0.2", "4", "40000"}), kReader),
            OkResult::Rejected);
  EXPECT_FALSE(dialog.DataValid());
  EXPECT_EQ(dialog.GetNumberStars(), 7);
  EXPECT_EQ(dialog.GetMinSN(), 1.5f);
  EXPECT_EQ(dialog.GetMinStars(), 2);
  EXPECT_EQ(dialog.GetDuration(), 3.0f);
  EXPECT_EQ(dialog.GetMinMove(), 0.2f);
  EXPECT_EQ(dialog.GetMaxMove(), 4.0f);
  EXPECT_EQ(dialog.GetBorder(), 15);  // the failing field and those after it keep old values

  EXPECT_EQ(dialog.Accept(Texts({"3", "x", "9", "9", "9", "9", "9"}), kReader), OkResult::Rejected);
  EXPECT_EQ(dialog.GetNumberStars(), 3);
  EXPECT_EQ(dialog.GetMinSN(), 1.5f);
  EXPECT_EQ(dialog.GetMinStars(), 2);
}

TEST(GuideSetupDialog, AValidationFailureKeepsAllTheRejectedValues) {
  GuideSetupDialog dialog;
  dialog.BeginShowing();
  EXPECT_EQ(dialog.Accept(Texts({"11", "1", "2", "3", "4", "5", "6"}), kReader),
            OkResult::Rejected);
  EXPECT_FALSE(dialog.DataValid());
  EXPECT_EQ(dialog.GetNumberStars(), 11);
  EXPECT_EQ(dialog.GetBorder(), 6);
}

TEST(GuideSetupDialog, CancelCancelsEvenAfterAnAcceptedShowing) {
  GuideSetupDialog dialog;
  dialog.BeginShowing();
  dialog.Cancel();
  EXPECT_FALSE(dialog.DataValid());
  EXPECT_EQ(dialog.GetNumberStars(), 0);  // all fields zero until a first OK

  dialog.BeginShowing();
  ASSERT_EQ(dialog.Accept(kDefaults, kReader), OkResult::Accepted);
  dialog.BeginShowing();
  dialog.Cancel();
  EXPECT_FALSE(dialog.DataValid());
  EXPECT_EQ(dialog.GetNumberStars(), 5);
}

}  // namespace
}  // namespace corvane
