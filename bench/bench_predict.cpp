// corvane-bench-predict [--seeds N] [--only TEXT] [--hours H]: what "Predict periodic error"
// does, measured in the simulated observatory. Per sky: the RA RMS of the true error over the
// second hour of a two-hour run (arcsec on the sky, about its mean, mean over the seeds) guided
// as today (proportional), with the prediction ticked, and the floor (the same sky with every
// periodic term removed, guided as today); the period the predictor reports after two worm
// periods; then the predictor's cost per cycle on the host's thread over a 10-hour run.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numbers>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <malloc.h>
#include <time.h>

#include "guiding/PeriodicErrorPredictor.h"
#include "sim/Mount.h"
#include "sim/run/Simulation.h"

using namespace corvane;
using namespace corvane::sim;

namespace {

constexpr double kHour = 3600.0;

struct Sky {
  std::string name;
  std::function<void(SimulationSettings&)> make;
  bool periodic = true;  // has a periodic error (else the no-worse-than-today skies)
};

// The default observatory with the mount's periodic error set, guided for `seconds`.
SimulationSettings BaseSettings(double seconds) {
  SimulationSettings s;
  ScriptedEvent stop;
  stop.kind = ScriptedEvent::Kind::Stop;
  stop.atSeconds = seconds;
  s.observatory.events.push_back(stop);
  s.observatory.windowFromSeconds = seconds - kHour;
  return s;
}

void Pe(SimulationSettings& s, double pp, double worm) {
  s.observatory.mount.periodicErrorPP = pp;
  s.observatory.mount.wormPeriod = worm;
}

ScriptedEvent Cloud(double at, double seconds, std::vector<int> stars, double transmission) {
  ScriptedEvent cloud;
  cloud.kind = ScriptedEvent::Kind::Cloud;
  cloud.atSeconds = at;
  cloud.durationSeconds = seconds;
  cloud.transmission = transmission;
  cloud.stars = std::move(stars);
  return cloud;
}

std::vector<Sky> Skies() {
  using S = SimulationSettings;
  return {
      {"5\" p-p, 480 s worm", [](S& s) { Pe(s, 5, 480); }},
      {"10\" p-p, 480 s", [](S& s) { Pe(s, 10, 480); }},
      {"20\" p-p, 300 s", [](S& s) { Pe(s, 20, 300); }},
      {"30\" p-p, 480 s", [](S& s) { Pe(s, 30, 480); }},
      {"40\" p-p, 200 s, dec 0",
       [](S& s) {
         Pe(s, 40, 200);
         s.observatory.mount.declinationDeg = 0.0;
       }},
      {"40\" p-p, 700 s", [](S& s) { Pe(s, 40, 700); }},
      {"25\" p-p 600 s + gear 4\" 97 s",
       [](S& s) {
         Pe(s, 25, 600);
         s.observatory.mount.extraPeriodic = {{97.0, 4.0}};
       }},
      {"15\" 400 s + 6\" 150 s + 3\" 45 s",
       [](S& s) {
         Pe(s, 15, 400);
         s.observatory.mount.extraPeriodic = {{150.0, 6.0}, {45.0, 3.0}};
       }},
      {"30\" p-p 480 s, wander 0.05",
       [](S& s) {
         Pe(s, 30, 480);
         s.observatory.mount.periodicWander = 0.05;
       }},
      {"20\" p-p 300 s, wander 0.15",
       [](S& s) {
         Pe(s, 20, 300);
         s.observatory.mount.periodicWander = 0.15;
       }},
      {"seeing 1\", 3 stars, 20\" 480 s",
       [](S& s) {
         Pe(s, 20, 480);
         s.observatory.sky.seeingJitter = 1.0;
         s.dialogs.guideSetup.front().NumberStars = "3";
         s.dialogs.guideSetup.front().MinStars = "2";
       }},
      {"10 stars, seeing 0.6\", 30\" 360 s",
       [](S& s) {
         Pe(s, 30, 360);
         s.observatory.sky.seeingJitter = 0.6;
         s.observatory.sky.fieldStars = 20;
         s.dialogs.guideSetup.front().NumberStars = "10";
       }},
      {"dec 70, 40\" p-p 480 s",
       [](S& s) {
         Pe(s, 40, 480);
         s.observatory.mount.declinationDeg = 70.0;
       }},
      // Clouds short enough for the stars to be found where they were when they come back.
      {"30\" 480 s, clouds (all stars, 3 x 30 s)",
       [](S& s) {
         Pe(s, 30, 480);
         for (double at : {1800.0, 4000.0, 5500.0}) {
           s.observatory.events.push_back(Cloud(at, 30.0, {0, 1, 2, 3, 4}, 0.001));
         }
       }},
      {"4 s exposures, 30\" 600 s",
       [](S& s) {
         Pe(s, 30, 600);
         s.dialogs.guideSetup.front().Duration = "4";
       }},
      {"no PE: drift 1\"/min RA, 2\"/min Dec",
       [](S& s) {
         Pe(s, 0, 480);
         s.observatory.mount.raDrift = 1.0;
         s.observatory.mount.decDrift = 2.0;
       },
       false},
      {"no PE: random wander 0.05\"/sqrt(s)",
       [](S& s) {
         Pe(s, 0, 480);
         s.observatory.mount.wander = 0.05;
       },
       false},
      {"no PE: seeing 1\", 3 stars",
       [](S& s) {
         Pe(s, 0, 480);
         s.observatory.sky.seeingJitter = 1.0;
         s.dialogs.guideSetup.front().NumberStars = "3";
         s.dialogs.guideSetup.front().MinStars = "2";
       },
       false},
      {"no PE: Dec backlash 4\"",
       [](S& s) {
         Pe(s, 0, 480);
         s.observatory.mount.decBacklash = 4.0;
         s.observatory.mount.decDrift = 0.2;
       },
       false},
      {"no PE: clouds (all stars, 3 x 2 min)",
       [](S& s) {
         Pe(s, 0, 480);
         for (double at : {1800.0, 4000.0, 5500.0}) {
           s.observatory.events.push_back(Cloud(at, 120.0, {0, 1, 2, 3, 4}, 0.001));
         }
       },
       false},
      {"no PE: a star lost in the second hour",
       [](S& s) {
         Pe(s, 0, 480);
         s.observatory.events.push_back(Cloud(3000.0, 5000.0, {1}, 0.0));
       },
       false},
  };
}

// The same sky without any periodic term.
SimulationSettings Floor(SimulationSettings s) {
  s.observatory.mount.periodicErrorPP = 0.0;
  s.observatory.mount.extraPeriodic.clear();
  return s;
}

// What no correction made once per cycle can remove: between two pulses the periodic error moves
// the star on, a ramp whose RMS about its middle is its rise over the cycle / sqrt(12). The RMS
// of that rise over the second hour, for cycles of `cycle` seconds, on the sky.
double Ramp(const SimulationSettings& s, double cycle) {
  MountSettings periodicOnly = s.observatory.mount;
  periodicOnly.raDrift = periodicOnly.decDrift = periodicOnly.wander = 0.0;
  const Mount mount(periodicOnly, s.observatory.seed);
  double squares = 0.0;
  int n = 0;
  for (double t = kHour; t < 2.0 * kHour; t += 1.0, ++n) {
    const double rise = mount.SkyErrorAt(t + cycle).x - mount.SkyErrorAt(t).x;
    squares += rise * rise;
  }
  return std::sqrt(squares / n / 12.0);
}

struct SkyFigures {
  double today = 0.0, predicted = 0.0, floor = 0.0;
  double ramp = 0.0;
  double periodError = 0.0;  // mean |relative error| of the period found after 2 worm periods
  int periodsFound = 0;
  double activeShare = 0.0;  // of the second hour's cycles with the term in use
};

SkyFigures Measure(const Sky& sky, int seeds) {
  SkyFigures f;
  for (int seed = 1; seed <= seeds; ++seed) {
    SimulationSettings s = BaseSettings(2.0 * kHour);
    sky.make(s);
    s.observatory.seed = static_cast<std::uint64_t>(seed);
    f.today += RunSimulation(s).window.raRms;
    f.floor += sky.periodic ? RunSimulation(Floor(s)).window.raRms : 0.0;
    s.dialogs.predictPeriodicError = true;
    const RunOutcome predicted = RunSimulation(s);
    f.predicted += predicted.window.raRms;
    if (predicted.cycles.size() > 1) {
      const double cycle = (predicted.cycles.back().start - predicted.cycles.front().start) /
                           static_cast<double>(predicted.cycles.size() - 1);
      f.ramp += Ramp(s, cycle);
    }
    // The period reported at the first cycle two worm periods in.
    const double twoPeriods = predicted.cycles.empty() ? 0.0
                                                       : predicted.cycles.front().start +
                                                             2.0 * s.observatory.mount.wormPeriod;
    for (std::size_t i = 0; i < predicted.predictions.size() && i < predicted.cycles.size(); ++i) {
      if (predicted.cycles[i].start < twoPeriods) continue;
      const double period = predicted.predictions[i].period;
      if (period > 0.0) {
        f.periodError += std::abs(period / s.observatory.mount.wormPeriod - 1.0);
        ++f.periodsFound;
      }
      break;
    }
    int active = 0, counted = 0;
    for (std::size_t i = 0; i < predicted.predictions.size() && i < predicted.cycles.size(); ++i) {
      if (predicted.cycles[i].start < kHour) continue;
      ++counted;
      active += predicted.predictions[i].active ? 1 : 0;
    }
    f.activeShare += counted ? static_cast<double>(active) / counted : 0.0;
  }
  f.today /= seeds;
  f.predicted /= seeds;
  f.floor /= seeds;
  f.ramp /= seeds;
  f.activeShare /= seeds;
  if (f.periodsFound) f.periodError /= f.periodsFound;
  return f;
}

// Milliseconds of processor time this thread has used: the cost of a call, without the time the
// (shared) machine gave to others meanwhile.
double ThreadMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Bytes of heap in use by the process (glibc's count).
double HeapBytes() {
  return static_cast<double>(mallinfo2().uordblks);
}

// The predictor alone over `hours` of cycles like the simulated ones (2.5 s apart, a 30" p-p
// periodic error with harmonics, seeing): its cost per cycle in processor time, and the heap it
// holds hour by hour.
void MeasureCost(double hours) {
  const double cycle = 2.5;
  const auto cycles = static_cast<int>(hours * kHour / cycle);
  // Held before the predictor exists, so that the heap's growth is the predictor's.
  std::vector<double> lastHour, heapAtHour;  // the predictor's heap at the end of each hour
  lastHour.reserve(static_cast<std::size_t>(cycles));
  heapAtHour.reserve(static_cast<std::size_t>(hours) + 2);
  const double heapBefore = HeapBytes();
  PeriodicErrorPredictor predictor;
  std::mt19937_64 rng(7);
  std::normal_distribution<double> noise(0.0, 0.15);
  CalibrationInEffect calibration;
  calibration.aggressiveness = 14.0;
  calibration.xSpeed = 5.0;
  double corrected = 0.0;  // pixels the pulses moved
  double total = 0.0, worst = 0.0;
  for (int n = 0; n < cycles; ++n) {
    const double t = n * cycle;
    const double motion = 10.0 * std::sin(2 * std::numbers::pi * t / 480.0) +
                          3.5 * std::sin(4 * std::numbers::pi * t / 480.0 + 1.0) + 0.01 * t;
    const double offset = motion - corrected + noise(rng);
    CycleTimes times{static_cast<std::int64_t>(t * 1000), 2.0,
                     static_cast<std::int64_t>(t * 1000) + 2300};
    const double begin = ThreadMilliseconds();
    const double term = predictor.Measured(times, offset, calibration);
    const double seconds = (offset * 0.7 + term) / calibration.xSpeed;
    predictor.PulsesSent(seconds);
    const double spent = ThreadMilliseconds() - begin;
    corrected += seconds * calibration.xSpeed;
    total += spent;
    worst = std::max(worst, spent);
    if (t >= (hours - 1.0) * kHour) lastHour.push_back(spent);
    if (std::floor((t + cycle) / kHour) > std::floor(t / kHour)) {
      heapAtHour.push_back(HeapBytes() - heapBefore);
    }
  }
  std::sort(lastHour.begin(), lastHour.end());
  const double lastMean = lastHour.empty()
                              ? 0.0
                              : std::accumulate(lastHour.begin(), lastHour.end(), 0.0) /
                                    static_cast<double>(lastHour.size());
  std::printf(
      "\nThe predictor's cost on the host's thread (processor time on this machine), %d cycles "
      "of 2.5 s = %.0f h:\n  mean %.3f ms per cycle; in the last hour: mean %.3f ms, 99th "
      "percentile %.3f ms, most %.3f ms; most over the whole run %.3f ms\n",
      cycles, hours, total / cycles, lastMean,
      lastHour.empty() ? 0.0 : lastHour[lastHour.size() * 99 / 100],
      lastHour.empty() ? 0.0 : lastHour.back(), worst);
  std::printf("  heap held by the predictor at the end of each hour (kB):");
  for (double bytes : heapAtHour) std::printf(" %.0f", bytes / 1024.0);
  std::printf("\n");
}

// One predicted run of the sky, seed 1: what the predictor reported, every `every` cycles.
void Trace(const Sky& sky, int every) {
  SimulationSettings s = BaseSettings(2.0 * kHour);
  sky.make(s);
  s.dialogs.predictPeriodicError = true;
  const RunOutcome run = RunSimulation(s);
  std::printf("%s\n   time  active  period  parts  record  memory  wander    term  true RA error\n",
              sky.name.c_str());
  for (std::size_t i = 0; i < run.predictions.size() && i < run.cycles.size(); ++i) {
    if (i % static_cast<std::size_t>(every) != 0) continue;
    const PredictionStatus& p = run.predictions[i];
    std::printf("%7.0f  %6s  %6.1f  %5d  %6.2f  %6.0f  %6.2f  %6.3f  %6.3f\n", run.cycles[i].start,
                p.active ? "yes" : "no", p.period, p.components, p.forecastGain, p.memory, p.wander,
                p.term, run.cycles[i].raError);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int seeds = 4;
  double hours = 10.0;
  std::string only;
  int trace = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--trace") == 0) trace = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--seeds") == 0) seeds = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
    if (std::strcmp(argv[i], "--hours") == 0) hours = std::atof(argv[i + 1]);
  }
  if (trace > 0) {
    for (const Sky& sky : Skies()) {
      if (only.empty() || sky.name.find(only) != std::string::npos) Trace(sky, trace);
    }
    return 0;
  }
  std::printf(
      "RA RMS of the true error over the second hour of a two-hour run (arcsec on the sky, mean "
      "of %d seeds;\ndefault sky: 5 stars, 2 s exposures, aggressiveness 14, dec 30, drift "
      "0.5\"/min RA 1\"/min Dec).\n"
      "floor: the same sky with every periodic term removed, guided as today.\n"
      "limit: sqrt(floor^2 + ramp^2) / floor, ramp being what the periodic error moves the star "
      "within one\n  cycle (its rise / sqrt(12)), which no correction made once per cycle can "
      "take out.\n"
      "period: |error| of the period found after two worm periods.\n"
      "active: share of the second hour's cycles with the term in use.\n\n",
      seeds);
  std::printf("%-38s %7s %9s %7s %8s %6s %8s %7s %6s\n", "sky", "today", "predicted", "floor",
              "pred/fl", "limit", "pred/tod", "period", "active");
  const auto wallStart = std::chrono::steady_clock::now();
  for (const Sky& sky : Skies()) {
    if (!only.empty() && sky.name.find(only) == std::string::npos) continue;
    const SkyFigures f = Measure(sky, seeds);
    char period[16] = "-";
    if (f.periodsFound) std::snprintf(period, sizeof period, "%.2f%%", 100.0 * f.periodError);
    if (sky.periodic) {
      std::printf("%-38s %6.3f\" %8.3f\" %6.3f\" %8.2f %6.2f %8.2f %7s %5.0f%%\n", sky.name.c_str(),
                  f.today, f.predicted, f.floor, f.predicted / f.floor,
                  std::hypot(f.floor, f.ramp) / f.floor, f.predicted / f.today, period,
                  100.0 * f.activeShare);
    } else {
      std::printf("%-38s %6.3f\" %8.3f\" %7s %8s %6s %8.2f %7s %5.0f%%\n", sky.name.c_str(),
                  f.today, f.predicted, "-", "-", "-", f.predicted / f.today, period,
                  100.0 * f.activeShare);
    }
    std::fflush(stdout);
  }
  std::printf("(%.0f s of wall time)\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
  if (hours > 0.0) MeasureCost(hours);
  return 0;
}
