// Guide logs for the monitor's tests: made by the simulated observatory, and cut into the pieces a
// writer flushes (a line at a time, or a line torn anywhere).
#pragma once

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "guidelog/LogFile.h"
#include "logtools/SimLog.h"

namespace corvane::monitor::test {

inline std::string SimulatedLog(int cycles, std::uint64_t seed,
                                void (*change)(logtools::LogScenario&) = nullptr) {
  logtools::LogScenario scenario;
  scenario.cycles = cycles;
  scenario.seed = seed;
  if (change) change(scenario);
  return logtools::SimulateLog(scenario).log;
}

// A long log made quickly: one star wandering on a slow wave with noise, pulses against it.
inline std::string SyntheticLog(int cycles, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 0.3);
  std::string log =
      "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\",\"Xpos1\",\"Ypos1\","
      "\"Xoff1\",\"Yoff1\",\"SN1\",\"\"\r\n";
  char line[256];
  for (int i = 0; i < cycles; ++i) {
    const double x = 0.8 * std::sin(i / 240.0) + noise(random), y = noise(random);
    std::snprintf(
        line, sizeof line, "%.7g,%.7g,%.7g,%.7g,%.6g,%.6g,%.7g,%.7g,%.7g,%.7g,%.4g,\"\"\r\n",
        300 + x, 200 + y, x, y, -0.2 * x, -0.2 * y, 300 + x, 200 + y, x, y, 30 + 3 * noise(random));
    log += line;
  }
  return log;
}

// The log's lines with their CR LF.
inline std::vector<std::string> LinesOf(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < log.size()) {
    const std::size_t end = log.find('\n', start);
    lines.push_back(log.substr(start, end == std::string::npos ? end : end - start + 1));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

}  // namespace corvane::monitor::test
