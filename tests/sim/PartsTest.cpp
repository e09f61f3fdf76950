// The parts of the observatory on their own: the scripted events' timing and clouds, the truth's
// statistics, and the scripted user's clicks.
#include <gtest/gtest.h>

#include "sim/Events.h"
#include "sim/ScriptedUser.h"
#include "sim/Truth.h"

namespace corvane::sim {
namespace {

using Kind = ScriptedEvent::Kind;

ScriptedEvent Event(Kind kind, int afterCycles, double atSeconds = -1.0) {
  ScriptedEvent event;
  event.kind = kind;
  event.afterCycles = afterCycles;
  event.atSeconds = atSeconds;
  return event;
}

TEST(Events, CountedEventsWaitForTheirFrameAndTimedOnesHappenAtTheirTime) {
  ScriptedEvent cloud = Event(Kind::Cloud, -1, 10.0);
  cloud.durationSeconds = 5.0;
  cloud.transmission = 0.1;
  cloud.stars = {1};
  Events events({Event(Kind::LinkDrop, 2), Event(Kind::ImageClosed, 2),
                 Event(Kind::AggressivenessZero, 3), Event(Kind::Stop, -1, 5.0), cloud});

  events.GuideExposureStarts(1, 0.0);
  events.FrameEnds();
  EXPECT_FALSE(events.LinkDropped());
  events.GuideExposureStarts(2, 3.0);
  EXPECT_FALSE(events.LinkDropped());  // during the exposure the link still holds
  events.FrameEnds();
  EXPECT_TRUE(events.LinkDropped());
  EXPECT_FALSE(events.ImageClosedByUser());  // the window closes during the cycle after
  events.GuideExposureStarts(3, 4.0);
  EXPECT_TRUE(events.AggressivenessZeroed());
  events.FrameEnds();
  EXPECT_TRUE(events.ImageClosedByUser());

  events.ApplyTimed(4.9);
  EXPECT_FALSE(events.TakeStop());
  events.ApplyTimed(5.0);
  EXPECT_TRUE(events.TakeStop());
  EXPECT_FALSE(events.TakeStop());  // delivered once

  events.ApplyTimed(11.0);
  EXPECT_EQ(events.Transmission(1, 12.0), 0.1);
  EXPECT_EQ(events.Transmission(0, 12.0), 1.0);  // not one of its stars
  EXPECT_EQ(events.Transmission(1, 9.9), 1.0);   // before it came
  EXPECT_EQ(events.Transmission(1, 15.0), 1.0);  // gone
}

TEST(Truth, ErrorsCountFromTheReferenceAndPulsesGoToTheLastCycle) {
  Truth truth;
  truth.SetReference({1.0, 2.0});
  EXPECT_EQ(truth.FromReference({3.0, 1.0}).x, 2.0);
  EXPECT_EQ(truth.FromReference({3.0, 1.0}).y, -1.0);
  truth.Accumulate({2.0, 2.0}, {2.0, 2.0}, 1.0);  // +1" in RA for a second
  truth.Accumulate({0.0, 2.0}, {0.0, 2.0}, 1.0);  // -1" for a second
  const ErrorSummary s = truth.Summary();
  EXPECT_EQ(s.seconds, 2.0);
  EXPECT_DOUBLE_EQ(s.raRms, 1.0);
  EXPECT_EQ(s.decRms, 0.0);
  EXPECT_DOUBLE_EQ(s.totalRms, 1.0);
  EXPECT_EQ(s.raPeakToPeak, 2.0);
  EXPECT_EQ(s.decPeakToPeak, 0.0);

  truth.AddPulse({0, 0.5, 0.0});  // before the first cycle: nowhere to go
  truth.AddCycle(CycleTruth{});
  truth.AddPulse({2, 0.25, 3.0});
  ASSERT_EQ(truth.Cycles().size(), 1u);
  ASSERT_EQ(truth.Cycles()[0].pulses.size(), 1u);
  EXPECT_EQ(truth.Cycles()[0].pulses[0].direction, 2);
}

TEST(ScriptedUser, ClicksTheDetectedStarsInTurnAfterAPause) {
  UserSettings settings;
  settings.clickErrorPx = 0.0;
  settings.secondsBetweenClicks = 1.5;
  settings.pressSeconds = 0.2;
  ScriptedUser user(settings, {376.0, 291.0}, 1);
  StarImage bright, faint, second;
  bright.centroid = {100.4, 50.6};
  bright.detected = true;
  faint.centroid = {10.0, 10.0};
  second.centroid = {200.0, 80.0};
  second.detected = true;
  user.ChooseTargets({bright, faint, second});

  EXPECT_FALSE(user.PointerDown(0.0));
  EXPECT_FALSE(user.PointerDown(1.4));
  EXPECT_TRUE(user.PointerDown(1.6));
  EXPECT_EQ(user.Pointer().x, 100.0);  // on the pixel
  EXPECT_EQ(user.Pointer().y, 51.0);
  EXPECT_FALSE(user.PointerDown(1.8));  // released
  EXPECT_FALSE(user.PointerDown(1.9));
  EXPECT_TRUE(user.PointerDown(3.5));
  EXPECT_EQ(user.Pointer().x, 200.0);  // the faint star is skipped

  user.ChooseTargets({faint});  // nothing to click: the middle of the image
  user.PointerDown(10.0);
  EXPECT_TRUE(user.PointerDown(11.6));
  EXPECT_EQ(user.Pointer().x, 376.0);
  EXPECT_EQ(user.Pointer().y, 291.0);
}

}  // namespace
}  // namespace corvane::sim
