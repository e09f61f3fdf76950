#include "sim/Truth.h"

#include <algorithm>
#include <cmath>

namespace corvane::sim {

void Truth::Accumulate(Vec2 e0, Vec2 e1, double dt) {
  const Vec2 mid{(e0.x + e1.x) / 2.0 - reference_.x, (e0.y + e1.y) / 2.0 - reference_.y};
  seconds_ += dt;
  sum_.x += mid.x * dt;
  sum_.y += mid.y * dt;
  squares_.x += mid.x * mid.x * dt;
  squares_.y += mid.y * mid.y * dt;
  for (const Vec2& e : {e0, e1}) {
    min_.x = std::min(min_.x, e.x - reference_.x);
    min_.y = std::min(min_.y, e.y - reference_.y);
    max_.x = std::max(max_.x, e.x - reference_.x);
    max_.y = std::max(max_.y, e.y - reference_.y);
  }
}

void Truth::AddPulse(Pulse pulse) {
  if (!cycles_.empty()) cycles_.back().pulses.push_back(pulse);
}

ErrorSummary Truth::Summary() const {
  ErrorSummary s;
  s.seconds = seconds_;
  if (seconds_ <= 0.0) return s;
  const double mx = sum_.x / seconds_;
  const double my = sum_.y / seconds_;
  s.raRms = std::sqrt(std::max(0.0, squares_.x / seconds_ - mx * mx));
  s.decRms = std::sqrt(std::max(0.0, squares_.y / seconds_ - my * my));
  s.totalRms = std::hypot(s.raRms, s.decRms);
  s.raPeakToPeak = max_.x - min_.x;
  s.decPeakToPeak = max_.y - min_.y;
  return s;
}

}  // namespace corvane::sim
