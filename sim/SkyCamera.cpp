#include "sim/SkyCamera.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sim/Random.h"

namespace corvane::sim {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

}  // namespace

SkyCamera::SkyCamera(CameraSettings camera, SkySettings sky, std::uint64_t seed)
    : camera_(std::move(camera)), sky_(std::move(sky)), seed_(seed) {
  noiseRng_.seed(Mix(seed_, 14));

  // The field: fluxes spread evenly in magnitude from the brightest to the faintest, placed at
  // random with room around each star so that a search box holds one star.
  std::mt19937_64 fieldRng(Mix(seed_, 1));
  const int count = std::max(0, sky_.fieldStars);
  const double margin = 40.0;
  const double spacing = 2.5 * sky_.searchRadius;
  if (!sky_.stars.empty()) field_ = sky_.stars;
  for (int i = 0; i < count && sky_.stars.empty(); ++i) {
    const double share = count > 1 ? static_cast<double>(i) / (count - 1) : 0.0;
    FieldStar star;
    star.flux = sky_.brightestFlux * std::pow(sky_.faintestFlux / sky_.brightestFlux, share);
    for (int attempt = 0; attempt < 2000; ++attempt) {
      star.position = {Uniform(fieldRng, margin, camera_.width - margin),
                       Uniform(fieldRng, margin, camera_.height - margin)};
      const bool clear = std::all_of(field_.begin(), field_.end(), [&](const FieldStar& other) {
        return std::hypot(other.position.x - star.position.x, other.position.y - star.position.y) >=
               spacing;
      });
      if (clear) break;
    }
    field_.push_back(star);
  }
}

Vec2 SkyCamera::SensorShift(Vec2 sky) const {
  const auto& cam = camera_;
  const double y = cam.mirrored ? -sky.y : sky.y;
  const double c = std::cos(cam.rotationDeg * kDegree);
  const double s = std::sin(cam.rotationDeg * kDegree);
  return {(c * sky.x - s * y) / cam.pixelScale, (s * sky.x + c * y) / cam.pixelScale};
}

void SkyCamera::TakeFrame(int index, double start, double seconds, Vec2 meanError,
                          const std::function<double(int, double)>& transmission) {
  // The frame: every star where the mount put it, moved by seeing (a part common to all stars
  // and a part of its own), with a centroid error that grows as its signal-to-noise falls.
  const auto& sky = sky_;
  const auto& cam = camera_;
  std::mt19937_64 rng(Mix(seed_, 1000 + static_cast<std::uint64_t>(index)));
  const double jitter = sky.seeingJitter / std::sqrt(std::max(seconds, 0.05)) / cam.pixelScale;
  const double common = jitter * std::sqrt(std::clamp(sky.seeingCommonFraction, 0.0, 1.0));
  const double own = jitter * std::sqrt(1.0 - std::clamp(sky.seeingCommonFraction, 0.0, 1.0));
  const Vec2 commonShift{Normal(rng, common), Normal(rng, common)};
  const Vec2 mountShift = SensorShift({-meanError.x, -meanError.y});
  const double fwhmPx = sky.seeingFwhm / cam.pixelScale;
  const double pixels = std::numbers::pi * fwhmPx * fwhmPx;
  const double middle = start + seconds / 2.0;
  frame_.assign(field_.size(), {});
  for (std::size_t i = 0; i < field_.size(); ++i) {
    const double signal = field_[i].flux * transmission(static_cast<int>(i), middle) * seconds;
    const double noise =
        std::sqrt(signal + pixels * (cam.skyBackground * seconds + cam.readNoise * cam.readNoise));
    const double sn = noise > 0.0 ? signal / noise : 0.0;
    const double centroidError = fwhmPx / (2.355 * std::max(sn, 1.0));
    const Vec2 ownShift{Normal(rng, own), Normal(rng, own)};
    const Vec2 measurement{Normal(rng, centroidError), Normal(rng, centroidError)};
    // The measured SN scatters with the seeing's effect on the peak and the noise estimate.
    const double snScatter = 1.0 + Normal(rng, 0.05);
    StarImage& image = frame_[i];
    image.centroid = {
        field_[i].position.x + mountShift.x + commonShift.x + ownShift.x + measurement.x,
        field_[i].position.y + mountShift.y + commonShift.y + ownShift.y + measurement.y};
    // A star whose image falls off the sensor is in no frame: no search box finds it there.
    const bool onSensor = image.centroid.x >= 0.0 && image.centroid.x < cam.width &&
                          image.centroid.y >= 0.0 && image.centroid.y < cam.height;
    image.signal = onSensor ? signal : 0.0;
    image.sn = onSensor ? std::max(0.0, sn * snScatter) : 0.0;
    image.detected = image.sn >= sky.detectionSN;
  }

  ++framesFinished_;
  measuredPoints_.swap(queries_);
  queries_.clear();
  frameBackground_ = cam.skyBackground * seconds;
  frameNoise_ = std::sqrt(frameBackground_ + cam.readNoise * cam.readNoise);
}

