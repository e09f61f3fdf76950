// The sky as the guide camera sees it: the star field, each frame's star images moved by the
// mount and the seeing, what the host measures about a point of the last frame, and the frame as
// an image.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "sim/ObservatorySettings.h"

namespace corvane::sim {

class SkyCamera {
 public:
  SkyCamera(CameraSettings camera, SkySettings sky, std::uint64_t seed);

  const std::vector<FieldStar>& Field() const { return field_; }

  // The picture on the sensor (pixels) of a shift of the stars on the sky (arcsec).
  Vec2 SensorShift(Vec2 skyShiftArcsec) const;

  // Finishes frame `index` (0 for the first) exposed for `seconds` from `start` while the mount
  // was off by meanError on the sky; transmission(star, t) is the share of a star's light that
  // gets through at time t.
  void TakeFrame(int index, double start, double seconds, Vec2 meanError,
                 const std::function<double(int, double)>& transmission);

  struct PointInfo {
    Vec2 centroid;
    double sn = 0.0;
    double flux = 0.0;
    double fwhmPx = 0.0;
    bool star = false;  // false: only noise there
  };
  PointInfo PointInformation(int x, int y);
  const std::vector<StarImage>& LastFrame() const { return frame_; }
  int FramesFinished() const { return framesFinished_; }
  const std::vector<Vec2>& MeasuredPoints() const { return measuredPoints_; }
  std::vector<float> FrameImage() const;

 private:
  CameraSettings camera_;
  SkySettings sky_;
  std::uint64_t seed_;
  std::vector<FieldStar> field_;
  std::mt19937_64 noiseRng_;
  std::vector<StarImage> frame_;
  int framesFinished_ = 0;
  std::vector<Vec2> queries_, measuredPoints_;
  double frameBackground_ = 0.0;  // electrons per pixel of sky in the last frame
  double frameNoise_ = 0.0;       // its noise per pixel
};

}  // namespace corvane::sim
