// Guide pulses move the stars on the sensor by the guide rate, in the direction the host's
// calibration says, at every camera angle, mirroring, output wiring and declination.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <ostream>

#include "tests/sim/TestSky.h"

namespace corvane::sim {
namespace {

using testing::Centroid;
using testing::Expose;
using testing::Pulse;
using testing::StillSky;

// The stars' displacement on the sensor caused by a pulse of `seconds` on `direction`.
Vec2 ShiftFromPulse(const ObservatorySettings& settings, int direction, double seconds) {
  Observatory o(settings);
  Expose(o);
  const Vec2 before = Centroid(o, 300, 250);
  Pulse(o, direction, seconds);
  Expose(o);
  const Vec2 after = Centroid(o, before.x, before.y);
  return {after.x - before.x, after.y - before.y};
}

TEST(PulseGeometry, OnAnUnrotatedCameraRaMovesAlongXAndDecAlongY) {
  // Guide rate 7.5"/s, 1.5"/px: 5 px per second of pulse at the equator, 2.5 px at dec 60.
  ObservatorySettings s = StillSky();
  s.mount.declinationDeg = 60.0;
  const Vec2 ra = ShiftFromPulse(s, 0, 1.0);
  EXPECT_NEAR(ra.x, -2.5, 0.01);
  EXPECT_NEAR(ra.y, 0.0, 0.01);
  const Vec2 back = ShiftFromPulse(s, 1, 0.4);
  EXPECT_NEAR(back.x, 1.0, 0.01);
  const Vec2 dec = ShiftFromPulse(s, 2, 1.0);  // no cos(dec) on the Dec axis
  EXPECT_NEAR(dec.x, 0.0, 0.01);
  EXPECT_NEAR(dec.y, -5.0, 0.01);
  const Vec2 south = ShiftFromPulse(s, 3, 0.2);
  EXPECT_NEAR(south.y, 1.0, 0.01);
}

TEST(PulseGeometry, ACameraTurnedBy90DegreesSeesRaAlongY) {
  ObservatorySettings s = StillSky();
  s.mount.declinationDeg = 0.0;
  s.camera.rotationDeg = 90.0;
  const Vec2 ra = ShiftFromPulse(s, 0, 1.0);
  EXPECT_NEAR(ra.x, 0.0, 0.01);
  EXPECT_NEAR(ra.y, -5.0, 0.01);
  const Vec2 dec = ShiftFromPulse(s, 2, 1.0);
  EXPECT_NEAR(dec.x, 5.0, 0.01);
  EXPECT_NEAR(dec.y, 0.0, 0.01);
}

TEST(PulseGeometry, SwappedRaOutputsMoveTheOtherWay) {
  ObservatorySettings s = StillSky();
  s.mount.declinationDeg = 0.0;
  s.mount.raOutputsSwapped = true;
  EXPECT_NEAR(ShiftFromPulse(s, 0, 1.0).x, 5.0, 0.01);
  EXPECT_NEAR(ShiftFromPulse(s, 1, 1.0).x, -5.0, 0.01);
}

// What the guiding run makes of a sensor offset with the host's settings: rotated by
// -GuiderAngle, X reversed when GuiderReverseX, in pixels along the mount's output axes.
Vec2 InOutputAxes(const GuiderCalibration& c, Vec2 offset) {
  const double a = c.angleDeg / 180.0 * 3.1415926535;
  double x = offset.x * std::cos(a) + offset.y * std::sin(a);
  const double y = offset.y * std::cos(a) - offset.x * std::sin(a);
  if (c.reverseX) x = -x;
  return {x, y};
}

struct Geometry {
  double rotation;
  bool mirrored;
  bool swapRa;
  bool swapDec;
  double declination;
};

void PrintTo(const Geometry& g, std::ostream* out) {
  *out << "rotation " << g.rotation << (g.mirrored ? ", mirrored" : "")
       << (g.swapRa ? ", RA outputs swapped" : "") << (g.swapDec ? ", Dec outputs swapped" : "")
       << ", dec " << g.declination;
}

class CalibratedPulses : public ::testing::TestWithParam<Geometry> {};

// With the calibration the host reports, a pulse on direction 0 (the output the run uses for a
// positive X) must reduce X by XSpeed x cos(dec) px per second, direction 1 increase it, and
// directions 2 and 3 do the same for Y at YSpeed, with no cross-talk.
TEST_P(CalibratedPulses, EveryOutputCorrectsItsOwnAxisAtTheCalibratedSpeed) {
  const Geometry& p = GetParam();
  ObservatorySettings s = StillSky();
  s.camera.rotationDeg = p.rotation;
  s.camera.mirrored = p.mirrored;
  s.mount.raOutputsSwapped = p.swapRa;
  s.mount.decOutputsSwapped = p.swapDec;
  s.mount.declinationDeg = p.declination;
  const GuiderCalibration c = CalibrationFor(s.camera, s.mount, 10.0);
  const double cosDec = std::cos(p.declination * std::numbers::pi / 180.0);
  const double t = 0.8;
  const Vec2 expected[4] = {{-c.xSpeed * cosDec * t, 0.0},
                            {c.xSpeed * cosDec * t, 0.0},
                            {0.0, -c.ySpeed * t},
                            {0.0, c.ySpeed * t}};
  for (int direction = 0; direction < 4; ++direction) {
    const Vec2 moved = InOutputAxes(c, ShiftFromPulse(s, direction, t));
    EXPECT_NEAR(moved.x, expected[direction].x, 0.02) << "direction " << direction;
    EXPECT_NEAR(moved.y, expected[direction].y, 0.02) << "direction " << direction;
  }
}

INSTANTIATE_TEST_SUITE_P(
    AnglesReversalsAndDeclinations, CalibratedPulses,
    ::testing::Values(Geometry{0, false, false, false, 0}, Geometry{25, false, false, false, 45},
                      Geometry{-120, false, false, false, 60},
                      Geometry{200, false, true, false, 30}, Geometry{25, true, false, false, 75},
                      Geometry{25, false, false, true, 10}, Geometry{300, true, true, false, -40},
                      Geometry{90, true, true, true, 60}, Geometry{45, false, true, true, 80}));

TEST(Calibration, ReportsTheGuideRateAtTheEquatorAndTheMountsDeclination) {
  CameraSettings camera;
  camera.pixelScale = 2.0;
  MountSettings mount;
  mount.guideRate = 7.5;
  mount.declinationDeg = 62.0;
  const GuiderCalibration c = CalibrationFor(camera, mount, 8.0);
  EXPECT_DOUBLE_EQ(c.xSpeed, 3.75);
  EXPECT_DOUBLE_EQ(c.ySpeed, 3.75);
  EXPECT_DOUBLE_EQ(c.declinationDeg, 62.0);
  EXPECT_DOUBLE_EQ(c.aggressiveness, 8.0);
  EXPECT_EQ(c.outputEnables, 15.0);
}

}  // namespace
}  // namespace corvane::sim
