// Observatories for the tests: a still sky (no periodic error, drift, wander or seeing) with a few
// very bright stars, so that any motion of the stars comes from what the test does.
#pragma once

#include "sim/Observatory.h"

namespace corvane::sim::testing {

inline ObservatorySettings StillSky() {
  ObservatorySettings s;
  s.mount.periodicErrorPP = 0.0;
  s.mount.raDrift = 0.0;
  s.mount.decDrift = 0.0;
  s.mount.wander = 0.0;
  s.sky.seeingJitter = 0.0;
  s.sky.stars = {{{300.0, 250.0}, 1e8}, {{420.0, 330.0}, 5e7}, {{200.0, 400.0}, 2e7}};
  s.camera.rotationDeg = 0.0;
  return s;
}

// The centroid of the star nearest to (x, y) on the last frame.
inline Vec2 Centroid(Observatory& o, double x, double y) {
  return o.PointInformation(static_cast<int>(x), static_cast<int>(y)).centroid;
}

// Takes an exposure and lets it finish.
inline void Expose(Observatory& o, double seconds = 1.0) {
  o.StartExposure(seconds);
  while (o.ExposureRunning()) o.Advance(0.1);
}

inline void Pulse(Observatory& o, int direction, double seconds) {
  o.StartPulse(direction, seconds);
  while (o.PulseRunning()) o.Advance(0.1);
}

}  // namespace corvane::sim::testing
