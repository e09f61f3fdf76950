#include "sim/run/Simulation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "plugin/PlugInCore.h"

namespace corvane::sim {

RunOutcome RunSimulation(const SimulationSettings& settings) {
  Observatory observatory(settings.observatory);
  SimHost host(observatory);
  SimEnvironment environment(observatory, settings.dialogs, settings.logFilePath,
                             settings.recordFolder, settings.wallClockStart);
  PlugInCore plugIn;
  environment.SetPlugIn(&plugIn);

  RunOutcome outcome;
  try {
    plugIn.DoModal(host, environment);
  } catch (const RunFailure& failure) {
    outcome.failed = true;
    outcome.failure = failure.Description();
  }
  outcome.messages = environment.Messages();
  outcome.log = environment.LogBytes();
  outcome.record = environment.RecordBytes();
  outcome.recordPath = environment.RecordPath();
  outcome.cycles = observatory.Cycles();
  outcome.truth = observatory.GuidedSummary();
  outcome.window = observatory.WindowSummary();
  outcome.pulses = observatory.PulsesIssued();
  outcome.simulatedSeconds = observatory.Now();
  outcome.host = host.Record();
  outcome.predictions = environment.Predictions();
  return outcome;
}

RunOutcome RunUnguided(const SimulationSettings& settings) {
  SimulationSettings unguided = settings;
  unguided.observatory.mount.respondsToPulses = false;
  unguided.logFilePath.clear();
  unguided.recordFolder.clear();
  return RunSimulation(unguided);
}

ErrorSummary UnguidedOver(const ObservatorySettings& settings, double from, double to) {
  ObservatorySettings unguided = settings;
  unguided.mount.respondsToPulses = false;
  Observatory observatory(unguided);
  observatory.Advance(from);
  constexpr double kStep = 0.1;
  ErrorSummary s;
  Vec2 sum, squares, low{1e300, 1e300}, high{-1e300, -1e300};
  int n = 0;
  for (double t = from; t <= to; t += kStep) {
    const Vec2 e = observatory.TrueErrorNow();
    sum.x += e.x;
    sum.y += e.y;
    squares.x += e.x * e.x;
    squares.y += e.y * e.y;
    low = {std::min(low.x, e.x), std::min(low.y, e.y)};
    high = {std::max(high.x, e.x), std::max(high.y, e.y)};
    ++n;
    observatory.Advance(kStep);
  }
  if (n == 0) return s;
  s.seconds = to - from;
  s.raRms = std::sqrt(std::max(0.0, squares.x / n - (sum.x / n) * (sum.x / n)));
  s.decRms = std::sqrt(std::max(0.0, squares.y / n - (sum.y / n) * (sum.y / n)));
  s.totalRms = std::hypot(s.raRms, s.decRms);
  s.raPeakToPeak = high.x - low.x;
  s.decPeakToPeak = high.y - low.y;
  return s;
}

ErrorSummary UnguidedOver(const ObservatorySettings& settings, const RunOutcome& guided) {
  if (guided.cycles.empty()) return {};
  return UnguidedOver(settings, guided.cycles.front().start, guided.simulatedSeconds);
}

Report MakeReport(const guidelog::LogRun& log, const RunOutcome& guided,
                  const ErrorSummary& unguided) {
  Report report;
  report.cycles = static_cast<int>(log.rows.size());
  report.pulses = guided.pulses;
  report.simulatedSeconds = guided.simulatedSeconds;
  report.guided = guided.truth;
  report.unguided = unguided;
  report.messages = guided.messages;
  report.failure = guided.failure;
  report.starMeanSN.assign(static_cast<std::size_t>(log.stars), 0.0);
  for (const guidelog::LogRow& row : log.rows) {
    for (std::size_t s = 0; s < row.stars.size(); ++s) report.starMeanSN[s] += row.stars[s].sn;
  }
  if (!log.rows.empty()) {
    for (double& sn : report.starMeanSN) sn /= static_cast<double>(log.rows.size());
  }
  return report;
}

namespace {

std::string Fixed(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
  return buffer;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string SummaryJson(const ErrorSummary& s) {
  return "{\"seconds\": " + Fixed(s.seconds, 1) + ", \"ra_rms\": " + Fixed(s.raRms, 3) +
         ", \"dec_rms\": " + Fixed(s.decRms, 3) + ", \"total_rms\": " + Fixed(s.totalRms, 3) +
         ", \"ra_peak_to_peak\": " + Fixed(s.raPeakToPeak, 3) +
         ", \"dec_peak_to_peak\": " + Fixed(s.decPeakToPeak, 3) + "}";
}

}  // namespace

std::string ReportText(const Report& r) {
  std::ostringstream out;
  out << "Guide cycles:            " << r.cycles << "\n";
  out << "Guide pulses issued:     " << r.pulses << "\n";
  out << "Simulated time:          " << Fixed(r.simulatedSeconds, 1) << " s\n";
  out << "True error (arcsec on the sky, RMS about the mean / peak to peak):\n";
  out << "                  RA RMS   Dec RMS   total   RA p-p   Dec p-p\n";
  for (const auto& [name, s] :
       {std::pair{"  guided     ", r.guided}, {"  unguided   ", r.unguided}}) {
    if (s.seconds <= 0.0) continue;  // not run
    char line[128];
    std::snprintf(line, sizeof line, "%s %8.3f %8.3f %8.3f %8.3f %8.3f\n", name, s.raRms, s.decRms,
                  s.totalRms, s.raPeakToPeak, s.decPeakToPeak);
    out << line;
  }
  if (r.guided.totalRms > 0.0 && r.unguided.totalRms > 0.0) {
    out << "Guided / unguided RMS:   " << Fixed(r.guided.totalRms / r.unguided.totalRms, 3) << "\n";
  }
  out << "Mean SN per guide star: ";
  for (std::size_t s = 0; s < r.starMeanSN.size(); ++s) {
    out << " " << (s + 1) << ":" << Fixed(r.starMeanSN[s], 1);
  }
  out << "\n";
  for (const std::string& message : r.messages)
    out << "Message shown:           " << message << "\n";
  if (!r.failure.empty()) out << "Run failed:              " << r.failure << "\n";
  return out.str();
}

std::string ReportJson(const Report& r) {
  std::ostringstream out;
  out << "{\n  \"cycles\": " << r.cycles << ",\n  \"pulses\": " << r.pulses
      << ",\n  \"simulated_seconds\": " << Fixed(r.simulatedSeconds, 1)
      << ",\n  \"guided\": " << SummaryJson(r.guided)
      << ",\n  \"unguided\": " << (r.unguided.seconds > 0.0 ? SummaryJson(r.unguided) : "null")
      << ",\n  \"star_mean_sn\": [";
  for (std::size_t s = 0; s < r.starMeanSN.size(); ++s) {
    out << (s ? ", " : "") << Fixed(r.starMeanSN[s], 2);
  }
  out << "],\n  \"messages\": [";
  for (std::size_t m = 0; m < r.messages.size(); ++m) {
    out << (m ? ", " : "") << JsonString(r.messages[m]);
  }
  out << "],\n  \"failure\": " << JsonString(r.failure) << "\n}\n";
  return out.str();
}

std::vector<std::string> CompareLogWithTruth(const guidelog::LogRun& log,
                                             const std::vector<CycleTruth>& cycles,
                                             double tolerancePx) {
  std::vector<std::string> problems;
  // Every guide exposure gives a row, except a last one after which the image was gone.
  if (log.rows.size() != cycles.size() && log.rows.size() + 1 != cycles.size()) {
    problems.push_back(std::to_string(log.rows.size()) + " rows for " +
                       std::to_string(cycles.size()) + " guide exposures");
  }
  const std::size_t n = std::min(log.rows.size(), cycles.size());
  for (std::size_t i = 0; i < n; ++i) {
    const guidelog::LogRow& row = log.rows[i];
    const CycleTruth& truth = cycles[i];
    const std::string where = "cycle " + std::to_string(i + 1) + ": ";
    if (std::abs(row.xoff - truth.shiftPx.x) > tolerancePx ||
        std::abs(row.yoff - truth.shiftPx.y) > tolerancePx) {
      problems.push_back(where + "offset " + std::to_string(row.xoff) + "," +
                         std::to_string(row.yoff) + " but the stars moved " +
                         std::to_string(truth.shiftPx.x) + "," + std::to_string(truth.shiftPx.y));
    }
    std::vector<Pulse> expected;
    if (row.xtim > 0) expected.push_back({0, row.xtim, 0});
    if (row.xtim < 0) expected.push_back({1, -row.xtim, 0});
    if (row.ytim > 0) expected.push_back({2, row.ytim, 0});
    if (row.ytim < 0) expected.push_back({3, -row.ytim, 0});
    bool same = expected.size() == truth.pulses.size();
    for (std::size_t p = 0; same && p < expected.size(); ++p) {
      same = expected[p].direction == truth.pulses[p].direction &&
             std::abs(expected[p].seconds - truth.pulses[p].seconds) <=
                 1e-6 * expected[p].seconds + 1e-9;
    }
    if (!same) {
      problems.push_back(where + "the host received " + std::to_string(truth.pulses.size()) +
                         " pulses that differ from Xtim " + std::to_string(row.xtim) + ", Ytim " +
                         std::to_string(row.ytim));
    }
  }
  return problems;
}

std::string TruthCsv(const std::vector<CycleTruth>& cycles) {
  std::ostringstream out;
  out << "cycle,start,end,ra_arcsec,dec_arcsec,shift_x_px,shift_y_px\n";
  for (const CycleTruth& c : cycles) {
    char line[256];
    std::snprintf(line, sizeof line, "%d,%.3f,%.3f,%.5f,%.5f,%.5f,%.5f\n", c.cycle, c.start, c.end,
                  c.raError, c.decError, c.shiftPx.x, c.shiftPx.y);
    out << line;
  }
  return out.str();
}

std::vector<CycleTruth> ParseTruthCsv(const std::string& text) {
  std::vector<CycleTruth> cycles;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    CycleTruth c;
    if (std::sscanf(line.c_str(), "%d,%lf,%lf,%lf,%lf,%lf,%lf", &c.cycle, &c.start, &c.end,
                    &c.raError, &c.decError, &c.shiftPx.x, &c.shiftPx.y) == 7) {
      cycles.push_back(c);
    }
  }
  return cycles;
}

}  // namespace corvane::sim
