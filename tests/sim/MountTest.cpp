// The unguided mount: its error follows the configured periodic error and drift, on the sky
// scaled by cos(declination) in RA; the Dec gear's backlash swallows the first part of a reversal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tests/sim/TestSky.h"

namespace corvane::sim {
namespace {

using testing::Expose;
using testing::Pulse;
using testing::StillSky;

struct Track {
  std::vector<double> t, ra, dec;
};

Track Sample(Observatory& o, double seconds, double step) {
  Track track;
  for (double t = 0.0; t <= seconds; t += step) {
    track.t.push_back(o.Now());
    track.ra.push_back(o.TrueErrorNow().x);
    track.dec.push_back(o.TrueErrorNow().y);
    o.Advance(step);
  }
  return track;
}

TEST(UnguidedMount, RaErrorRepeatsWithTheWormPeriodAtTheConfiguredPeakToPeak) {
  ObservatorySettings s = StillSky();
  s.mount.periodicErrorPP = 10.0;
  s.mount.wormPeriod = 300.0;
  s.mount.declinationDeg = 0.0;
  Observatory o(s);
  const Track track = Sample(o, 600.0, 0.5);
  const auto [low, high] = std::minmax_element(track.ra.begin(), track.ra.end());
  EXPECT_NEAR(*high - *low, 10.0, 0.05);
  // One worm period later the error is the same.
  for (std::size_t i = 0; i + 600 < track.ra.size(); i += 37) {
    EXPECT_NEAR(track.ra[i + 600], track.ra[i], 1e-9);
  }
  for (double dec : track.dec) EXPECT_NEAR(dec, 0.0, 1e-12);
}

TEST(UnguidedMount, OnTheSkyTheRaErrorShrinksWithCosDeclination) {
  ObservatorySettings s = StillSky();
  s.mount.periodicErrorPP = 10.0;
  s.mount.declinationDeg = 60.0;
  Observatory o(s);
  const Track track = Sample(o, s.mount.wormPeriod, 0.5);
  const auto [low, high] = std::minmax_element(track.ra.begin(), track.ra.end());
  EXPECT_NEAR(*high - *low, 5.0, 0.05);
}

TEST(UnguidedMount, DriftsAtTheConfiguredRateInBothAxes) {
  ObservatorySettings s = StillSky();
  s.mount.raDrift = 3.0;    // arcsec per minute of the RA axis
  s.mount.decDrift = -1.5;  // arcsec per minute on the sky
  s.mount.declinationDeg = 45.0;
  Observatory o(s);
  const Vec2 start = o.TrueErrorNow();
  o.Advance(120.0);
  const Vec2 end = o.TrueErrorNow();
  EXPECT_NEAR(end.x - start.x, 6.0 * std::cos(std::numbers::pi / 4), 1e-9);
  EXPECT_NEAR(end.y - start.y, -3.0, 1e-9);
}

TEST(UnguidedMount, WanderIsTheSameFunctionOfTimeWhateverTheCallPattern) {
  ObservatorySettings s = StillSky();
  s.mount.wander = 0.3;
  Observatory coarse(s), fine(s);
  coarse.Advance(50.0);
  for (int i = 0; i < 500; ++i) fine.Advance(0.1);
  EXPECT_NEAR(coarse.TrueErrorNow().x, fine.TrueErrorNow().x, 1e-9);
  EXPECT_NE(coarse.TrueErrorNow().x, 0.0);
}

TEST(UnguidedMount, AnExtraComponentAddsItsSineAndWanderMakesEachComponentDrift) {
  ObservatorySettings s = StillSky();
  s.mount.declinationDeg = 0.0;
  s.mount.periodicErrorPP = 6.0;
  s.mount.wormPeriod = 400.0;
  s.mount.harmonics = {1.0};
  s.mount.extraPeriodic = {{90.0, 2.0}};
  Observatory steady(s);
  const Track track = Sample(steady, 800.0, 0.5);
  // The sum of two sines repeats with the period both fit into (3600 s), not the worm's alone;
  // the extra sine shows as the difference of the error one worm period apart.
  double low = 1e9, high = -1e9;
  for (std::size_t i = 0; i + 800 < track.ra.size(); ++i) {
    const double difference = track.ra[i + 800] - track.ra[i];  // 400 s = 4.44 periods of 90 s
    low = std::min(low, difference);
    high = std::max(high, difference);
  }
  const double expected = 2.0 * 2.0 * std::sin(std::numbers::pi * 400.0 / 90.0);
  EXPECT_NEAR(high - low, std::abs(expected), 0.05);

  // With wander the error leaves the steady one's course, the same way whatever the call
  // pattern.
  ObservatorySettings wandering = s;
  wandering.mount.periodicWander = 0.2;
  Observatory coarse(wandering), fine(wandering), still(s);
  EXPECT_NEAR(coarse.TrueErrorNow().x, still.TrueErrorNow().x, 1e-12);
  coarse.Advance(2000.0);
  still.Advance(2000.0);
  for (int i = 0; i < 20000; ++i) fine.Advance(0.1);
  EXPECT_NEAR(coarse.TrueErrorNow().x, fine.TrueErrorNow().x, 1e-9);
  EXPECT_GT(std::abs(coarse.TrueErrorNow().x - still.TrueErrorNow().x), 0.05);
}

TEST(DecBacklash, TheFirstPartOfAReversalIsTakenUpByThePlay) {
  ObservatorySettings s = StillSky();
  s.mount.decBacklash = 3.0;  // arcsec
  Observatory o(s);
  Expose(o);
  Pulse(o, 2, 1.0);  // 7.5" forward: 1.5" of it takes up half the play
  EXPECT_NEAR(o.TrueErrorNow().y, 6.0, 1e-9);
  Pulse(o, 3, 0.2);  // 1.5" back: all play
  EXPECT_NEAR(o.TrueErrorNow().y, 6.0, 1e-9);
  Pulse(o, 3, 0.4);  // 3" back: 1.5" more play, then 1.5" of motion
  EXPECT_NEAR(o.TrueErrorNow().y, 4.5, 1e-9);
}

TEST(Exposure, RecordsTheMeanErrorDuringTheExposureAsTheCyclesTruth) {
  ObservatorySettings s = StillSky();
  s.mount.raDrift = 60.0;  // 1"/s of the axis, at dec 0
  s.mount.declinationDeg = 0.0;
  s.camera.downloadSeconds = 0.0;
  Observatory o(s);
  Expose(o, 2.0);  // the selection frame: its mean error is the reference
  o.Advance(3.0);
  Expose(o, 2.0);  // 5 s later
  ASSERT_EQ(o.Cycles().size(), 1u);
  EXPECT_NEAR(o.Cycles()[0].raError, 5.0, 1e-9);
  EXPECT_NEAR(o.Cycles()[0].end - o.Cycles()[0].start, 2.0, 1e-12);
}

}  // namespace
}  // namespace corvane::sim