SkyCamera::PointInfo SkyCamera::PointInformation(int x, int y) {
  PointInfo info;
  const auto& sky = sky_;
  queries_.push_back({static_cast<double>(x), static_cast<double>(y)});
  const double fwhmPx = sky.seeingFwhm / camera_.pixelScale;
  int best = -1;
  for (std::size_t i = 0; i < frame_.size(); ++i) {
    const StarImage& image = frame_[i];
    if (!image.detected) continue;
    if (std::hypot(image.centroid.x - x, image.centroid.y - y) > sky.searchRadius) continue;
    if (best < 0 || image.sn > frame_[static_cast<std::size_t>(best)].sn)
      best = static_cast<int>(i);
  }
  if (best >= 0) {
    const StarImage& image = frame_[static_cast<std::size_t>(best)];
    info.centroid = image.centroid;
    info.sn = image.sn;
    info.flux = field_[static_cast<std::size_t>(best)].flux;
    info.fwhmPx = fwhmPx;
    info.star = true;
    return info;
  }
  // Only noise: the centroid of the background wanders about the box, with a small SN.
  info.centroid = {x + Normal(noiseRng_, sky.searchRadius / 4.0),
                   y + Normal(noiseRng_, sky.searchRadius / 4.0)};
  info.sn = 0.3 + std::abs(Normal(noiseRng_, 0.6));
  info.fwhmPx = 0.0;
  return info;
}

std::vector<float> SkyCamera::FrameImage() const {
  const int width = std::max(0, camera_.width);
  const int height = std::max(0, camera_.height);
  std::vector<float> image(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::mt19937_64 rng(Mix(seed_, 5000 + static_cast<std::uint64_t>(framesFinished_)));
  for (float& pixel : image) {
    pixel = static_cast<float>(frameBackground_ + Normal(rng, frameNoise_));
  }
  // Each star a Gaussian of the seeing's FWHM holding its collected electrons.
  const double sigma = sky_.seeingFwhm / camera_.pixelScale / 2.3548;
  const int reach = static_cast<int>(std::ceil(4.0 * sigma));
  for (const StarImage& star : frame_) {
    const int cx = static_cast<int>(std::lround(star.centroid.x));
    const int cy = static_cast<int>(std::lround(star.centroid.y));
    const double norm = star.signal / (2.0 * std::numbers::pi * sigma * sigma);
    for (int y = std::max(0, cy - reach); y <= std::min(height - 1, cy + reach); ++y) {
      for (int x = std::max(0, cx - reach); x <= std::min(width - 1, cx + reach); ++x) {
        const double dx = x - star.centroid.x, dy = y - star.centroid.y;
        image[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
              static_cast<std::size_t>(x)] +=
            static_cast<float>(norm * std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma)));
      }
    }
  }
  return image;
}

}  // namespace corvane::sim
