// corvane-log's speed: stats on a 10,000- and a 200,000-cycle log of 10 stars (reading included),
// and advise on a 300-cycle log (the fitted model swept in the simulator).
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>

#include "logtools/Advise.h"
#include "logtools/Analysis.h"
#include "logtools/SimLog.h"

using namespace corvane::logtools;
namespace guidelog = corvane::guidelog;

namespace {

const SimulatedLog& Log(int cycles, int stars) {
  static std::map<std::pair<int, int>, SimulatedLog> logs;
  auto found = logs.find({cycles, stars});
  if (found == logs.end()) {
    LogScenario scenario;
    scenario.cycles = cycles;
    scenario.stars = stars;
    found = logs.emplace(std::make_pair(cycles, stars), SimulateLog(scenario)).first;
  }
  return found->second;
}

RunSettings Settings() {
  RunSettings s;
  s.exposure = 2.0;
  s.download = 0.3;
  s.scale = 1.5;
  s.aggressiveness = 14.0;
  s.minMove = 0.01;
  s.maxMove = 2.0;
  return s;
}

void BM_Stats(benchmark::State& state) {
  const SimulatedLog& log = Log(static_cast<int>(state.range(0)), 10);
  MotionFit fit;
  for (auto _ : state) {
    const guidelog::LogFile file = guidelog::ParseLog(log.log);
    const RunFigures f = Analyse(file.runs.front(), Settings());
    fit = f.fit;
    benchmark::DoNotOptimize(f.fit.xSpeed);
  }
  state.counters["cycles"] = static_cast<double>(state.range(0));
  // What the time bought: the speeds' errors against the model's truth, and the worm period found
  // (in the log's modelled clock, which runs a few percent short of the simulated one).
  const auto& o = log.settings.observatory;
  const auto truth = corvane::sim::CalibrationFor(o.camera, o.mount, 14.0);
  const double cosDec = std::cos(o.mount.declinationDeg * 3.14159265358979 / 180.0);
  state.counters["X_speed_err_%"] = 100.0 * (fit.xSpeed / (truth.xSpeed * cosDec) - 1.0);
  state.counters["Y_speed_err_%"] = 100.0 * (fit.ySpeed / truth.ySpeed - 1.0);
  state.counters["period_s"] = fit.periodicPeriod;
}
BENCHMARK(BM_Stats)->Arg(10000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_Advise(benchmark::State& state) {
  const SimulatedLog& log = Log(300, 5);
  const guidelog::LogFile file = guidelog::ParseLog(log.log);
  int simulations = 0;
  for (auto _ : state) {
    const Advice a = Advise(file.runs.front(), Settings());
    simulations = a.simulations;
    benchmark::DoNotOptimize(a.recommendedRms);
  }
  state.counters["simulations"] = simulations;
}
BENCHMARK(BM_Advise)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
