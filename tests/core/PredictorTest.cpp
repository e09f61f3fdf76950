// The periodic-error predictor on synthetic series: a guide loop on numbers (a mount whose RA
// motion is a given function of time, seeing noise, the proportional correction plus the
// predictor's term), so that what it learns, when it acts and what it gives can be checked
// against the motion it was fed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "guiding/PeriodicErrorPredictor.h"

namespace corvane {
namespace {

constexpr double kExposure = 2.0;
constexpr double kDownload = 0.3;
constexpr double kOverhead = 0.2;  // from the pulse's end to the next exposure
constexpr double kSpeed = 5.0;     // pixels per second of pulse
constexpr double kMaxMove = 2.0;   // seconds

double Sine(double t, double period, double amplitude, double phase = 0.0) {
  return amplitude * std::sin(2.0 * std::numbers::pi * t / period + phase);
}

// One cycle as the loop saw it.
struct Cycle {
  double middle = 0.0;  // of the exposure, seconds
  double offset = 0.0;  // measured, pixels along RA (NaN: not measured)
  double term = 0.0;
  double truthAhead = 0.0;  // the motion from this exposure's middle to the next one's
  PredictionStatus status;
};

// The guide loop: exposures whose middle sees motion(t) less what the pulses moved, plus noise.
class Loop {
 public:
  std::function<double(double)> motion = [](double) { return 0.0; };
  std::function<bool(double)> measured = [](double) { return true; };  // false: too few stars
  // What the loop hands the predictor as the measured offset (to spoil it), given the true one.
  std::function<double(double, double)> spoil = [](double, double offset) { return offset; };
  double noise = 0.1;  // pixels, per exposure
  CalibrationInEffect calibration{0.0, 0.0, false, 14.0, kSpeed};
  double rate = kSpeed;  // pixels per second the mount really moves during a pulse
  bool predict = true;

  std::vector<Cycle> Run(double seconds) {
    std::vector<Cycle> cycles;
    while (start_ < seconds) {
      Cycle c;
      c.middle = start_ + kExposure / 2.0;
      const double correction = start_ + kExposure + kDownload;
      const CycleTimes times{Ms(start_), kExposure, Ms(correction), kMaxMove};
      double pulse = 0.0;
      if (measured(c.middle)) {
        // The loop corrects what it measured, as the run does, within the maximum move.
        c.offset = spoil(c.middle, motion(c.middle) - moved_ + noise_(rng_) * noise);
        c.term = predict ? predictor.Measured(times, c.offset, calibration) : 0.0;
        pulse = (calibration.aggressiveness / 20.0 * c.offset + c.term) / calibration.xSpeed;
        pulse = std::isfinite(pulse) ? std::clamp(pulse, -kMaxMove, kMaxMove) : 0.0;
      } else {
        c.offset = std::numeric_limits<double>::quiet_NaN();
        if (predict) predictor.Missed(times);
      }
      if (predict) predictor.PulsesSent(pulse);
      moved_ += pulse * rate;
      c.status = predictor.Status();
      start_ = correction + std::abs(pulse) + kOverhead;
      c.truthAhead = motion(start_ + kExposure / 2.0) - motion(c.middle);
      cycles.push_back(c);
    }
    return cycles;
  }

  PeriodicErrorPredictor predictor;

