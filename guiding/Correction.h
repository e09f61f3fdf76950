// The correction of one guide cycle: the mean offset of the guide stars (pixels) turned into the
// signed pulse durations of the mount's two axes (seconds).
#pragma once

#include <cmath>
#include <type_traits>

#include "base/Numbers.h"
#include "guiding/CalibrationInEffect.h"
#include "host/HostObjects.h"

namespace corvane {

// The pulse durations of one cycle. Xtim is carried with its automation type, so the guide log
// and GuiderMove see the same value: a Double as computed, the Integer 0 when the minimum move
// (or a cycle with too few stars) zeroed it, a Single when the maximum move capped it.
struct Correction {
  host::HostNumber Xtim{host::HostNumber::Type::Integer, 0.0, false};
  float Ytim = 0.0f;
};

// The camera's guider values as read for one correction (GuiderAggressiveness is read twice by
// the host run; here both reads give the same value).
struct CameraGuideValues {
  double Angle = 0.0;        // GuiderAngle, degrees
  double Declination = 0.0;  // GuiderDeclination, degrees
  bool ReverseX = false;     // GuiderReverseX
  double Aggressiveness = 0.0;
  double XSpeed = 1.0;  // pixels per second of pulse
  double YSpeed = 1.0;

  double GuiderAngle() const { return Angle; }
  double GuiderDeclination() const { return Declination; }
  bool GuiderReverseX() const { return ReverseX; }
  double GuiderAggressiveness() const { return Aggressiveness; }
  double GuiderXSpeed() const { return XSpeed; }
  double GuiderYSpeed() const { return YSpeed; }
};

// The declination limit, 80 degrees in radians rounded to a 32-bit float.
inline constexpr float kDeclinationLimit = static_cast<float>(80.0 / 180.0 * kPi);

// No predicted motion: the correction is proportional to the offset alone.
struct NoPrediction {};

// Computes Xtim and Ytim from the mean offset and the move limits, reading the camera's guider
// values from `camera` (host::Camera or CameraGuideValues) in the host's order: GuiderAngle,
// GuiderDeclination, GuiderReverseX, GuiderAggressiveness, GuiderXSpeed, GuiderAggressiveness,
// GuiderYSpeed. A value is read only when the steps before it succeeded, so an arithmetic failure
// happens right after the read that caused it.
//
// With a `prediction`, called as prediction(calibration, raOffset) once GuiderXSpeed is read
// (a CalibrationInEffect, and the offset along the RA axis in pixels, turned and reversed; no
// host value is read for it), its result (pixels
// along the RA axis) is corrected on top of the proportional part: X seconds = (X x
// aggressiveness / 20 + prediction) / speed / cos(declination), through the same minimum and
// maximum move.
template <typename GuiderValues, typename Prediction = NoPrediction>
Correction ComputeCorrection(float xoff, float yoff, float minMove, float maxMove,
                             GuiderValues& camera, Prediction&& prediction = {}) {
  // Guide angle and declination in radians, each rounded to a 32-bit float.
  const float a = ToSingle(DegreesToRadians(camera.GuiderAngle()));
  float d = ToSingle(DegreesToRadians(camera.GuiderDeclination()));
  if (d > kDeclinationLimit) d = kDeclinationLimit;
  if (d < -kDeclinationLimit) d = -kDeclinationLimit;

  // Rotation into the mount's axes; X stays double, Y is rounded to a 32-bit float.
  const double cosA = std::cos(static_cast<double>(a));
  const double sinA = std::sin(static_cast<double>(a));
  double x = Add(Multiply(xoff, cosA), Multiply(yoff, sinA));
  float y = ToSingle(Subtract(Multiply(yoff, cosA), Multiply(xoff, sinA)));

  const bool reverseX = camera.GuiderReverseX();
  if (reverseX) x = -x;

  // Pixels to seconds: times the aggressiveness, divided by 20, divided by the guide speed.
  const double xAggressiveness = camera.GuiderAggressiveness();
  if constexpr (std::is_same_v<std::decay_t<Prediction>, NoPrediction>) {
    x = Divide(Divide(Multiply(x, xAggressiveness), 20.0), camera.GuiderXSpeed());
  } else {
    const double proportional = Divide(Multiply(x, xAggressiveness), 20.0);
    const double xSpeed = camera.GuiderXSpeed();
    const CalibrationInEffect calibration{a, d, reverseX, xAggressiveness, xSpeed};
    x = Divide(Add(proportional, prediction(calibration, x)), xSpeed);
  }
  const double yAggressiveness = camera.GuiderAggressiveness();
  y = ToSingle(Divide(Divide(Multiply(y, yAggressiveness), 20.0), camera.GuiderYSpeed()));

  // A pulse on the RA axis moves a star by the guide rate times cos(declination): with speeds
  // calibrated at the equator the X duration grows by 1 / cos(d).
  x = Divide(x, std::cos(static_cast<double>(d)));

  // The limits are taken by magnitude, so a negative maximum can never reverse a correction.
  // The minimum is applied first: a capped pulse may end up shorter than the minimum.
  const float minimum = std::fabs(minMove);
  const float maximum = std::fabs(maxMove);
  Correction result;
  result.Xtim = {host::HostNumber::Type::Double, x, false};
  result.Ytim = y;
  if (std::fabs(x) < minimum) result.Xtim = {host::HostNumber::Type::Integer, 0.0, false};
  if (std::fabs(result.Ytim) < minimum) result.Ytim = 0.0f;
  if (std::fabs(result.Xtim.value) > maximum) {
    result.Xtim = {host::HostNumber::Type::Single,
                   static_cast<double>(result.Xtim.value < 0.0 ? -maximum : maximum), false};
  }
  if (std::fabs(result.Ytim) > maximum) result.Ytim = result.Ytim < 0.0f ? -maximum : maximum;
  return result;
}

}  // namespace corvane
