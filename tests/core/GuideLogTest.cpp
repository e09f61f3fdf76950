#include "guiding/GuideLog.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvane {
namespace {

using Type = host::HostNumber::Type;

TEST(GuideLogNumbers, SinglesHaveAtMostSevenSignificantDigits) {
  EXPECT_EQ(FormatSingle(101.5f), "101.5");
  EXPECT_EQ(FormatSingle(2.0f), "2");
  EXPECT_EQ(FormatSingle(-1.75f), "-1.75");
  EXPECT_EQ(FormatSingle(0.5f), "0.5");
  EXPECT_EQ(FormatSingle(0.1f), "0.1");  // the float nearest 0.1, not 0.100000001
  EXPECT_EQ(FormatSingle(1.0f / 3.0f), "0.3333333");
  EXPECT_EQ(FormatSingle(1234567.0f), "1234567");
  EXPECT_EQ(FormatSingle(-0.0001f), "-0.0001");
}

TEST(GuideLogNumbers, ExponentFormOnlyBeyondThePrecision) {
  EXPECT_EQ(FormatSingle(12345678.0f), "1.234568E+07");
  EXPECT_EQ(FormatSingle(0.000015f), "1.5E-05");
  EXPECT_EQ(FormatDouble(123456789012345678.0), "1.23456789012346E+17");
  EXPECT_EQ(FormatDouble(0.00001), "1E-05");
  EXPECT_EQ(FormatDouble(123456789012345.0), "123456789012345");
}

TEST(GuideLogNumbers, ZeroAndNegativeZeroAreWrittenAsZero) {
  EXPECT_EQ(FormatSingle(0.0f), "0");
  EXPECT_EQ(FormatSingle(-0.0f), "0");
  EXPECT_EQ(FormatDouble(-0.0), "0");
}

TEST(GuideLogNumbers, DoublesHaveAtMostFifteenSignificantDigits) {
  EXPECT_EQ(FormatDouble(0.2), "0.2");
  EXPECT_EQ(FormatDouble(0.1 + 0.2), "0.3");
  EXPECT_EQ(FormatDouble(1.0 / 3.0), "0.333333333333333");
  // A float carried in a double shows its binary value.
  EXPECT_EQ(FormatDouble(static_cast<double>(0.1f)), "0.100000001490116");
}

TEST(GuideLogNumbers, XtimIsWrittenInItsOwnType) {
  EXPECT_EQ(FormatNumber({Type::Integer, 0.0, false}), "0");
  EXPECT_EQ(FormatNumber({Type::Single, static_cast<double>(0.1f), false}), "0.1");
  EXPECT_EQ(FormatNumber({Type::Double, static_cast<double>(0.1f), false}), "0.100000001490116");
  EXPECT_EQ(FormatNumber({Type::Single, -2.0, false}), "-2");
}

TEST(GuideLogHeader, OneStar) {
  EXPECT_EQ(GuideLogHeader(1),
            "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\","
            "\"Xpos1\",\"Ypos1\",\"Xoff1\",\"Yoff1\",\"SN1\",\"\"\r\n");
}

TEST(GuideLogHeader, TenStarsNumberTheirColumnsFrom1To10) {
  std::string expected = "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\",";
  for (const char* n : {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}) {
    expected += std::string("\"Xpos") + n + "\",\"Ypos" + n + "\",\"Xoff" + n + "\",\"Yoff" + n +
                "\",\"SN" + n + "\",";
  }
  expected += "\"\"\r\n";
  const std::string header = GuideLogHeader(10);
  EXPECT_EQ(header, expected);
  EXPECT_EQ(std::count(header.begin(), header.end(), ','), 56);  // 57 fields
}

TEST(GuideLogLine, OneStarBothPulsesZeroedByTheMinimum) {
  GuideLogRow row;
  row.Xave = 101.5f;
  row.Yave = 198.25f;
  row.Xoff = 1.5f;
  row.Yoff = -1.75f;
  row.Xtim = {Type::Integer, 0.0, false};
  row.Ytim = 0.0f;
  row.Stars.push_back({101.5f, 198.25f, 1.5f, -1.75f, 35.5f});
  EXPECT_EQ(GuideLogLine(row), "101.5,198.25,1.5,-1.75,0,0,101.5,198.25,1.5,-1.75,35.5,\"\"\r\n");
}

TEST(GuideLogLine, TenStarsHaveAsManyFieldsAsTheHeader) {
  GuideLogRow row;
  row.Xtim = {Type::Double, 0.2, false};
  row.Ytim = -0.1f;
  for (int n = 1; n <= 10; ++n) {
    row.Stars.push_back({static_cast<float>(n), 2.0f * static_cast<float>(n), 0.5f, -0.5f, 9.0f});
  }
  const std::string line = GuideLogLine(row);
  EXPECT_EQ(std::count(line.begin(), line.end(), ','), 56);
  EXPECT_EQ(line.substr(0, 37), "0,0,0,0,0.2,-0.1,1,2,0.5,-0.5,9,2,4,0");
  EXPECT_EQ(line.substr(line.size() - 21), "10,20,0.5,-0.5,9,\"\"\r\n");
}

}  // namespace
}  // namespace corvane
