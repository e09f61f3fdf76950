// The seven numbers that govern a guiding run, as typed into the "Guide star setup" dialog, and
// its check box "Predict periodic error".
#pragma once

#include <cstdint>

namespace corvane {

struct GuideSettings {
  std::int16_t NumberStars = 0;
  float MinSN = 0.0f;
  std::int16_t MinStars = 0;
  float Duration = 0.0f;
  float MinMove = 0.0f;
  float MaxMove = 0.0f;
  std::int16_t Border = 0;
  // Learn the mount's periodic error during the run and correct it before it shows.
  bool PredictPeriodicError = false;

  friend bool operator==(const GuideSettings&, const GuideSettings&) = default;
};

}  // namespace corvane
