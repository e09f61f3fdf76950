// corvane-sim: Corvane's guiding run (the portable core) in the simulated observatory, in virtual
// time. Writes the guide log, the truth, the report and a plot; --measure prints the figures.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numeric>

#include "logtools/LogFile.h"
#include "logtools/Plot.h"
#include "sim/Options.h"
#include "sim/Simulation.h"

using namespace corvane::sim;

namespace {

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file << bytes;
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

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

SimulationSettings Base(int cycles, std::uint64_t seed) {
  CliOptions options;
  std::string error;
  ParseOptions({"--cycles", std::to_string(cycles)}, options, error);
  options.simulation.observatory.seed = seed;
  return options.simulation;
}

constexpr int kSeeds = 5;

// The wall clock now, which the simulated run starts at (its record's name and start time).
corvane::WallTime WallClockNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const int ms = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  auto civil = [ms](const std::tm& t) {
    return corvane::CivilTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                              t.tm_min,         t.tm_sec,     ms};
  };
  std::tm utc{}, local{};
  gmtime_r(&seconds, &utc);
  localtime_r(&seconds, &local);
  return {civil(utc), civil(local)};
}

// Mean over several seeds of the guided total RMS.
double MeanGuidedRms(SimulationSettings settings) {
  double sum = 0.0;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    settings.observatory.seed = static_cast<std::uint64_t>(seed);
    sum += RunSimulation(settings).truth.totalRms;
  }
  return sum / kSeeds;
}

int Measure() {
  std::printf(
      "Figures from the simulated observatory (virtual time; RMS of the true error in\n"
      "arcsec on the sky about its mean over the guided part, mean of %d seeds unless\n"
      "said otherwise; 2 s guide exposures, aggressiveness 14, 5 guide stars).\n\n",
      kSeeds);

  {  // 1. Periodic error.
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

  // 2. Averaging stars under seeing-dominated noise.
  for (double common : {0.0, 0.5}) {
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
      s.dialogs.sample.front()[0] = std::to_string(stars);
      s.dialogs.sample.front()[2] = "1";
      const double rms = MeanGuidedRms(s);
      if (stars == 1) first = rms;
      std::printf("   %5d   %.3f\"   %.3f        %.3f       %.3f\n", stars, rms, rms / first,
                  1.0 / std::sqrt(stars), std::sqrt(common + (1.0 - common) / stars));
    }
    std::printf("\n");
  }

  {  // 3. Declination.
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

  {  // 4. A cloud over two of five stars.
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
        s.dialogs.sample.front()[1] = minSN;
        s.dialogs.sample.front()[2] = "2";
        const RunOutcome outcome = RunSimulation(s);
        const double start = outcome.cycles.size() > 30 ? outcome.cycles[30].start : 0.0;
        sum += CycleRms(outcome.cycles, start, start + 60.0);
      }
      std::printf("   MinSN %s: %.3f\"\n", minSN, sum / kSeeds);
    }
    std::printf("\n");
  }

  {  // 5. Throughput.
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
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    CliOptions options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
      std::cerr << "corvane-sim: " << error << "\n\n" << OptionsHelp();
      return 2;
    }
    if (options.help) {
      std::cout << "corvane-sim [options]: Corvane guiding the simulated observatory\n"
                << OptionsHelp() << "  --measure           print the figures (several runs)\n";
      return 0;
    }
    if (options.measure) return Measure();

    const std::filesystem::path out = options.outputDir;
    std::filesystem::create_directories(out);
    options.simulation.logFilePath = (out / "Corvane.csv").string();
    options.simulation.recordFolder = out.string();
    options.simulation.wallClockStart = WallClockNow();
    const RunOutcome guided = RunSimulation(options.simulation);
    ErrorSummary unguided;
    if (options.unguided) unguided = UnguidedOver(options.simulation.observatory, guided);

    std::string parseError;
    const auto log = ParseGuideLog(guided.log, &parseError);
    const GuideLogData data = log ? *log : GuideLogData{};
    const Report report = MakeReport(data, guided, unguided);
    WriteFile(out / "truth.csv", TruthCsv(guided.cycles));
    WriteFile(out / "report.txt", ReportText(report));
    WriteFile(out / "report.json", ReportJson(report));
    // The plot, drawn by corvane-log's plotter from the log the run wrote.
    std::string plotted = "no plot: the run wrote no guide cycle";
    try {
      const corvane::logtools::LogFile file = corvane::logtools::ParseLog(guided.log);
      if (!file.runs.empty() && !file.runs.front().rows.empty()) {
        const corvane::logtools::PlotPictures pictures = corvane::logtools::DrawRun(
            file.runs.front(), &guided.cycles, "Corvane in the simulated observatory");
        WriteFile(out / "plot.svg", pictures.svg);
        WriteFile(out / "plot.png", std::string(pictures.png.begin(), pictures.png.end()));
        plotted = (out / "plot.png").string() + ", " + (out / "plot.svg").string();
      }
    } catch (const corvane::logtools::LogError& e) {
      plotted = std::string("no plot: ") + e.what();
    }
    std::cout << ReportText(report);
    std::cout << "Guide log:  " << (out / "Corvane.csv").string() << "\n"
              << "Record:     " << (guided.recordPath.empty() ? "none" : guided.recordPath) << "\n"
              << "Truth:      " << (out / "truth.csv").string() << "\n"
              << "Report:     " << (out / "report.txt").string() << ", "
              << (out / "report.json").string() << "\n"
              << "Plot:       " << plotted << "\n";
    return guided.failed ? 1 : 0;
  } catch (const std::exception& e) {
    std::cerr << "corvane-sim: " << e.what() << "\n";
    return 1;
  }
}
