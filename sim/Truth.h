// The truth of a run: the error relative to the selection frame, per guide cycle and as
// statistics over the guided part, sampled continuously in simulated time.
#pragma once

#include <vector>

#include "sim/ObservatorySettings.h"

namespace corvane::sim {

class Truth {
 public:
  // The sky error during the selection frame, from which every error is counted.
  void SetReference(Vec2 skyError) {
    reference_ = skyError;
    haveReference_ = true;
  }
  bool HaveReference() const { return haveReference_; }
  Vec2 FromReference(Vec2 skyError) const {
    return {skyError.x - reference_.x, skyError.y - reference_.y};
  }

  // The guided mount moved from sky error e0 to e1 over dt seconds.
  void Accumulate(Vec2 e0, Vec2 e1, double dt);
  void AddCycle(CycleTruth cycle) { cycles_.push_back(std::move(cycle)); }
  // A pulse goes to the cycle last recorded (none before the first).
  void AddPulse(Pulse pulse);

  const std::vector<CycleTruth>& Cycles() const { return cycles_; }
  ErrorSummary Summary() const;

 private:
  bool haveReference_ = false;
  Vec2 reference_;
  std::vector<CycleTruth> cycles_;
  double seconds_ = 0.0;
  Vec2 sum_, squares_;
  Vec2 min_{1e300, 1e300}, max_{-1e300, -1e300};
};

}  // namespace corvane::sim
