// The person at the telescope: clicks the brightest stars of the selection frame, a little off,
// one after another; or, when not scripted, a person's pointer set from outside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "sim/ObservatorySettings.h"

namespace corvane::sim {

class ScriptedUser {
 public:
  // centre: where the pointer goes when there is no star to click.
  ScriptedUser(UserSettings settings, Vec2 centre, std::uint64_t seed);

  // The user looks at the selection frame and picks the stars to click.
  void ChooseTargets(const std::vector<StarImage>& selectionFrame);
  // Whether the button is down at `now` (the guider image being open).
  bool PointerDown(double now);
  Vec2 Pointer() const { return pointer_; }
  void SetManualPointer(bool down, Vec2 position) {
    manualDown_ = down;
    pointer_ = position;
  }

 private:
  UserSettings settings_;
  Vec2 centre_;
  std::mt19937_64 rng_;
  std::vector<Vec2> clickTargets_;
  std::size_t nextClick_ = 0;
  bool pressScheduled_ = false;
  double pressAt_ = 0.0;
  Vec2 pointer_;
  bool manualDown_ = false;
};

}  // namespace corvane::sim
