// corvane-plot: draws any Corvane guide log (also one written by the real host on Windows) as an
// SVG; --truth adds the simulator's true error.
#include <fstream>
#include <iostream>
#include <sstream>

#include "sim/LogReader.h"
#include "sim/Plot.h"
#include "sim/Simulation.h"

using namespace corvane::sim;

int main(int argc, char** argv) {
  std::string logPath, svgPath, truthPath, title = "Corvane guide log";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--truth" && i + 1 < argc) {
      truthPath = argv[++i];
    } else if (arg == "--title" && i + 1 < argc) {
      title = argv[++i];
    } else if (arg == "-o" && i + 1 < argc) {
      svgPath = argv[++i];
    } else if (logPath.empty() && arg[0] != '-') {
      logPath = arg;
    } else {
      logPath.clear();
      break;
    }
  }
  if (logPath.empty()) {
    std::cerr << "usage: corvane-plot Corvane.csv [-o plot.svg] [--truth truth.csv] [--title T]\n";
    return 2;
  }
  if (svgPath.empty()) svgPath = logPath.substr(0, logPath.rfind('.')) + ".svg";
  std::string error;
  const auto log = ReadGuideLogFile(logPath, &error);
  if (!log) {
    std::cerr << "corvane-plot: " << logPath << ": " << error << "\n";
    return 1;
  }
  std::vector<CycleTruth> truth;
  if (!truthPath.empty()) {
    std::ifstream file(truthPath);
    std::stringstream text;
    text << file.rdbuf();
    truth = ParseTruthCsv(text.str());
  }
  std::ofstream out(svgPath, std::ios::binary);
  out << PlotSvg(*log, truthPath.empty() ? nullptr : &truth, title);
  if (!out) {
    std::cerr << "corvane-plot: cannot write " << svgPath << "\n";
    return 1;
  }
  std::cout << svgPath << "\n";
  return 0;
}
