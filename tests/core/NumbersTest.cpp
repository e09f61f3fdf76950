#include "base/Numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/RunFailure.h"

namespace corvane {
namespace {

FailureKind KindOf(void (*operation)()) {
  try {
    operation();
  } catch (const RunFailure& failure) {
    return failure.Kind();
  }
  ADD_FAILURE() << "no RunFailure raised";
  return FailureKind::Host;
}

TEST(SixteenBitConversion, RoundsHalvesToTheEvenNeighbour) {
  EXPECT_EQ(ToInt16(12.5), 12);
  EXPECT_EQ(ToInt16(13.5), 14);
  EXPECT_EQ(ToInt16(10.5), 10);
  EXPECT_EQ(ToInt16(11.5), 12);
  EXPECT_EQ(ToInt16(-0.5), 0);
  EXPECT_EQ(ToInt16(-1.5), -2);
  EXPECT_EQ(ToInt16(-2.5), -2);
  EXPECT_EQ(ToInt16(10.4999), 10);
  EXPECT_EQ(ToInt16(10.5001), 11);
}

TEST(SixteenBitConversion, OverflowsOutsideTheRangeAfterRounding) {
  EXPECT_EQ(ToInt16(32767.4), 32767);
  EXPECT_EQ(ToInt16(-32768.5), -32768);  // the even neighbour is still in range
  EXPECT_EQ(KindOf([] { ToInt16(32767.5); }), FailureKind::Overflow);
  EXPECT_EQ(KindOf([] { ToInt16(-32768.6); }), FailureKind::Overflow);
  EXPECT_EQ(KindOf([] { ToInt16(std::numeric_limits<double>::quiet_NaN()); }),
            FailureKind::Overflow);
  EXPECT_EQ(KindOf([] { ToInt16(std::numeric_limits<double>::infinity()); }),
            FailureKind::Overflow);
}

TEST(ThirtyTwoBitConversion, RoundsHalvesToEvenAndChecksTheRange) {
  EXPECT_EQ(ToInt32(2147483646.5), 2147483646);
  EXPECT_EQ(ToInt32(-2147483648.0), -2147483647 - 1);
  EXPECT_EQ(KindOf([] { ToInt32(2147483647.5); }), FailureKind::Overflow);
}

TEST(SingleConversion, GivesTheNearestFloatAndOverflowsBeyondItsRange) {
  EXPECT_EQ(ToSingle(0.1), 0.1f);
  EXPECT_EQ(ToSingle(101.5), 101.5f);
  EXPECT_EQ(ToSingle(3.4028234663852886e38), std::numeric_limits<float>::max());
  EXPECT_EQ(KindOf([] { ToSingle(3.5e38); }), FailureKind::Overflow);
  EXPECT_EQ(KindOf([] { ToSingle(-1e300); }), FailureKind::Overflow);
  EXPECT_EQ(KindOf([] { ToSingle(std::numeric_limits<double>::quiet_NaN()); }),
            FailureKind::Overflow);
}

TEST(CounterArithmetic, OverflowsPast16Bits) {
  EXPECT_EQ(Add16(32766, 1), 32767);
  EXPECT_EQ(KindOf([] { Add16(32767, 1); }), FailureKind::Overflow);
  EXPECT_EQ(Subtract16(1, 1), 0);
  EXPECT_EQ(KindOf([] { Subtract16(-32768, 1); }), FailureKind::Overflow);
}

TEST(FloatingPointFaults, AreRaisedAsRunFailures) {
  EXPECT_EQ(KindOf([] { Divide(1.0, 0.0); }), FailureKind::DivisionByZero);
  EXPECT_EQ(KindOf([] { Divide(-1.0, 0.0); }), FailureKind::DivisionByZero);
  EXPECT_EQ(KindOf([] { Divide(0.0, 0.0); }), FailureKind::Overflow);
  EXPECT_EQ(KindOf([] { DivideSingle(2.0f, 0.0f); }), FailureKind::DivisionByZero);
  EXPECT_EQ(KindOf([] { DivideSingle(0.0f, 0.0f); }), FailureKind::Overflow);
  EXPECT_EQ(KindOf([] { Multiply(1e200, 1e200); }), FailureKind::Overflow);
  EXPECT_EQ(KindOf([] { Divide(1e300, 1e-300); }), FailureKind::Overflow);
  EXPECT_EQ(KindOf([] { SubtractSingle(3e38f, -3e38f); }), FailureKind::Overflow);
  EXPECT_EQ(KindOf([] { AddSingle(3e38f, 3e38f); }), FailureKind::Overflow);
}

TEST(FloatingPointFaults, CarryTheirDescriptions) {
  try {
    Divide(1.0, 0.0);
    FAIL();
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Description(), "Division by zero");
  }
  try {
    ToInt16(40000.0);
    FAIL();
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Description(), "Overflow");
  }
}

TEST(DegreesToRadians, DividesBy180FirstThenMultipliesByTenDecimalPi) {
  EXPECT_EQ(DegreesToRadians(180.0), 3.1415926535);
  // 3, 89 and 100 degrees round differently when multiplied first.
  EXPECT_EQ(DegreesToRadians(3.0), 0.05235987755833333);
  EXPECT_EQ(DegreesToRadians(89.0), 1.5533430342305556);
  EXPECT_EQ(DegreesToRadians(100.0), 1.7453292519444445);
}

}  // namespace
}  // namespace corvane