 private:
  static std::int64_t Ms(double seconds) { return std::llround(seconds * 1000.0); }
  double start_ = 0.0;
  double moved_ = 0.0;
  std::mt19937_64 rng_{3};
  std::normal_distribution<double> noise_{0.0, 1.0};
};

// The measured offsets of a loop with 0.1 px of noise and nothing to forecast have an RMS of
// about 0.124 px (the noise, and what the gain of 0.7 passes on of it); a little more.
constexpr double kNoiseFloor = 0.135;

// RMS of the measured offsets of the cycles from `from` to `to` seconds.
double OffsetRms(const std::vector<Cycle>& cycles, double from, double to) {
  double squares = 0.0;
  int n = 0;
  for (const Cycle& c : cycles) {
    if (c.middle < from || c.middle >= to || std::isnan(c.offset)) continue;
    squares += c.offset * c.offset;
    ++n;
  }
  return n ? std::sqrt(squares / n) : 0.0;
}

// The share of the cycles measured from `from` to `to` whose term was in use.
double ActiveShare(const std::vector<Cycle>& cycles, double from, double to) {
  int active = 0, n = 0;
  for (const Cycle& c : cycles) {
    if (c.middle < from || c.middle >= to || !(std::abs(c.offset) < 1e6)) continue;
    active += c.status.active ? 1 : 0;
    ++n;
  }
  return n ? static_cast<double>(active) / n : 0.0;
}

TEST(Predictor, FindsTheWormPeriodAndForecastsTheMotionTheProportionalCorrectionLagsBehind) {
  // A 480 s worm with its second harmonic and a drift, 12 px peak to peak.
  const auto drift = [](double t) { return 0.002 * t; };
  const auto worm = [&](double t) { return Sine(t, 480, 5) + Sine(t, 240, 1.5, 1) + drift(t); };
  Loop predicted, today, floor;
  predicted.motion = today.motion = worm;
  floor.motion = drift;
  today.predict = floor.predict = false;
  const std::vector<Cycle> cycles = predicted.Run(3600);
  const std::vector<Cycle> proportional = today.Run(3600);
  const std::vector<Cycle> noiseOnly = floor.Run(3600);

  // Within 2 % after two worm periods.
  for (const Cycle& c : cycles) {
    if (c.middle < 960) continue;
    EXPECT_NEAR(c.status.period, 480.0, 0.02 * 480.0) << c.middle;
    break;
  }
  // From then on it acts, and its term is the motion until the next exposure.
  EXPECT_GT(ActiveShare(cycles, 1200, 3600), 0.95);
  double squares = 0.0, motion = 0.0;
  int n = 0;
  for (const Cycle& c : cycles) {
    if (c.middle < 1800) continue;
    squares += (c.term - c.truthAhead) * (c.term - c.truthAhead);
    motion += c.truthAhead * c.truthAhead;
    ++n;
  }
  EXPECT_LT(std::sqrt(squares / n), 0.1 * std::sqrt(motion / n));
  // The offsets fall to what the noise alone leaves (the same loop without the worm); the
  // proportional correction alone lags well behind.
  const double floorRms = OffsetRms(noiseOnly, 1800, 3600);
  EXPECT_LT(OffsetRms(cycles, 1800, 3600), 1.1 * floorRms);
  EXPECT_GT(OffsetRms(proportional, 1800, 3600), 1.6 * floorRms);

  // Pure: the same cycles give the same terms.
  Loop again;
  again.motion = worm;
  const std::vector<Cycle> replayed = again.Run(3600);
  ASSERT_EQ(replayed.size(), cycles.size());
  for (std::size_t i = 0; i < cycles.size(); ++i) EXPECT_EQ(replayed[i].term, cycles[i].term);
}

TEST(Predictor, FindsAComponentThatIsNoHarmonicOfTheWorm) {
  Loop loop;
  loop.motion = [](double t) { return Sine(t, 600, 4) + Sine(t, 97, 1); };
  const std::vector<Cycle> cycles = loop.Run(3600);
  EXPECT_GE(cycles.back().status.components, 2);
  EXPECT_NEAR(cycles.back().status.period, 600.0, 6.0);
  EXPECT_LT(OffsetRms(cycles, 2400, 3600), kNoiseFloor);
}

TEST(Predictor, ActsNoMoreDuringAGapAndGoesOnAfterIt) {
  Loop loop;
  loop.motion = [](double t) { return Sine(t, 300, 4); };
  loop.measured = [](double t) { return t < 1500 || t > 1800; };  // five minutes of cloud
  const std::vector<Cycle> cycles = loop.Run(2700);
  for (const Cycle& c : cycles) {
    if (c.middle > 1500 && c.middle < 1800) {
      EXPECT_EQ(c.term, 0.0) << c.middle;
    }
  }
  // The motion went on behind the cloud; the first cycles after it are corrected at once.
  EXPECT_GT(ActiveShare(cycles, 1800, 1830), 0.99);
  EXPECT_LT(OffsetRms(cycles, 1830, 2700), kNoiseFloor);
}

TEST(Predictor, FallsBackWhenItsForecastsFailAndComesBackWhenTheyHoldAgain) {
  // The periodic error turns over (its phase jumps by half a turn) at 2400 s.
  Loop loop;
  loop.motion = [](double t) { return Sine(t, 300, 4, t < 2400 ? 0.0 : std::numbers::pi); };
  const std::vector<Cycle> cycles = loop.Run(5400);
  EXPECT_GT(ActiveShare(cycles, 1500, 2400), 0.95);
  // Soon after the turn the term is no longer used ...
  double firstOff = 0.0;
  for (const Cycle& c : cycles) {
    if (c.middle > 2400 && !c.status.active) {
      firstOff = c.middle;
      break;
    }
  }
  EXPECT_GT(firstOff, 2400.0);
  EXPECT_LT(firstOff, 2400.0 + 120.0);
  // ... and once the new motion is learnt, it is used again.
  EXPECT_GT(ActiveShare(cycles, 4200, 5400), 0.95);
  EXPECT_LT(OffsetRms(cycles, 4200, 5400), kNoiseFloor);
}

TEST(Predictor, NeverActsOnMotionWithoutAPeriod) {
  // A straight drift, and a random walk: nothing periodic to forecast.
  Loop drift, walk;
  drift.motion = [](double t) { return 0.01 * t; };
  std::mt19937_64 rng(5);
  std::normal_distribution<double> step(0.0, 0.05);
  std::vector<double> path(8000, 0.0);
  for (std::size_t i = 1; i < path.size(); ++i) path[i] = path[i - 1] + step(rng);
  walk.motion = [&path](double t) { return path[static_cast<std::size_t>(t)]; };
  for (Loop* loop : {&drift, &walk}) {
    const std::vector<Cycle> cycles = loop->Run(7200);
    EXPECT_EQ(ActiveShare(cycles, 0, 7200), 0.0);
    for (const Cycle& c : cycles) EXPECT_EQ(c.term, 0.0);
  }
}

TEST(Predictor, BoundedOnHostileInput) {
  const auto worm = [](double t) { return Sine(t, 400, 5); };
  struct Case {
    const char* name;
    std::function<double(double, double)> spoil;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<Case> cases = {
      {"NaN now and then",
       [nan](double t, double o) { return static_cast<int>(t) % 7 == 0 ? nan : o; }},
      {"infinite and huge values",
       [inf](double t, double o) {
         const int k = static_cast<int>(t) % 11;
         return k == 0 ? inf : k == 1 ? -1e300 : k == 2 ? 1e9 : o;
       }},
      {"a constant", [](double, double) { return 3.25; }},
      {"a step of 500 px", [](double t, double o) { return t > 1800 ? o + 500.0 : o; }},
  };
  for (const Case& c : cases) {
    Loop loop;
    loop.motion = worm;
    loop.spoil = c.spoil;
    const std::vector<Cycle> cycles = loop.Run(3600);
    double largestMotion = 0.0;
    for (const Cycle& cycle : cycles) {
      largestMotion = std::max(largestMotion, std::abs(cycle.truthAhead));
    }
    for (const Cycle& cycle : cycles) {
      ASSERT_TRUE(std::isfinite(cycle.term)) << c.name << " at " << cycle.middle;
      // Never more than a few times the largest motion the mount makes in a cycle.
      EXPECT_LE(std::abs(cycle.term), 4.0 * largestMotion) << c.name << " at " << cycle.middle;
    }
    if (std::string(c.name) == "NaN now and then" ||
        std::string(c.name) == "infinite and huge values") {
      // Such cycles are left out; the worm is learnt from the others all the same.
      EXPECT_GT(ActiveShare(cycles, 2400, 3600), 0.9) << c.name;
    }
    if (std::string(c.name) == "a constant") {
      EXPECT_EQ(ActiveShare(cycles, 0, 3600), 0.0);
    }
    if (std::string(c.name) == "a step of 500 px") {
      // The jump is no motion to forecast: the term stays small, then the worm is learnt anew.
      for (const Cycle& cycle : cycles) {
        if (cycle.middle > 1800) {
          EXPECT_LE(std::abs(cycle.term), 2.0 * largestMotion);
        }
      }
      EXPECT_GT(ActiveShare(cycles, 3000, 3600), 0.9);
    }
  }
}

TEST(Predictor, ACalibrationChangeStartsAfreshAndAggressivenessZeroGivesNoTerm) {
  Loop loop;
  loop.motion = [](double t) { return Sine(t, 300, 4); };
  std::vector<Cycle> cycles = loop.Run(1800);
  ASSERT_TRUE(cycles.back().status.active);
  // The host's aggressiveness 0 (the run is ending): no term, though the forecast holds.
  loop.calibration.aggressiveness = 0.0;
  cycles = loop.Run(1830);
  EXPECT_FALSE(cycles.back().status.active);
  EXPECT_EQ(cycles.back().term, 0.0);
  // Another aggressiveness: the term is the motion, whatever the proportional part.
  loop.calibration.aggressiveness = 8.0;
  cycles = loop.Run(1860);
  EXPECT_TRUE(cycles.back().status.active);
  // A new guide angle: the RA axis lies elsewhere on the sensor; what was learnt is dropped.
  loop.calibration.angle = 0.3;
  cycles = loop.Run(1890);
  EXPECT_FALSE(cycles.back().status.active);
  EXPECT_EQ(cycles.back().status.components, 0);
  // A new guide rate, calibrated anew, is none: the motion is learnt in pixels.
  Loop faster;
  faster.motion = [](double t) { return Sine(t, 300, 4); };
  cycles = faster.Run(1800);
  faster.calibration.xSpeed = faster.rate = 2.0 * kSpeed;
  cycles = faster.Run(2400);
  EXPECT_GT(ActiveShare(cycles, 1800, 2400), 0.99);
  EXPECT_LT(OffsetRms(cycles, 1800, 2400), kNoiseFloor);
}

TEST(Predictor, FollowsAWormWhoseAmplitudeAndPhaseWander) {
  // A 300 s worm whose amplitude swings by half over 600 s and whose phase by a radian over
  // 500 s: a fit of the worm's shape that holds still for even a period lags behind it (its
  // forecasts miss by half the motion), one that follows the wander misses by a fifth.
  const auto worm = [](double t) {
    const double amplitude = 8.0 * (1.0 + 0.5 * std::sin(2.0 * std::numbers::pi * t / 600.0));
    return Sine(t, 300, amplitude, std::sin(2.0 * std::numbers::pi * t / 500.0));
  };
  Loop loop;
  loop.motion = worm;
  const std::vector<Cycle> cycles = loop.Run(3600);
  double squares = 0.0, motion = 0.0;
  for (const Cycle& c : cycles) {
    if (c.middle < 1800) continue;
    squares += (c.term - c.truthAhead) * (c.term - c.truthAhead);
    motion += c.truthAhead * c.truthAhead;
  }
  EXPECT_GT(ActiveShare(cycles, 1800, 3600), 0.95);
  EXPECT_LT(std::sqrt(squares / motion), 0.3);
  EXPECT_GT(cycles.back().status.wander, 0.0);  // a tracking fit in use
}

}  // namespace
}  // namespace corvane
