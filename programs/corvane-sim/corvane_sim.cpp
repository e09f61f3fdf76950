// corvane-sim: Corvane's guiding run (the portable core) in the simulated observatory, in virtual
// time. Writes the guide log, the truth, the report and a plot.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numeric>

#include "guidelog/LogFile.h"
#include "logtools/Plot.h"
#include "sim/cli/Options.h"
#include "sim/run/Simulation.h"

using namespace corvane::sim;

namespace {

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file << bytes;
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
  CliOptions options;
  CLI::App app("corvane-sim: Corvane's guiding core in the simulated observatory, in virtual time");
  SimulatorOptions simulator(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return ExitStatus(app, e);
  }
  simulator.Finish();
  try {
    const std::filesystem::path out = options.outputDir;
    std::filesystem::create_directories(out);
    options.simulation.logFilePath = (out / "Corvane.csv").string();
    const RunOutcome guided = RunSimulation(options.simulation);
    ErrorSummary unguided;
    if (options.unguided) unguided = UnguidedOver(options.simulation.observatory, guided);

    std::string parseError;
    const auto log = corvane::guidelog::FirstRun(guided.log, &parseError);
    const corvane::guidelog::LogRun data = log ? *log : corvane::guidelog::LogRun{};
    const Report report = MakeReport(data, guided, unguided);
    WriteFile(out / "truth.csv", TruthCsv(guided.cycles));
    WriteFile(out / "report.txt", ReportText(report));
    WriteFile(out / "report.json", ReportJson(report));
    // The plot, drawn by corvane-log's plotter from the log the run wrote.
    std::string plotted = "no plot: the run wrote no guide cycle";
    try {
      const corvane::guidelog::LogFile file = corvane::guidelog::ParseLog(guided.log);
      if (!file.runs.empty() && !file.runs.front().rows.empty()) {
        const corvane::logtools::PlotPictures pictures = corvane::logtools::DrawRun(
            file.runs.front(), &guided.cycles, "Corvane in the simulated observatory");
        WriteFile(out / "plot.svg", pictures.svg);
        WriteFile(out / "plot.png", std::string(pictures.png.begin(), pictures.png.end()));
        plotted = (out / "plot.png").string() + ", " + (out / "plot.svg").string();
      }
    } catch (const corvane::guidelog::LogError& e) {
      plotted = std::string("no plot: ") + e.what();
    }
    std::cout << ReportText(report);
    std::cout << "Guide log:  " << (out / "Corvane.csv").string() << "\n"
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
