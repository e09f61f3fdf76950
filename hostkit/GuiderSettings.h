// The camera's guider settings as the host reports them (GuiderAngle, GuiderXSpeed, GuiderYSpeed,
// GuiderReverseX, GuiderDeclination, GuiderAggressiveness, GuiderOutputEnables). The guiding run
// rotates the image offset by -angle, reverses X when asked, divides by the speed and, for X, by
// cos(declination); so a correct calibration has
//   angleDeg, reverseX: the rotation (with X reversed when the image is a mirror of the mount's
//                       axes) that takes the mount's output axes to the sensor's axes;
//   xSpeed, ySpeed:     the guide rate at the equator in pixels per second;
//   declinationDeg:     the mount's declination.
#pragma once

namespace corvane::hostkit {

struct GuiderSettings {
  double angleDeg = 0.0;
  double declinationDeg = 0.0;
  bool reverseX = false;
  double aggressiveness = 10.0;
  double xSpeed = 5.0;
  double ySpeed = 5.0;
  double outputEnables = 15.0;  // bit 2^direction
};

}  // namespace corvane::hostkit
