// The measurement of one guide frame: every guide star's centroid and SN, the screening by MinSN
// and MinStars, the cycle's mean position and mean offset, and where each star is looked for in
// the next frame. Pure arithmetic over the guide-star table; the host's PointInformation comes in
// as a callable, read star by star in the host's order like ComputeCorrection's guider values.
#pragma once

#include <array>
#include <cstdint>

#include "base/Numbers.h"
#include "base/RunFailure.h"
#include "host/HostObjects.h"

namespace corvane {

// One slot of the guide-star table (pixels of the guider image).
struct GuideStar {
  float RefX = 0.0f, RefY = 0.0f;    // where the star was picked; fixed for the run
  float LastX = 0.0f, LastY = 0.0f;  // where it is measured next
  float Xpos = 0.0f, Ypos = 0.0f;    // where it was found in this cycle
  float SN = 0.0f;                   // its signal-to-noise value in this cycle
  bool TookPart = false;             // SN at least MinSN in this cycle
};

inline constexpr std::int16_t kStarSlots = 10;
using StarTable = std::array<GuideStar, kStarSlots>;

// The table's slot; "Subscript out of range" outside it.
template <typename Table>
auto& StarSlot(Table& stars, std::int16_t slot) {
  if (slot < 0 || slot >= kStarSlots) RaiseSubscriptOutOfRange();
  return stars[static_cast<std::size_t>(slot)];
}

// How many stars passed the MinSN test in a cycle.
enum class Participation {
  All,     // every star: the cycle uses the means of all stars
  Enough,  // at least min(MinStars, NumberStars): the means of those stars' own offsets
  TooFew,  // fewer: no guide command this cycle
};

// What one frame's measurement gives the rest of the cycle (the log's Xave, Yave, Xoff, Yoff).
struct CycleMeasurement {
  float Xave = 0.0f, Yave = 0.0f;
  float Xoff = 0.0f, Yoff = 0.0f;
  Participation participation = Participation::All;
};

// The mean position and offset of the first `numberStars` stars once each has its Xpos, Ypos and
// SN for the cycle. `sumX` and `sumY` are the sums of the host's centroids as returned (rounded to
// a 32-bit float after each star). With every star taking part the means are those of all stars;
// otherwise the offset is the mean of the taking-part stars' own offsets from their references.
CycleMeasurement CycleMeans(const StarTable& stars, std::int16_t numberStars, std::int16_t minStars,
                            float sumX, float sumY, float refXave, float refYave);

// Measures the first `numberStars` stars at their last positions: for each star in slot order
// `pointInformation(x, y)` (x, y: LastX, LastY rounded to 16-bit integers) gives the host's array,
// whose centroid X, centroid Y and SN are read in that order, each followed at once by its own
// arithmetic, so a bad value fails right after the read that brought it.
template <typename PointInformation>
CycleMeasurement MeasureStars(StarTable& stars, std::int16_t numberStars, float minSN,
                              std::int16_t minStars, float refXave, float refYave,
                              PointInformation&& pointInformation) {
  float sumX = 0.0f;
  float sumY = 0.0f;
  const std::int16_t last = Subtract16(numberStars, 1);
  for (std::int16_t slot = 0; slot <= last; slot = Add16(slot, 1)) {
    GuideStar& star = StarSlot(stars, slot);
    const host::HostArray information = pointInformation(ToInt16(star.LastX), ToInt16(star.LastY));
    const double centroidX = information.At(host::kCentroidX);
    star.Xpos = ToSingle(centroidX);
    const double centroidY = information.At(host::kCentroidY);
    star.Ypos = ToSingle(centroidY);
    // The sums take the host's values as returned, rounded to a 32-bit float after each star.
    sumX = ToSingle(Add(sumX, centroidX));
    sumY = ToSingle(Add(sumY, centroidY));
    star.SN = ToSingle(information.At(host::kSignalToNoise));
    star.TookPart = star.SN >= minSN;
  }
  return CycleMeans(stars, numberStars, minStars, sumX, sumY, refXave, refYave);
}

// Where each of the first `numberStars` stars is looked for in the next frame: where it was found
// when it took part (or when all did); a star left out follows the others (its reference plus the
// cycle's offset), so it is found again when it comes back from behind a cloud; with too few stars
// it stays where it was last found.
void FollowStars(StarTable& stars, std::int16_t numberStars, const CycleMeasurement& cycle);

}  // namespace corvane
