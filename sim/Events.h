// The scripted events of a run and the clouds they bring: what shows when a guide exposure
// starts or a frame ends, and what happens at a time.
#pragma once

#include <vector>

#include "sim/ObservatorySettings.h"

namespace corvane::sim {

class Events {
 public:
  explicit Events(std::vector<ScriptedEvent> events);

  // Guide exposure `guideExposure` (1 for the first) starts at `now`.
  void GuideExposureStarts(int guideExposure, double now);
  // A frame has ended: a link drop or a window closing waiting for it happens now.
  void FrameEnds();
  // The events due by `now` that are given a time.
  void ApplyTimed(double now);

  // Event 15 from the camera, waiting to be delivered; taking it clears it.
  bool TakeStop();
  bool AggressivenessZeroed() const { return aggressivenessZeroed_; }
  bool LinkDropped() const { return linkDropped_; }
  bool ImageClosedByUser() const { return imageClosedByUser_; }
  // The share of star's light (by brightness rank) that gets through the clouds at time t.
  double Transmission(int star, double t) const;

 private:
  struct Cloud {
    double start = 0.0;
    double end = 0.0;
    double transmission = 1.0;
    std::vector<int> stars;
  };
  std::vector<ScriptedEvent> events_;
  std::vector<bool> timedEventDone_;
  std::vector<Cloud> clouds_;
  bool stopPending_ = false;
  bool aggressivenessZeroed_ = false;
  bool linkDropPending_ = false;  // the link drops as the current exposure ends
  bool linkDropped_ = false;
  bool closePending_ = false;  // the user closes the window as the current exposure ends
  bool imageClosedByUser_ = false;
};

}  // namespace corvane::sim
