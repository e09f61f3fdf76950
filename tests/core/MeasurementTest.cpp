// The measurement of a guide frame on small numbers: the means, the SN screening, the offsets of
// the stars taking part, where each star is looked for next, and the order of the host reads.
#include "guiding/Measurement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::testing {
namespace {

// Three stars picked at (10, 20), (20, 30), (30, 40): reference means (20, 30).
struct ThreeStarFrame {
  StarTable stars{};
  std::vector<std::string> reads;  // PointInformation calls in order
  std::vector<host::HostArray> found;

  ThreeStarFrame() {
    const float ref[3][2] = {{10, 20}, {20, 30}, {30, 40}};
    for (int i = 0; i < 3; ++i) {
      stars[i].RefX = stars[i].LastX = ref[i][0];
      stars[i].RefY = stars[i].LastY = ref[i][1];
    }
  }
  // Each star found at its reference plus (dx, dy), with the given SN.
  void Found(std::initializer_list<std::array<double, 3>> shifts) {
    int i = 0;
    for (const auto& [dx, dy, sn] : shifts) {
      host::HostArray a;
      a.elements.assign(13, 0.0);
      a.elements[host::kCentroidX] = stars[i].RefX + dx;
      a.elements[host::kCentroidY] = stars[i].RefY + dy;
      a.elements[host::kSignalToNoise] = sn;
      found.push_back(a);
      ++i;
    }
  }
  CycleMeasurement Measure(float minSN, std::int16_t minStars) {
    return MeasureStars(stars, 3, minSN, minStars, 20.0f, 30.0f,
                        [this](std::int16_t x, std::int16_t y) {
                          reads.push_back(std::to_string(x) + "," + std::to_string(y));
                          return found.at(reads.size() - 1);
                        });
  }
};

TEST(Measurement, EveryStarTakingPartGivesTheMeansOfAllStarsAndEachMovesToWhereItWasFound) {
  ThreeStarFrame frame;
  frame.Found({{{1, -1, 20}}, {{2, -2, 20}}, {{3, 0, 20}}});
  const CycleMeasurement cycle = frame.Measure(5.0f, 2);
  EXPECT_EQ(frame.reads, (std::vector<std::string>{"10,20", "20,30", "30,40"}));
  EXPECT_EQ(cycle.participation, Participation::All);
  EXPECT_FLOAT_EQ(cycle.Xave, 22.0f);
  EXPECT_FLOAT_EQ(cycle.Yave, 29.0f);
  EXPECT_FLOAT_EQ(cycle.Xoff, 2.0f);
  EXPECT_FLOAT_EQ(cycle.Yoff, -1.0f);
  FollowStars(frame.stars, 3, cycle);
  EXPECT_FLOAT_EQ(frame.stars[2].LastX, 33.0f);
  EXPECT_FLOAT_EQ(frame.stars[2].LastY, 40.0f);
}

TEST(Measurement, AStarBelowMinSNIsLeftOutOfTheOffsetAndFollowsTheOthers) {
  ThreeStarFrame frame;
  // The faint third star's centroid is noise 8 px off; the other two moved by (1, -1) and (3, 1).
  frame.Found({{{1, -1, 20}}, {{3, 1, 20}}, {{8, 8, 2}}});
  CycleMeasurement cycle = frame.Measure(5.0f, 2);
  EXPECT_EQ(cycle.participation, Participation::Enough);
  EXPECT_FLOAT_EQ(cycle.Xoff, 2.0f);
  EXPECT_FLOAT_EQ(cycle.Yoff, 0.0f);
  EXPECT_FLOAT_EQ(cycle.Xave, 22.0f);
  EXPECT_FLOAT_EQ(cycle.Yave, 30.0f);
  FollowStars(frame.stars, 3, cycle);
  EXPECT_FLOAT_EQ(frame.stars[0].LastX, 11.0f);  // where it was found
  EXPECT_FLOAT_EQ(frame.stars[2].LastX, 32.0f);  // its reference plus the cycle's offset
  EXPECT_FLOAT_EQ(frame.stars[2].LastY, 40.0f);

  // Needing all three, the same frame is too few: the left-out star stays where it was.
  ThreeStarFrame strict;
  strict.Found({{{1, -1, 20}}, {{3, 1, 20}}, {{8, 8, 2}}});
  cycle = strict.Measure(5.0f, 3);
  EXPECT_EQ(cycle.participation, Participation::TooFew);
  FollowStars(strict.stars, 3, cycle);
  EXPECT_FLOAT_EQ(strict.stars[1].LastX, 23.0f);
  EXPECT_FLOAT_EQ(strict.stars[2].LastX, 30.0f);

  // With no star taking part the cycle keeps the means of all stars.
  ThreeStarFrame dark;
  dark.Found({{{1, -1, 2}}, {{3, 1, 2}}, {{8, 8, 2}}});
  cycle = dark.Measure(5.0f, 1);
  EXPECT_EQ(cycle.participation, Participation::TooFew);
  EXPECT_FLOAT_EQ(cycle.Xoff, 4.0f);
}

TEST(Measurement, AValueBeyondAFloatFailsRightAfterItsReadWithNoFurtherHostCall) {
  ThreeStarFrame frame;
  frame.Found({{{1, -1, 20}}, {{1e39, 0, 20}}, {{3, 0, 20}}});
  try {
    frame.Measure(5.0f, 2);
    FAIL() << "an overflowing centroid was accepted";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Kind(), FailureKind::Overflow);
  }
  EXPECT_EQ(frame.reads.size(), 2u);
}

}  // namespace
}  // namespace corvane::testing
