#include "sim/ScriptedUser.h"

#include <cmath>

#include "sim/Random.h"

namespace corvane::sim {

ScriptedUser::ScriptedUser(UserSettings settings, Vec2 centre, std::uint64_t seed)
    : settings_(std::move(settings)), centre_(centre), rng_(Mix(seed, 13)) {}

void ScriptedUser::ChooseTargets(const std::vector<StarImage>& selectionFrame) {
  clickTargets_.clear();
  for (const StarImage& image : selectionFrame) {
    if (!image.detected) continue;
    clickTargets_.push_back({std::round(image.centroid.x + Normal(rng_, settings_.clickErrorPx)),
                             std::round(image.centroid.y + Normal(rng_, settings_.clickErrorPx))});
  }
  nextClick_ = 0;
  pressScheduled_ = false;
}

bool ScriptedUser::PointerDown(double now) {
  if (!settings_.scripted) return manualDown_;
  const auto& user = settings_;
  if (!pressScheduled_) {
    pressScheduled_ = true;
    pressAt_ = now + user.secondsBetweenClicks;
  }
  if (now >= pressAt_ + user.pressSeconds) {
    pressScheduled_ = false;
    ++nextClick_;
    return false;
  }
  if (now >= pressAt_) {
    pointer_ = clickTargets_.empty() ? centre_ : clickTargets_[nextClick_ % clickTargets_.size()];
    return true;
  }
  return false;
}

}  // namespace corvane::sim
