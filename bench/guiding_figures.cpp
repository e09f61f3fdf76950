// The simulated observatory's figures (the README's table): the portable core guiding in virtual
// time, mean of several seeds. A benchmark program that prints, run by hand:
//   build/native/bench/corvane-guiding-figures
#include <chrono>
#include <cmath>
#include <cstdio>

#include "sim/run/Simulation.h"

using namespace corvane::sim;

namespace {

// RMS about zero of the per-cycle true error (arcsec on the sky) of the cycles in [from, to).
double CycleRms(const std::vector<CycleTruth>& cycles, double from, double to) {
  double sum = 0.0;
  int n = 0;
  for (const auto& c : cycles) {
    if (c.start < from || c.start >= to) continue;
    sum += c.raError * c.raError + c.decError * c.decError;
    ++n;
  }
  return n ? std::sqrt(sum / n) : 0.0;
}

// The simulator's defaults, stopped by camera event 15 after `cycles` cycles.
SimulationSettings Base(int cycles, std::uint64_t seed) {
  SimulationSettings s;
  ScriptedEvent stop;
  stop.kind = ScriptedEvent::Kind::Stop;
  stop.afterCycles = cycles;
  s.observatory.events.push_back(stop);
  s.observatory.seed = seed;
  return s;
}

constexpr int kSeeds = 5;

// Mean over several seeds of the guided total RMS.
double MeanGuidedRms(SimulationSettings settings) {
  double sum = 0.0;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    settings.observatory.seed = static_cast<std::uint64_t>(seed);
    sum += RunSimulation(settings).truth.totalRms;
  }
  return sum / kSeeds;
}

// A 10" p-p periodic error guided and unguided.
void PeriodicError() {
  double guided = 0.0, unguided = 0.0;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    SimulationSettings s = Base(200, static_cast<std::uint64_t>(seed));
    s.observatory.mount.raDrift = 0.0;
    s.observatory.mount.decDrift = 0.0;
    s.observatory.mount.periodicErrorPP = 10.0;
    const RunOutcome run = RunSimulation(s);
    guided += run.truth.totalRms;
    unguided += UnguidedOver(s.observatory, run).totalRms;
  }
  std::printf(
      "1. 10\" p-p periodic error (480 s worm), no drift, 200 cycles:\n"
      "   guided RMS %.3f\", unguided RMS %.3f\", guided/unguided %.3f\n\n",
      guided / kSeeds, unguided / kSeeds, guided / unguided);
}

// The gain of averaging N stars when the seeing has a share `common` that all stars share.
void AveragingStars(double common) {
  std::printf(
      "2. Seeing-dominated (1.0\" jitter at 1 s, common share %.1f, 1\" p-p PE, no drift),\n"
      "   150 cycles, MinStars 1:\n   stars   RMS      RMS/RMS(1)   1/sqrt(N)   expected from "
      "the common share\n",
      common);
  double first = 0.0;
  for (int stars : {1, 3, 5, 10}) {
    SimulationSettings s = Base(150, 1);
    s.observatory.sky.seeingJitter = 1.0;
    s.observatory.sky.seeingCommonFraction = common;
    s.observatory.mount.periodicErrorPP = 1.0;
    s.observatory.mount.raDrift = 0.0;
    s.observatory.mount.decDrift = 0.0;
    s.dialogs.guideSetup.front().NumberStars = std::to_string(stars);
    s.dialogs.guideSetup.front().MinStars = "1";
    const double rms = MeanGuidedRms(s);
    if (stars == 1) first = rms;
    std::printf("   %5d   %.3f\"   %.3f        %.3f       %.3f\n", stars, rms, rms / first,
                1.0 / std::sqrt(stars), std::sqrt(common + (1.0 - common) / stars));
  }
  std::printf("\n");
}

