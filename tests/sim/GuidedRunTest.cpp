// Whole guiding runs of the portable core in the simulated observatory: a correct calibration
// converges and a wrong sign diverges; the log's rows agree with what the model recorded; the
// scripted events end the run as a host's would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "guidelog/LogFile.h"
#include "sim/run/Simulation.h"

namespace corvane::sim {
namespace {

using Kind = ScriptedEvent::Kind;

ScriptedEvent AfterCycles(Kind kind, int cycles) {
  ScriptedEvent event;
  event.kind = kind;
  event.afterCycles = cycles;
  return event;
}

// The default sky, mount and user, with event 15 stopping the run after `cycles` guide cycles.
SimulationSettings StoppedAfter(int cycles) {
  SimulationSettings s;
  s.observatory.events.push_back(AfterCycles(Kind::Stop, cycles));
  return s;
}

// The host's guider settings as a correct calibration leaves them, to be spoilt by a test.
GuiderCalibration& OwnCalibration(ObservatorySettings& o) {
  o.calibration = CalibrationFor(o.camera, o.mount, o.aggressiveness);
  return *o.calibration;
}

guidelog::LogRun Log(const RunOutcome& outcome) {
  std::string error;
  auto log = guidelog::FirstRun(outcome.log, &error);
  EXPECT_TRUE(log.has_value()) << error;
  return log.value_or(guidelog::LogRun{});
}

TEST(GuidedRun, WithACorrectCalibrationTheErrorStaysFarBelowTheUnguidedError) {
  SimulationSettings s = StoppedAfter(150);
  s.observatory.mount.periodicErrorPP = 10.0;
  s.observatory.mount.declinationDeg = 40.0;
  const RunOutcome guided = RunSimulation(s);
  const RunOutcome unguided = RunUnguided(s);
  ASSERT_FALSE(guided.failed) << guided.failure;
  EXPECT_EQ(guided.cycles.size(), 150u);
  EXPECT_LT(guided.truth.raRms, 0.25 * unguided.truth.raRms);
  EXPECT_LT(guided.truth.decRms, 0.25 * unguided.truth.decRms);
  EXPECT_LT(guided.truth.totalRms, 0.6);
}

TEST(GuidedRun, ConvergesWhateverTheCameraAngleMirroringAndWiring) {
  struct Setup {
    double rotation;
    bool mirrored, raSwapped, decSwapped;
    double declination;
  };
  for (const Setup& setup :
       {Setup{140.0, true, false, false, 30.0}, Setup{-70.0, false, true, false, 30.0},
        Setup{25.0, true, false, true, 70.0}}) {
    SimulationSettings s = StoppedAfter(100);
    s.observatory.camera.rotationDeg = setup.rotation;
    s.observatory.camera.mirrored = setup.mirrored;
    s.observatory.mount.raOutputsSwapped = setup.raSwapped;
    s.observatory.mount.decOutputsSwapped = setup.decSwapped;
    s.observatory.mount.declinationDeg = setup.declination;
    const RunOutcome guided = RunSimulation(s);
    const RunOutcome unguided = RunUnguided(s);
    EXPECT_LT(guided.truth.totalRms, 0.3 * unguided.truth.totalRms) << setup.rotation;
  }
}

// A mount with a 30" p-p worm of 300 s, guided until `seconds`.
SimulationSettings WormOf300Seconds(double seconds) {
  SimulationSettings s;
  ScriptedEvent stop;
  stop.kind = Kind::Stop;
  stop.atSeconds = seconds;
  s.observatory.events.push_back(stop);
  s.observatory.mount.periodicErrorPP = 30.0;
  s.observatory.mount.wormPeriod = 300.0;
  return s;
}

TEST(GuidedRun, PredictingThePeriodicErrorTakesOutMostOfWhatTheProportionalCorrectionLeaves) {
  // The second half hour judged.
  SimulationSettings s = WormOf300Seconds(3600.0);
  s.observatory.windowFromSeconds = 1800.0;
  const RunOutcome today = RunSimulation(s);
  s.dialogs.predictPeriodicError = true;
  const RunOutcome predicted = RunSimulation(s);
  ASSERT_FALSE(predicted.failed) << predicted.failure;
  EXPECT_TRUE(today.predictions.empty());
  ASSERT_EQ(predicted.predictions.size(), predicted.cycles.size());
  EXPECT_NEAR(predicted.predictions.back().period, 300.0, 3.0);
  EXPECT_TRUE(predicted.predictions.back().active);
  EXPECT_LT(predicted.window.raRms, 0.4 * today.window.raRms);
  // What the host received is still what the log says was sent, and the log's offsets are the
  // stars' true ones (within the seeing).
  const auto problems = CompareLogWithTruth(Log(predicted), predicted.cycles, 1.0);
  EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST(GuidedRun, PredictingSendsNothingBehindACloudAndTakesUpAgainAfterIt) {
  // A 30" p-p worm of 300 s and half a minute of cloud at 2000 s: the clouded cycles issue no
  // guide command (fewer stars than MinStars), and the learnt term is back in use soon after.
  SimulationSettings s = WormOf300Seconds(2100.0);
  ScriptedEvent cloud;
  cloud.kind = Kind::Cloud;
  cloud.atSeconds = 2000.0;
  cloud.durationSeconds = 30.0;
  cloud.transmission = 0.001;
  cloud.stars = {0, 1, 2, 3, 4};
  s.observatory.events.push_back(cloud);
  s.dialogs.predictPeriodicError = true;
  const RunOutcome predicted = RunSimulation(s);
  ASSERT_FALSE(predicted.failed) << predicted.failure;
  int clouded = 0, after = 0, activeAfter = 0;
  for (std::size_t i = 0; i < predicted.cycles.size(); ++i) {
    const CycleTruth& c = predicted.cycles[i];
    if (c.start > 2001.0 && c.end < 2029.0) {
      ++clouded;
      EXPECT_TRUE(c.pulses.empty()) << c.cycle;
    } else if (c.start > 2050.0) {
      ++after;
      activeAfter += predicted.predictions[i].active ? 1 : 0;
    }
  }
  EXPECT_GT(clouded, 5);
  ASSERT_GT(after, 10);
  EXPECT_GT(activeAfter, after * 8 / 10);
}

TEST(UnguidedComparison, TheSameMountOverTheSameSpanGivesTheUnguidedRunsFigures) {
  // Without guiding, the truth of a whole run and the error computed over its span agree.
  const SimulationSettings s = StoppedAfter(80);
  const RunOutcome unguided = RunUnguided(s);
  const ErrorSummary over = UnguidedOver(s.observatory, unguided);
  EXPECT_NEAR(over.raRms, unguided.truth.raRms, 0.02 * unguided.truth.raRms);
  EXPECT_NEAR(over.decPeakToPeak, unguided.truth.decPeakToPeak,
              0.02 * unguided.truth.decPeakToPeak);
}

TEST(GuidedRun, AWrongReverseXDrivesTheRaErrorAway) {
  SimulationSettings s = StoppedAfter(60);
  GuiderCalibration& calibration = OwnCalibration(s.observatory);
  calibration.reverseX = !calibration.reverseX;
  const RunOutcome guided = RunSimulation(s);
  const RunOutcome unguided = RunUnguided(s);
  EXPECT_GT(guided.truth.raPeakToPeak, 3.0 * unguided.truth.raPeakToPeak);
  // Dec is still guided correctly.
  EXPECT_LT(guided.truth.decRms, 0.5 * unguided.truth.decRms);
}

TEST(GuidedRun, LogRowsAgreeWithWhatTheModelRecorded) {
  SimulationSettings s = StoppedAfter(40);
  s.observatory.sky.seeingJitter = 0.05;
  s.dialogs.guideSetup.front().NumberStars = "4";  // guide stars
  const RunOutcome outcome = RunSimulation(s);
  const guidelog::LogRun log = Log(outcome);
  ASSERT_EQ(log.stars, 4);
  ASSERT_EQ(log.rows.size(), 40u);
  ASSERT_EQ(outcome.cycles.size(), 40u);
  int pulses = 0;
  for (std::size_t i = 0; i < log.rows.size(); ++i) {
    const guidelog::LogRow& row = log.rows[i];
    const CycleTruth& truth = outcome.cycles[i];
    // The mean offset the plug-in measured is the stars' true shift, to within seeing and
    // centroid noise (and the user's selection frame, which the truth also starts from).
    EXPECT_NEAR(row.xoff, truth.shiftPx.x, 0.1) << "cycle " << i + 1;
    EXPECT_NEAR(row.yoff, truth.shiftPx.y, 0.1) << "cycle " << i + 1;
    // Each pulse the host received is the logged value, on the output its sign selects.
    std::vector<Pulse> expected;
    if (row.xtim > 0) expected.push_back({0, row.xtim, 0});
    if (row.xtim < 0) expected.push_back({1, -row.xtim, 0});
    if (row.ytim > 0) expected.push_back({2, row.ytim, 0});
    if (row.ytim < 0) expected.push_back({3, -row.ytim, 0});
    ASSERT_EQ(truth.pulses.size(), expected.size()) << "cycle " << i + 1;
    for (std::size_t p = 0; p < expected.size(); ++p) {
      EXPECT_EQ(truth.pulses[p].direction, expected[p].direction);
      EXPECT_NEAR(truth.pulses[p].seconds, expected[p].seconds, 1e-6 * expected[p].seconds + 1e-9);
    }
    pulses += static_cast<int>(expected.size());
  }
  EXPECT_EQ(outcome.pulses, pulses);
  EXPECT_TRUE(CompareLogWithTruth(log, outcome.cycles, 0.1).empty());
  EXPECT_GT(pulses, 20);
  EXPECT_EQ(outcome.host.objectsAlive, 0);
}

TEST(ScriptedEvents, Event15EndsTheRunAfterItsCycleWithTheNotificationShown) {
  const RunOutcome outcome = RunSimulation(StoppedAfter(12));
  EXPECT_FALSE(outcome.failed);
  EXPECT_EQ(Log(outcome).rows.size(), 12u);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{"EventCode 15 received"});
}

// The event takes effect during the seventh cycle (what the run then does is the core's tests').
TEST(ScriptedEvents, AggressivenessZeroTakesEffectDuringItsCycle) {
  SimulationSettings s;
  s.observatory.events.push_back(AfterCycles(Kind::AggressivenessZero, 7));
  const RunOutcome outcome = RunSimulation(s);
  EXPECT_EQ(Log(outcome).rows.size(), 7u);
  EXPECT_TRUE(outcome.cycles.back().pulses.empty());
}

TEST(ScriptedEvents, ADroppedCameraLinkEndsWithCameraDisconnected) {
  SimulationSettings s;
  s.observatory.events.push_back(AfterCycles(Kind::LinkDrop, 5));
  const RunOutcome outcome = RunSimulation(s);
  EXPECT_EQ(Log(outcome).rows.size(), 5u);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{"Camera disconnected."});
}

TEST(ScriptedEvents, AClosedGuiderImageEndsTheRunSilently) {
  SimulationSettings s;
  s.observatory.events.push_back(AfterCycles(Kind::ImageClosed, 9));
  const RunOutcome outcome = RunSimulation(s);
  EXPECT_FALSE(outcome.failed);
  EXPECT_EQ(Log(outcome).rows.size(), 9u);
  EXPECT_EQ(outcome.cycles.size(), 10u);  // the tenth exposure was taken, then found no image
  EXPECT_TRUE(outcome.messages.empty());
  EXPECT_TRUE(CompareLogWithTruth(Log(outcome), outcome.cycles, 1.0).empty());
}

TEST(LogComparison, FindsAMissingRowAWrongOffsetAndAPulseThatDiffersFromTheRow) {
  const RunOutcome outcome = RunSimulation(StoppedAfter(10));
  guidelog::LogRun log = Log(outcome);
  ASSERT_TRUE(CompareLogWithTruth(log, outcome.cycles, 1.0).empty());
  guidelog::LogRun shifted = log;
  shifted.rows[3].xoff += 2.0;
  EXPECT_EQ(CompareLogWithTruth(shifted, outcome.cycles, 1.0).size(), 1u);
  guidelog::LogRun flipped = log;
  const auto pulsed = std::find_if(flipped.rows.begin(), flipped.rows.end(),
                                   [](const guidelog::LogRow& row) { return row.ytim != 0.0; });
  ASSERT_NE(pulsed, flipped.rows.end());
  pulsed->ytim = -pulsed->ytim;
  EXPECT_EQ(CompareLogWithTruth(flipped, outcome.cycles, 1.0).size(), 1u);
  guidelog::LogRun shorter = log;
  shorter.rows.resize(8);
  EXPECT_EQ(CompareLogWithTruth(shorter, outcome.cycles, 1.0).size(), 1u);
}

TEST(ScriptedEvents, ACloudDimsItsStarsOnlyWhileItLasts) {
  SimulationSettings s = StoppedAfter(60);
  ScriptedEvent cloud = AfterCycles(Kind::Cloud, 20);
  cloud.durationSeconds = 30.0;
  cloud.transmission = 0.001;
  cloud.stars = {0, 1};  // the two brightest
  s.observatory.events.push_back(cloud);
  const RunOutcome outcome = RunSimulation(s);
  const guidelog::LogRun log = Log(outcome);
  ASSERT_EQ(log.rows.size(), 60u);
  const double before = log.rows[10].stars[0].sn;
  EXPECT_GT(before, 50.0);
  EXPECT_LT(log.rows[22].stars[0].sn, 3.0);
  EXPECT_LT(log.rows[22].stars[1].sn, 3.0);
  EXPECT_GT(log.rows[22].stars[2].sn, 50.0);
  EXPECT_GT(log.rows[50].stars[0].sn, 50.0);
  // With MinSN screening the two lost stars don't pull the guiding off.
  EXPECT_LT(outcome.truth.totalRms, 0.6);
}

TEST(GuidedRun, ADisabledOutputGetsNoPulseThoughItsValueIsLogged) {
  // Directions 0, 2 and 3 only (mask 13): the RA axis is pushed one way and never back.
  SimulationSettings s = StoppedAfter(40);
  OwnCalibration(s.observatory).outputEnables = 13;
  const RunOutcome outcome = RunSimulation(s);
  const guidelog::LogRun log = Log(outcome);
  int negativeX = 0;
  for (const guidelog::LogRow& row : log.rows) negativeX += row.xtim < 0 ? 1 : 0;
  EXPECT_GT(negativeX, 0);
  for (const CycleTruth& cycle : outcome.cycles) {
    for (const Pulse& pulse : cycle.pulses) EXPECT_NE(pulse.direction, 1);
  }
}

TEST(ScriptedUser, ARefusedNumberIsRetypedAndACancelEndsTheRunBeforeAnyLog) {
  SimulationSettings s = StoppedAfter(3);
  s.dialogs.initialExposure = {"1,5", "1.5"};
  RunOutcome outcome = RunSimulation(s);
  EXPECT_EQ(outcome.messages.front(), "Please enter a number");
  EXPECT_EQ(Log(outcome).rows.size(), 3u);

  s.dialogs.guideSetup.clear();
  outcome = RunSimulation(s);
  EXPECT_TRUE(outcome.log.empty());
  EXPECT_EQ(outcome.host.exposures.size(), 1u);
}

}  // namespace
}  // namespace corvane::sim
