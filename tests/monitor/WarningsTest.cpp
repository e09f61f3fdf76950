// The warnings on runs of the simulated observatory: corrections growing as with a reversed
// calibration (and never on a good one, whatever the sky), stars lost under a cloud and the cycles
// without a pulse it causes, no new cycle for three cycle lengths; and the graph's ticks.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "monitor/Graph.h"
#include "monitor/RunState.h"
#include "monitor/Texts.h"
#include "tests/monitor/Logs.h"

namespace corvane::monitor {
namespace {

constexpr double kNight = 1.7e9;

bool Mentions(const std::vector<std::string>& warnings, const std::string& words) {
  for (const std::string& w : warnings) {
    if (w.find(words) != std::string::npos) return true;
  }
  return false;
}

// A cloud that hides all five stars after `afterCycles` cycles, for `seconds`.
sim::ScriptedEvent TotalCloud(int afterCycles, double seconds) {
  sim::ScriptedEvent cloud;
  cloud.kind = sim::ScriptedEvent::Kind::Cloud;
  cloud.afterCycles = afterCycles;
  cloud.durationSeconds = seconds;
  cloud.transmission = 0.0;
  cloud.stars = {0, 1, 2, 3, 4};
  return cloud;
}

// The run fed a cycle a second as it arrives; `each` sees the state after every cycle.
template <typename Each>
RunState Replay(const std::string& log, Each each) {
  const guidelog::LogRun parsed = guidelog::ParseLog(log).runs.back();
  RunState run(RunInfo{parsed.stars, {}, {}, {}, {}, false, {}, {}});
  for (std::size_t i = 0; i < parsed.rows.size(); ++i) {
    run.Add(CycleLine{parsed.rows[i], std::nullopt, {}, {}, {}}, kNight + static_cast<double>(i));
    each(run, kNight + static_cast<double>(i));
  }
  return run;
}

TEST(Warnings, CorrectionsGrowingAsWithAReversedCalibrationAndNeverOnAGoodOne) {
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    std::optional<std::uint64_t> warnedAt;
    Replay(test::SimulatedLog(60, seed, [](logtools::LogScenario& s) { s.hostReversesX = true; }),
           [&](const RunState& run, double now) {
             if (!warnedAt && Mentions(Warnings(run, true, now), "The corrections grow")) {
               warnedAt = run.Cycles();
             }
           });
    ASSERT_TRUE(warnedAt) << "seed " << seed;
    EXPECT_LE(*warnedAt, 30u) << "seed " << seed;
  }
  // Good calibrations under other skies: large periodic error, strong drift, a cloud, faint
  // stars, one star; no warning in any cycle.
  void (*skies[])(logtools::LogScenario&) = {
      [](logtools::LogScenario&) {},
      [](logtools::LogScenario& s) { s.observatory.mount.periodicErrorPP = 40.0; },
      [](logtools::LogScenario& s) {
        s.observatory.mount.raDrift = 6.0;
        s.observatory.mount.decDrift = -6.0;
      },
      [](logtools::LogScenario& s) { s.observatory.events.push_back(TotalCloud(50, 90)); },
      [](logtools::LogScenario& s) {
        s.observatory.sky.brightestFlux = 2000;
        s.observatory.sky.faintestFlux = 300;
      },
      [](logtools::LogScenario& s) { s.stars = 1; },
  };
  for (auto sky : skies) {
    for (std::uint64_t seed = 11; seed <= 13; ++seed) {
      Replay(test::SimulatedLog(300, seed, sky), [&](const RunState& run, double now) {
        ASSERT_FALSE(run.Growth().Growing())
            << "seed " << seed << ", cycle " << run.Cycles() << "\n"
            << Warnings(run, true, now).back();
      });
    }
  }
}

TEST(Warnings, StarsLostUnderACloudAndTheCyclesWithoutAPulse) {
  const std::string log = test::SimulatedLog(120, 21, [](logtools::LogScenario& s) {
    s.minStars = 4;
    s.observatory.events.push_back(TotalCloud(40, 40));
  });
  bool lostSeen = false, starvedSeen = false;
  const RunState run = Replay(log, [&](const RunState& r, double now) {
    const auto warnings = Warnings(r, true, now);
    lostSeen = lostSeen || Mentions(warnings, "Not found: star 1 (in the last 3 cycles)");
    starvedSeen = starvedSeen || Mentions(warnings, "No guide pulse in the last 2 cycles");
    if (Mentions(warnings, "No guide pulse")) {
      EXPECT_EQ(r.Stars()[0].state, StarState::NotFound);
      EXPECT_EQ(StarText(0, r.Stars()[0]).substr(0, 11), "Star 1: SN ");
      EXPECT_NE(StarText(0, r.Stars()[0]).find(", not found"), std::string::npos);
    }
  });
  EXPECT_TRUE(lostSeen);
  EXPECT_TRUE(starvedSeen);
  // After the cloud: the stars are back and the run keeps the count.
  const auto after = Warnings(run, true, kNight + 119);
  EXPECT_FALSE(Mentions(after, "Not found"));
  EXPECT_TRUE(
      Mentions(after, "earlier in this run had no guide pulse for want of stars, the last at"));
  EXPECT_GT(run.Starved(), 5u);
}

TEST(Warnings, NoNewCycleForThreeCycleLengths) {
  const RunState run = Replay(test::SimulatedLog(20, 22), [](const RunState&, double) {});
  const double last = kNight + 19;
  EXPECT_FALSE(Mentions(Warnings(run, true, last + 2.5), "No new cycle"));
  const auto warnings = Warnings(run, true, last + 10);
  EXPECT_TRUE(Mentions(warnings, "No new cycle for 10 s, three times the 1 s a cycle takes"));
  EXPECT_FALSE(Mentions(Warnings(run, false, last + 10), "No new cycle"));  // a past file
}

TEST(Graph, TicksAreRoundAndTheClockIsLocal) {
  EXPECT_DOUBLE_EQ(NiceStep(1.0, 2), 0.5);
  EXPECT_DOUBLE_EQ(NiceStep(3.3, 2), 2.0);
  EXPECT_DOUBLE_EQ(NiceStep(0.07, 2), 0.05);
  const double to = 1.7e9 + 7 * 60 + 13;
  const auto ticks = TimeTicks(to - 300.0, to, 6);
  ASSERT_EQ(ticks.size(), 5u);
  for (const Tick& t : ticks) {
    EXPECT_EQ(std::fmod(t.value + LocalOffsetSeconds(t.value), 60.0), 0.0);
    EXPECT_EQ(t.label, ClockText(t.value).substr(0, 5));
  }
}

// On the last 5, 15 or 60 minutes the clock stays put while cycles come and steps a tenth of the
// span ahead of the newest, showing never less than the span; the whole run ends at the newest.
TEST(Graph, AFixedSpansClockStepsAheadOfTheNewestCycle) {
  int steps = 0;
  std::optional<GraphModel> before;
  Replay(test::SyntheticLog(700, 5), [&](const RunState& run, double now) {
    const GraphModel g = MakeGraph(run, Span::Minutes5, std::nullopt, 600);
    EXPECT_GE(now, g.to - 30.0);
    EXPECT_LE(now, g.to);
    EXPECT_DOUBLE_EQ(g.to - g.from, 330.0);
    if (before && g.to != before->to) {
      ++steps;
      EXPECT_DOUBLE_EQ(g.to - before->to, 30.0);
    } else if (before) {
      // The same axes: the earlier points stay as they were, the new ones come after them.
      ASSERT_GE(g.a.size(), before->a.size());
      EXPECT_EQ(g.a.front().time, before->a.front().time);
      EXPECT_GT(g.a.back().time, before->a.back().time);
    }
    before = g;
    EXPECT_DOUBLE_EQ(MakeGraph(run, Span::All, std::nullopt, 600).to, now);
  });
  EXPECT_GE(steps, 22);
}

}  // namespace
}  // namespace corvane::monitor
