// PointInformation as a host does it: the brightest star within the search radius of the point,
// its centroid and signal-to-noise value; only noise where there is no star.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/SimHost.h"
#include "tests/sim/TestSky.h"

namespace corvane::sim {
namespace {

using testing::Expose;
using testing::StillSky;

ObservatorySettings TwoNeighbours() {
  ObservatorySettings s = StillSky();
  s.sky.searchRadius = 12.0;
  // A bright star and a fainter one 10 px away; a third far off.
  s.sky.stars = {{{300.0, 250.0}, 40000}, {{310.0, 250.0}, 5000}, {{500.0, 100.0}, 20000}};
  return s;
}

TEST(PointInformation, FindsTheStarNearThePointWithItsCentroidAndSN) {
  Observatory o(TwoNeighbours());
  Expose(o, 2.0);
  const auto far = o.PointInformation(496, 104);
  EXPECT_TRUE(far.star);
  EXPECT_NEAR(far.centroid.x, 500.0, 0.2);
  EXPECT_NEAR(far.centroid.y, 100.0, 0.2);
  EXPECT_GT(far.sn, 50.0);
}

TEST(PointInformation, PrefersTheBrightestStarWithinTheSearchRadius) {
  Observatory o(TwoNeighbours());
  Expose(o, 2.0);
  // Nearer to the faint star, but the bright one is inside the radius too.
  const auto info = o.PointInformation(309, 250);
  EXPECT_NEAR(info.centroid.x, 300.0, 0.2);
  // Beyond the bright star's reach only the faint one is left.
  const auto faint = o.PointInformation(318, 252);
  EXPECT_NEAR(faint.centroid.x, 310.0, 0.5);
  EXPECT_LT(faint.sn, info.sn);
}

TEST(PointInformation, ReportsNoiseWhereThereIsNoStar) {
  ObservatorySettings s = TwoNeighbours();
  Observatory o(s);
  Expose(o, 2.0);
  for (int i = 0; i < 20; ++i) {
    const auto info = o.PointInformation(100, 450);
    EXPECT_FALSE(info.star);
    EXPECT_LT(info.sn, s.sky.detectionSN);
    EXPECT_LT(std::hypot(info.centroid.x - 100, info.centroid.y - 450), s.sky.searchRadius * 1.5);
  }
}

TEST(PointInformation, AStarDimmedBelowDetectionByACloudIsOnlyNoise) {
  ObservatorySettings s = TwoNeighbours();
  ScriptedEvent cloud;
  cloud.kind = ScriptedEvent::Kind::Cloud;
  cloud.atSeconds = 5.0;
  cloud.durationSeconds = 10.0;
  cloud.transmission = 0.001;
  cloud.stars = {2};
  s.events = {cloud};
  Observatory o(s);
  Expose(o, 2.0);
  EXPECT_TRUE(o.PointInformation(500, 100).star);
  o.Advance(4.0);
  Expose(o, 2.0);
  EXPECT_FALSE(o.PointInformation(500, 100).star);
  o.Advance(10.0);
  Expose(o, 2.0);
  EXPECT_TRUE(o.PointInformation(500, 100).star);
}

TEST(GuiderImage, ShowsEachStarWhereTheHostMeasuresIt) {
  Observatory o(TwoNeighbours());
  Expose(o, 2.0);
  const std::vector<float> image = o.FrameImage();
  const int width = o.Settings().camera.width;
  // The brightest pixel near the far star is within a pixel of its centroid.
  int bestX = 0, bestY = 0;
  float best = -1e30f;
  for (int y = 90; y < 110; ++y) {
    for (int x = 490; x < 510; ++x) {
      const float v = image[static_cast<std::size_t>(y * width + x)];
      if (v > best) best = v, bestX = x, bestY = y;
    }
  }
  const Vec2 centroid = o.PointInformation(500, 100).centroid;
  EXPECT_LE(std::abs(bestX - centroid.x), 1.0);
  EXPECT_LE(std::abs(bestY - centroid.y), 1.0);
  // Far from every star only the sky: background and noise.
  EXPECT_LT(image[static_cast<std::size_t>(450 * width + 100)], best / 10.0f);
}

TEST(GuiderImage, APersonsPressIsWhatThePointerReportsWhenTheUserIsNotScripted) {
  ObservatorySettings s = TwoNeighbours();
  s.user.scripted = false;
  Observatory o(s);
  Expose(o, 2.0);
  EXPECT_FALSE(o.PointerDown());
  o.SetManualPointer(true, {310.0, 250.0});
  EXPECT_TRUE(o.PointerDown());
  EXPECT_EQ(o.PointerPosition().x, 310.0);
  o.SetManualPointer(false, {310.0, 250.0});
  EXPECT_FALSE(o.PointerDown());
}

TEST(PointInformation, TheHostsArrayHoldsCentroidAndSNAtElements6_7And12) {
  Observatory o(TwoNeighbours());
  SimHost host(o);
  auto camera = host.CreateCamera();
  camera->SetLinkEnabled(true);
  camera->GuiderExpose(2.0f);
  while (camera->GuiderRunning()) o.Advance(0.1);
  auto documents = host.CreateApplication()->Documents();
  ASSERT_EQ(documents->Count(), 1.0);
  auto image = documents->Item(1);
  EXPECT_EQ(image->DisplayName(), "Autoguider Image");
  const host::HostArray result = image->PointInformation(496, 104);
  EXPECT_NEAR(result.At(host::kCentroidX), 500.0, 0.2);
  EXPECT_NEAR(result.At(host::kCentroidY), 100.0, 0.2);
  EXPECT_GT(result.At(host::kSignalToNoise), 50.0);
}

}  // namespace
}  // namespace corvane::sim
