// Throughput of the simulated observatory: whole guiding runs of the portable core in virtual
// time, reported as guide cycles per second of wall time.
#include <benchmark/benchmark.h>

#include "sim/Options.h"
#include "sim/Simulation.h"

using namespace corvane::sim;

namespace {

SimulationSettings Settings(int cycles, int stars) {
  CliOptions options;
  std::string error;
  ParseOptions({"--cycles", std::to_string(cycles), "--stars", std::to_string(stars)}, options,
               error);
  return options.simulation;
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
