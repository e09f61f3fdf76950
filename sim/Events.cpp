#include "sim/Events.h"

#include <algorithm>

namespace corvane::sim {

Events::Events(std::vector<ScriptedEvent> events)
    : events_(std::move(events)), timedEventDone_(events_.size(), false) {}

void Events::GuideExposureStarts(int guideExposure, double now) {
  for (auto& event : events_) {
    if (event.afterCycles < 0) continue;
    using Kind = ScriptedEvent::Kind;
    switch (event.kind) {
      case Kind::Stop:
        if (guideExposure == event.afterCycles) stopPending_ = true;
        break;
      case Kind::AggressivenessZero:
        if (guideExposure == event.afterCycles) aggressivenessZeroed_ = true;
        break;
      case Kind::LinkDrop:
        if (guideExposure == event.afterCycles) linkDropPending_ = true;
        break;
      case Kind::ImageClosed:
        if (guideExposure == event.afterCycles + 1) closePending_ = true;
        break;
      case Kind::Cloud:
        if (guideExposure == event.afterCycles + 1) {
          clouds_.push_back({now, now + event.durationSeconds, event.transmission, event.stars});
        }
        break;
    }
  }
}

void Events::FrameEnds() {
  if (linkDropPending_) {
    linkDropPending_ = false;
    linkDropped_ = true;
  }
  if (closePending_) {
    closePending_ = false;
    imageClosedByUser_ = true;
  }
}

void Events::ApplyTimed(double now) {
  for (std::size_t i = 0; i < events_.size(); ++i) {
    const auto& event = events_[i];
    if (event.atSeconds < 0.0 || timedEventDone_[i] || now < event.atSeconds) continue;
    timedEventDone_[i] = true;
    using Kind = ScriptedEvent::Kind;
    switch (event.kind) {
      case Kind::Stop:
        stopPending_ = true;
        break;
      case Kind::AggressivenessZero:
        aggressivenessZeroed_ = true;
        break;
      case Kind::LinkDrop:
        linkDropped_ = true;
        break;
      case Kind::ImageClosed:
        imageClosedByUser_ = true;
        break;
      case Kind::Cloud:
        clouds_.push_back({event.atSeconds, event.atSeconds + event.durationSeconds,
                           event.transmission, event.stars});
        break;
    }
  }
}

bool Events::TakeStop() {
  const bool pending = stopPending_;
  stopPending_ = false;
  return pending;
}

double Events::Transmission(int star, double t) const {
  double transmission = 1.0;
  for (const auto& cloud : clouds_) {
    if (t < cloud.start || t >= cloud.end) continue;
    if (std::find(cloud.stars.begin(), cloud.stars.end(), star) != cloud.stars.end()) {
      transmission *= cloud.transmission;
    }
  }
  return transmission;
}

}  // namespace corvane::sim
