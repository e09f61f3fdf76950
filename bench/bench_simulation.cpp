// Throughput of the simulated observatory: whole guiding runs of the portable core in virtual
// time, reported as guide cycles per second of wall time.
#include <benchmark/benchmark.h>

#include "sim/run/Simulation.h"

using namespace corvane::sim;

namespace {

// The default sky and mount, `stars` guide stars, stopped by event 15 after `cycles` cycles.
SimulationSettings Settings(int cycles, int stars) {
  SimulationSettings settings;
  ScriptedEvent stop;
  stop.kind = ScriptedEvent::Kind::Stop;
  stop.afterCycles = cycles;
  settings.observatory.events.push_back(stop);
  settings.dialogs.guideSetup.front().NumberStars = std::to_string(stars);
  return settings;
}

void BM_GuidingRun(benchmark::State& state) {
  const int stars = static_cast<int>(state.range(0));
  const SimulationSettings settings = Settings(500, stars);
  std::int64_t cycles = 0;
  for (auto _ : state) {
    const RunOutcome outcome = RunSimulation(settings);
    cycles += static_cast<std::int64_t>(outcome.cycles.size());
    benchmark::DoNotOptimize(outcome.truth.totalRms);
  }
  state.counters["cycles/s"] =
      benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GuidingRun)->Arg(1)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
