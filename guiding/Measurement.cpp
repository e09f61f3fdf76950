#include "guiding/Measurement.h"

#include <algorithm>

namespace corvane {

CycleMeasurement CycleMeans(const StarTable& stars, std::int16_t numberStars, std::int16_t minStars,
                            float sumX, float sumY, float refXave, float refYave) {
  std::int16_t count = 0;
  std::int16_t takingPart = 0;
  const std::int16_t last = Subtract16(numberStars, 1);
  for (std::int16_t slot = 0; slot <= last; slot = Add16(slot, 1)) {
    count = Add16(count, 1);
    if (StarSlot(stars, slot).TookPart) takingPart = Add16(takingPart, 1);
  }
  CycleMeasurement cycle;
  cycle.Xave = DivideSingle(sumX, static_cast<float>(count));
  cycle.Yave = DivideSingle(sumY, static_cast<float>(count));
  cycle.Xoff = SubtractSingle(cycle.Xave, refXave);
  cycle.Yoff = SubtractSingle(cycle.Yave, refYave);
  if (takingPart == count) return cycle;

  // Stars below MinSN are left out: the offset is the mean of the other stars' own offsets.
  const std::int16_t required = std::min(minStars, numberStars);
  cycle.participation = takingPart >= required ? Participation::Enough : Participation::TooFew;
  if (takingPart == 0) return cycle;  // nothing to average: the row keeps the means of all stars
  float offsetX = 0.0f;
  float offsetY = 0.0f;
  for (std::int16_t slot = 0; slot <= last; slot = Add16(slot, 1)) {
    const GuideStar& star = StarSlot(stars, slot);
    if (!star.TookPart) continue;
    offsetX = AddSingle(offsetX, SubtractSingle(star.Xpos, star.RefX));
    offsetY = AddSingle(offsetY, SubtractSingle(star.Ypos, star.RefY));
  }
  cycle.Xoff = DivideSingle(offsetX, static_cast<float>(takingPart));
  cycle.Yoff = DivideSingle(offsetY, static_cast<float>(takingPart));
  cycle.Xave = AddSingle(refXave, cycle.Xoff);
  cycle.Yave = AddSingle(refYave, cycle.Yoff);
  return cycle;
}

void FollowStars(StarTable& stars, std::int16_t numberStars, const CycleMeasurement& cycle) {
  const std::int16_t last = Subtract16(numberStars, 1);
  for (std::int16_t slot = 0; slot <= last; slot = Add16(slot, 1)) {
    GuideStar& star = StarSlot(stars, slot);
    if (star.TookPart || cycle.participation == Participation::All) {
      star.LastX = star.Xpos;
      star.LastY = star.Ypos;
    } else if (cycle.participation == Participation::Enough) {
      star.LastX = AddSingle(star.RefX, cycle.Xoff);
      star.LastY = AddSingle(star.RefY, cycle.Yoff);
    }
  }
}

}  // namespace corvane
