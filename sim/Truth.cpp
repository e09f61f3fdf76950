#include "sim/Truth.h"

#include <algorithm>
#include <cmath>

namespace corvane::sim {

void Truth::Statistics::Add(Vec2 reference, Vec2 e0, Vec2 e1, double dt) {
  const Vec2 mid{(e0.x + e1.x) / 2.0 - reference.x, (e0.y + e1.y) / 2.0 - reference.y};
  seconds += dt;
  sum.x += mid.x * dt;
  sum.y += mid.y * dt;
  squares.x += mid.x * mid.x * dt;
  squares.y += mid.y * mid.y * dt;
  for (const Vec2& e : {e0, e1}) {
    min.x = std::min(min.x, e.x - reference.x);
    min.y = std::min(min.y, e.y - reference.y);
    max.x = std::max(max.x, e.x - reference.x);
    max.y = std::max(max.y, e.y - reference.y);
  }
}

void Truth::AccumulateAt(double t0, Vec2 e0, Vec2 e1, double dt) {
  Accumulate(e0, e1, dt);
  if (windowStart_ >= 0.0 && t0 >= windowStart_) window_.Add(reference_, e0, e1, dt);
}

void Truth::AddPulse(Pulse pulse) {
  if (!cycles_.empty()) cycles_.back().pulses.push_back(pulse);
}

ErrorSummary Truth::Statistics::Summary() const {
  ErrorSummary s;
  s.seconds = seconds;
  if (seconds <= 0.0) return s;
  const double mx = sum.x / seconds;
  const double my = sum.y / seconds;
  s.raRms = std::sqrt(std::max(0.0, squares.x / seconds - mx * mx));
  s.decRms = std::sqrt(std::max(0.0, squares.y / seconds - my * my));
  s.totalRms = std::hypot(s.raRms, s.decRms);
  s.raPeakToPeak = max.x - min.x;
  s.decPeakToPeak = max.y - min.y;
  return s;
}

}  // namespace corvane::sim
