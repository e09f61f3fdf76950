// The host's guider values one correction was computed with, as the correction took them.
#pragma once

namespace corvane {

struct CalibrationInEffect {
  double angle = 0.0;        // GuiderAngle, radians (rounded to a 32-bit float)
  double declination = 0.0;  // GuiderDeclination, radians, limited to +-80 degrees
  bool reverseX = false;     // GuiderReverseX
  double aggressiveness = 0.0;
  double xSpeed = 1.0;  // GuiderXSpeed: pixels per second of pulse at the equator
};

}  // namespace corvane