// Guiding at several declinations, with and without the host reporting the declination.
void Declination() {
  std::printf(
      "3. Declination (defaults: 10\" p-p PE, drift 0.5\"/min RA, 1\"/min Dec), 150 cycles:\n"
      "   dec   guided RMS   unguided RMS   guided RA RMS   the same, host reporting dec 0\n");
  for (double dec : {0.0, 45.0, 60.0, 75.0}) {
    double guided = 0.0, unguided = 0.0, guidedRa = 0.0, uncompensated = 0.0;
    for (int seed = 1; seed <= kSeeds; ++seed) {
      SimulationSettings s = Base(150, static_cast<std::uint64_t>(seed));
      s.observatory.mount.declinationDeg = dec;
      const RunOutcome run = RunSimulation(s);
      guided += run.truth.totalRms;
      guidedRa += run.truth.raRms;
      unguided += UnguidedOver(s.observatory, run).totalRms;
      // The same with the host's GuiderDeclination left at 0: RA pulses lack 1/cos(dec).
      GuiderCalibration c =
          CalibrationFor(s.observatory.camera, s.observatory.mount, s.observatory.aggressiveness);
      c.declinationDeg = 0.0;
      s.observatory.calibration = c;
      uncompensated += RunSimulation(s).truth.raRms;
    }
    std::printf("   %3.0f   %.3f\"       %.3f\"         %.3f\"          %.3f\"\n", dec,
                guided / kSeeds, unguided / kSeeds, guidedRa / kSeeds, uncompensated / kSeeds);
  }
  std::printf("\n");
}

// The error while a cloud covers two of five stars, with and without screening by SN.
void CloudOverTwoOfFiveStars() {
  std::printf(
      "4. A cloud over the two brightest of five guide stars for 60 s (0.1%% of their\n"
      "   light gets through) after 30 cycles; RMS about zero of the per-exposure true\n"
      "   error during the cloud:\n");
  for (const char* minSN : {"3", "0"}) {
    double sum = 0.0;
    for (int seed = 1; seed <= kSeeds; ++seed) {
      SimulationSettings s = Base(80, static_cast<std::uint64_t>(seed));
      ScriptedEvent cloud;
      cloud.kind = ScriptedEvent::Kind::Cloud;
      cloud.afterCycles = 30;
      cloud.durationSeconds = 60.0;
      cloud.transmission = 0.001;
      cloud.stars = {0, 1};
      s.observatory.events.push_back(cloud);
      s.dialogs.guideSetup.front().MinSN = minSN;
      s.dialogs.guideSetup.front().MinStars = "2";
      const RunOutcome outcome = RunSimulation(s);
      const double start = outcome.cycles.size() > 30 ? outcome.cycles[30].start : 0.0;
      sum += CycleRms(outcome.cycles, start, start + 60.0);
    }
    std::printf("   MinSN %s: %.3f\"\n", minSN, sum / kSeeds);
  }
  std::printf("\n");
}

// Guide cycles per second of wall time, natively.
void Throughput() {
  SimulationSettings s = Base(2000, 1);
  const auto begin = std::chrono::steady_clock::now();
  const RunOutcome outcome = RunSimulation(s);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::printf(
      "5. Throughput: %zu cycles (5 stars) in %.3f s wall: %.0f cycles/s, %.0f simulated\n"
      "   seconds per wall second (see also bench/corvane-bench)\n",
      outcome.cycles.size(), seconds, static_cast<double>(outcome.cycles.size()) / seconds,
      outcome.simulatedSeconds / seconds);
}

}  // namespace

int main() {
  std::printf(
      "Figures from the simulated observatory (virtual time; RMS of the true error in\n"
      "arcsec on the sky about its mean over the guided part, mean of %d seeds unless\n"
      "said otherwise; 2 s guide exposures, aggressiveness 14, 5 guide stars).\n\n",
      kSeeds);
  PeriodicError();
  AveragingStars(0.0);
  AveragingStars(0.5);
  Declination();
  CloudOverTwoOfFiveStars();
  Throughput();
  return 0;
}
