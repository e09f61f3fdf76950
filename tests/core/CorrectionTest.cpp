#include "guiding/Correction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "base/RunFailure.h"

namespace corvane {
namespace {

using Type = host::HostNumber::Type;

// The worked example: 10 aggressiveness, both speeds 5 pixels per second, limits 0.01 and 2 s.
struct Case {
  float xoff = 2.0f;
  float yoff = -1.0f;
  float minMove = 0.01f;
  float maxMove = 2.0f;
  CameraGuideValues camera{0.0, 0.0, false, 10.0, 5.0, 5.0};

  Correction Compute() { return ComputeCorrection(xoff, yoff, minMove, maxMove, camera); }
};

TEST(Correction, WorkedExample) {
  const Correction c = Case{}.Compute();
  EXPECT_EQ(c.Xtim, (host::HostNumber{Type::Double, 0.2, false}));
  EXPECT_EQ(c.Ytim, -0.1f);
}

TEST(Correction, DeclinationDividesTheXDuration) {
  Case at60;
  at60.camera.Declination = 60.0;
  const Correction c = at60.Compute();
  EXPECT_EQ(c.Xtim.type, Type::Double);
  EXPECT_NEAR(c.Xtim.value, 0.4, 1e-6);  // 0.2 / cos 60
  EXPECT_EQ(c.Ytim, -0.1f);              // Y is never scaled by the declination
}

TEST(Correction, DeclinationIsLimitedTo80DegreesEitherSide) {
  Case at80;
  at80.camera.Declination = 80.0;
  const double limited = at80.Compute().Xtim.value;
  EXPECT_NEAR(limited, 0.2 / std::cos(80.0 / 180.0 * std::numbers::pi), 1e-6);
  for (double declination : {85.0, 89.0, -85.0, -89.0, 1000.0}) {
    Case beyond;
    beyond.camera.Declination = declination;
    EXPECT_EQ(beyond.Compute().Xtim.value, limited) << declination;
  }
  Case at79;
  at79.camera.Declination = 79.0;
  EXPECT_LT(at79.Compute().Xtim.value, limited);
}

TEST(Correction, ReverseXTurnsOnlyTheXPulse) {
  Case reversed;
  reversed.camera.ReverseX = true;
  const Correction c = reversed.Compute();
  EXPECT_EQ(c.Xtim, (host::HostNumber{Type::Double, -0.2, false}));
  EXPECT_EQ(c.Ytim, -0.1f);
}

TEST(Correction, GuideAngleRotatesTheOffsetIntoTheMountAxes) {
  Case at90;
  at90.camera.Angle = 90.0;  // X = Yoff, Y = -Xoff
  Correction c = at90.Compute();
  EXPECT_NEAR(c.Xtim.value, -0.1, 1e-6);
  EXPECT_NEAR(c.Ytim, -0.2f, 1e-6f);

  Case at180;
  at180.camera.Angle = 180.0;  // both change sign
  c = at180.Compute();
  EXPECT_NEAR(c.Xtim.value, -0.2, 1e-6);
  EXPECT_NEAR(c.Ytim, 0.1f, 1e-6f);
}

TEST(Correction, YIsRoundedToAFloatBeforeItIsScaled) {
  Case at30;
  at30.camera.Angle = 30.0;
  at30.xoff = 1.0f;
  at30.yoff = 1.0f;
  at30.camera.YSpeed = 3.0;
  // Scaling the unrounded rotation would give 0.06100422888994217.
  EXPECT_EQ(at30.Compute().Ytim, 0.06100423261523247f);
}

TEST(Correction, MinimumZeroesShortPulsesAsTheInteger0) {
  Case small;
  small.xoff = 0.04f;  // 0.004 s
  small.yoff = 0.04f;
  const Correction c = small.Compute();
  EXPECT_EQ(c.Xtim, (host::HostNumber{Type::Integer, 0.0, false}));
  EXPECT_EQ(c.Ytim, 0.0f);
}

TEST(Correction, DurationsEqualToTheLimitsPassUnchanged) {
  Case equal;
  equal.xoff = 2.5f;   // 0.25 s
  equal.yoff = -2.5f;  // -0.25 s
  equal.minMove = 0.25f;
  equal.maxMove = 0.25f;
  const Correction c = equal.Compute();
  EXPECT_EQ(c.Xtim, (host::HostNumber{Type::Double, 0.25, false}));
  EXPECT_EQ(c.Ytim, -0.25f);
}

TEST(Correction, MaximumCapsToTheSignedMaximumAsAFloat) {
  Case large;
  large.xoff = -15.0f;  // -1.5 s
  large.yoff = 15.0f;   // 1.5 s
  large.maxMove = 0.1f;
  const Correction c = large.Compute();
  EXPECT_EQ(c.Xtim, (host::HostNumber{Type::Single, static_cast<double>(-0.1f), false}));
  EXPECT_EQ(c.Ytim, 0.1f);
}

TEST(Correction, MinimumRunsBeforeTheCap) {
  Case capped;  // MinMove 1, MaxMove 0.5: 1.5 s passes the minimum and is capped to 0.5
  capped.minMove = 1.0f;
  capped.maxMove = 0.5f;
  capped.xoff = 15.0f;
  EXPECT_EQ(capped.Compute().Xtim, (host::HostNumber{Type::Single, 0.5, false}));
  capped.xoff = 7.0f;  // 0.7 s is dropped
  EXPECT_EQ(capped.Compute().Xtim, (host::HostNumber{Type::Integer, 0.0, false}));
}

TEST(Correction, MaximumZeroTurnsEveryDurationInto0) {
  Case zero;
  zero.maxMove = 0.0f;
  const Correction c = zero.Compute();
  EXPECT_EQ(c.Xtim.value, 0.0);
  EXPECT_EQ(c.Ytim, 0.0f);
}

TEST(Correction, LimitsAreTakenByMagnitude) {
  Case negativeMaximum;
  negativeMaximum.xoff = 15.0f;  // 1.5 s
  negativeMaximum.yoff = -15.0f;
  negativeMaximum.maxMove = -0.5f;  // never reverses the correction
  Correction c = negativeMaximum.Compute();
  EXPECT_EQ(c.Xtim, (host::HostNumber{Type::Single, 0.5, false}));
  EXPECT_EQ(c.Ytim, -0.5f);

  Case negativeMinimum;
  negativeMinimum.xoff = 7.0f;  // 0.7 s
  negativeMinimum.minMove = -1.0f;
  EXPECT_EQ(negativeMinimum.Compute().Xtim, (host::HostNumber{Type::Integer, 0.0, false}));
}

TEST(Correction, AggressivenessZeroGivesNoPulse) {
  Case off;
  off.camera.Aggressiveness = 0.0;
  const Correction c = off.Compute();
  EXPECT_EQ(c.Xtim, (host::HostNumber{Type::Integer, 0.0, false}));
  EXPECT_EQ(c.Ytim, 0.0f);
}

FailureKind FailureOf(Case c) {
  try {
    c.Compute();
  } catch (const RunFailure& failure) {
    return failure.Kind();
  }
  return FailureKind::Host;
}

TEST(Correction, ZeroSpeedIsARunTimeFailure) {
  Case xSpeed;
  xSpeed.camera.XSpeed = 0.0;
  EXPECT_EQ(FailureOf(xSpeed), FailureKind::DivisionByZero);
  Case ySpeed;
  ySpeed.camera.YSpeed = 0.0;
  EXPECT_EQ(FailureOf(ySpeed), FailureKind::DivisionByZero);
  Case still;  // no offset: 0 / 0
  still.xoff = 0.0f;
  still.yoff = 0.0f;
  still.camera.XSpeed = 0.0;
  EXPECT_EQ(FailureOf(still), FailureKind::Overflow);
}

TEST(Correction, AnglesBeyondTheFloatRangeOverflow) {
  Case angle;
  angle.camera.Angle = 1e300;
  EXPECT_EQ(FailureOf(angle), FailureKind::Overflow);
  Case declination;
  declination.camera.Declination = -1e300;
  EXPECT_EQ(FailureOf(declination), FailureKind::Overflow);
}

}  // namespace
}  // namespace corvane
