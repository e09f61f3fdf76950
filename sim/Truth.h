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
  void Accumulate(Vec2 e0, Vec2 e1, double dt) { guided_.Add(reference_, e0, e1, dt); }
  void AddCycle(CycleTruth cycle) { cycles_.push_back(std::move(cycle)); }
  // A pulse goes to the cycle last recorded (none before the first).
  void AddPulse(Pulse pulse);

  const std::vector<CycleTruth>& Cycles() const { return cycles_; }
  ErrorSummary Summary() const { return guided_.Summary(); }
  // The statistics from `from` (simulated seconds) on, e.g. the second hour of a run.
  void SetWindowStart(double from) { windowStart_ = from; }
  void AccumulateAt(double t0, Vec2 e0, Vec2 e1, double dt);
  ErrorSummary WindowSummary() const { return window_.Summary(); }

 private:
  // Time-weighted sums of the error from the reference.
  struct Statistics {
    double seconds = 0.0;
    Vec2 sum, squares;
    Vec2 min{1e300, 1e300}, max{-1e300, -1e300};
    void Add(Vec2 reference, Vec2 e0, Vec2 e1, double dt);
    ErrorSummary Summary() const;
  };

  bool haveReference_ = false;
  Vec2 reference_;
  std::vector<CycleTruth> cycles_;
  Statistics guided_;
  double windowStart_ = -1.0;  // none
  Statistics window_;
};

}  // namespace corvane::sim
