// advise's word on "Predict periodic error" against the gain measured on the same simulated night
// guided with and without it, and the logs it withholds a figure for.
#include <gtest/gtest.h>

#include "Fixture.h"
#include "guidelog/Record.h"
#include "logtools/Advise.h"
#include "logtools/RecordSettings.h"

namespace corvane::logtools {
namespace {

using test::OnlyRun;
using test::Simulated;
using Verdict = PredictionAdvice::Verdict;

// An hour's log of a 30" p-p, 480 s worm.
void StrongPeriodicError(LogScenario& c) {
  c.cycles = 1500;
  c.seed = 3;
  c.observatory.mount.periodicErrorPP = 30.0;
  c.observatory.mount.wormPeriod = 480.0;
}

RunSettings WithScale(const SimulatedLog& s) {
  RunSettings settings = HostCalibratedSettings(s);
  settings.scale = s.settings.observatory.camera.pixelScale;
  settings.aggressiveness = s.settings.observatory.aggressiveness;
  return settings;
}

GuideChoice Current(const SimulatedLog& s) {
  return {s.settings.observatory.aggressiveness, 0.01, s.exposureS};
}

// advise on the run's record (its times and settings), the scale given.
PredictionAdvice FromRecord(const SimulatedLog& s) {
  const guidelog::Record record = guidelog::ParseRecord(s.outcome.record);
  RunSettings flags;
  flags.scale = s.settings.observatory.camera.pixelScale;
  std::vector<std::string> notes;
  const RunSettings settings = SettingsFromRecord(record, flags, false, notes);
  EXPECT_EQ(settings.predictPeriodicError, s.settings.dialogs.predictPeriodicError);
  return AdvisePrediction(record.run, settings, Current(s));
}

TEST(PredictionAdvice, StrongPeriodicErrorHelpsByAboutTheMeasuredGain) {
  const auto s = Simulated(StrongPeriodicError);
  const double measuredGain = 1.0 - SecondHourRaRms(s, true) / SecondHourRaRms(s, false);
  ASSERT_GT(measuredGain, 0.4);  // the sky is one the prediction is for

  const PredictionAdvice p = FromRecord(s);
  EXPECT_EQ(p.verdict, Verdict::Helps) << p.why;
  EXPECT_FALSE(p.ticked);
  EXPECT_NEAR(p.period, 480.0, 5.0);
  EXPECT_NEAR(p.Gain(), measuredGain, 0.1);
  // The guide log alone, its times modelled from the exposure: the same word.
  const PredictionAdvice q = AdvisePrediction(OnlyRun(s), WithScale(s), Current(s));
  EXPECT_EQ(q.verdict, Verdict::Helps) << q.why;
  EXPECT_NEAR(q.Gain(), measuredGain, 0.15);

  // The same night guided with the box ticked: the pulses now cancel most of the periodic
  // error, and what it gained is judged alike.
  const PredictionAdvice r = FromRecord(Simulated([](LogScenario& c) {
    StrongPeriodicError(c);
    c.predict = true;
  }));
  EXPECT_TRUE(r.ticked);
  EXPECT_EQ(r.verdict, Verdict::Helps) << r.why;
  EXPECT_NEAR(r.Gain(), measuredGain, 0.1);
}

TEST(PredictionAdvice, NoPeriodicErrorWouldNotHelp) {
  const auto s = Simulated([](LogScenario& c) {
    c.cycles = 900;
    c.observatory.mount.periodicErrorPP = 0.0;
  });
  const PredictionAdvice p = AdvisePrediction(OnlyRun(s), WithScale(s), Current(s));
  EXPECT_EQ(p.verdict, Verdict::DoesNotHelp) << p.why;
  EXPECT_LT(p.Gain(), kWorthwhileGain);
}

TEST(PredictionAdvice, WithheldWhereTheLogCannotTell) {
  // 300 cycles (12 minutes) of a 480 s worm: less than two periods.
  const auto s = Simulated([](LogScenario& c) {
    c.observatory.mount.periodicErrorPP = 30.0;
    c.observatory.mount.wormPeriod = 480.0;
  });
  PredictionAdvice p = AdvisePrediction(OnlyRun(s), WithScale(s), Current(s));
  EXPECT_EQ(p.verdict, Verdict::Withheld);
  EXPECT_NE(p.why.find("too short"), std::string::npos) << p.why;

  RunSettings noScale = WithScale(s);
  noScale.scale.reset();
  p = AdvisePrediction(OnlyRun(s), noScale, Current(s));
  EXPECT_EQ(p.verdict, Verdict::Withheld);
  EXPECT_NE(p.why.find("no --scale"), std::string::npos) << p.why;

  // 300 cycles, five minutes of them lost to a cloud.
  const auto clouded = Simulated([](LogScenario& c) {
    test::Clouded(c);
    c.cycles = 300;
    c.observatory.events.back().durationSeconds = 300.0;
  });
  RunSettings settings = WithScale(clouded);
  settings.minStars = 4;
  p = AdvisePrediction(OnlyRun(clouded), settings, Current(clouded));
  EXPECT_EQ(p.verdict, Verdict::Withheld);
  EXPECT_NE(p.why.find("too few guided cycles"), std::string::npos) << p.why;

  // The strong periodic error's hour with half a minute of cloud in its second half.
  const auto cloudedHour = Simulated([](LogScenario& c) {
    test::Clouded(c);
    StrongPeriodicError(c);
    c.observatory.events.back().afterCycles = 1000;
    c.observatory.events.back().durationSeconds = 30.0;
  });
  settings = WithScale(cloudedHour);
  settings.minStars = 4;
  p = AdvisePrediction(OnlyRun(cloudedHour), settings, Current(cloudedHour));
  EXPECT_EQ(p.verdict, Verdict::Withheld);
  EXPECT_NE(p.why.find("1 cloud"), std::string::npos) << p.why;
}

}  // namespace
}  // namespace corvane::logtools
