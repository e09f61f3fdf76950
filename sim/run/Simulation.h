// One guiding run of the portable core against the simulated observatory in virtual time, and
// the report that compares it with an unguided run of the same sky and seed.
#pragma once

#include <string>
#include <vector>

#include "guidelog/LogFile.h"
#include "sim/Observatory.h"
#include "sim/SimEnvironment.h"
#include "sim/SimHost.h"

namespace corvane::sim {

struct SimulationSettings {
  ObservatorySettings observatory;
  DialogScript dialogs;
  std::string logFilePath;   // also write the guide log there when set
  std::string recordFolder;  // also write the run's record there when set
  // The wall clock at the simulated time 0 (the run's start): names the record.
  WallTime wallClockStart{{2024, 1, 1, 21, 0, 0, 0}, {2024, 1, 1, 22, 0, 0, 0}};
};

struct RunOutcome {
  bool failed = false;  // DoModal ended with a run-time failure
  std::string failure;  // its description
  std::vector<std::string> messages;
  std::string log;         // the guide log's bytes
  std::string record;      // the run's record
  std::string recordPath;  // where it was written (empty: in memory only)
  std::vector<CycleTruth> cycles;
  ErrorSummary truth;   // over the guided part
  ErrorSummary window;  // from ObservatorySettings::windowFromSeconds on
  int pulses = 0;
  double simulatedSeconds = 0.0;
  hostkit::HostRecord host;
  std::vector<PredictionStatus> predictions;  // each cycle's, when the prediction was ticked
};

RunOutcome RunSimulation(const SimulationSettings& settings);

// The same sky, seed and script with the mount's guide outputs disconnected.
RunOutcome RunUnguided(const SimulationSettings& settings);

// The error of the same mount left unguided over exactly the guided part of a run (from the
// first guide exposure to the end): the periodic error, drift and wander are functions of time
// for a given seed, so this is the unguided run of the same sky over the same span.
ErrorSummary UnguidedOver(const ObservatorySettings& settings, double from, double to);
ErrorSummary UnguidedOver(const ObservatorySettings& settings, const RunOutcome& guided);

struct Report {
  int cycles = 0;
  int pulses = 0;
  double simulatedSeconds = 0.0;
  ErrorSummary guided;
  ErrorSummary unguided;
  std::vector<double> starMeanSN;
  std::vector<std::string> messages;
  std::string failure;
};

Report MakeReport(const guidelog::LogRun& log, const RunOutcome& guided,
                  const ErrorSummary& unguided);
std::string ReportText(const Report& report);
std::string ReportJson(const Report& report);

// Where a guide log disagrees with what the model recorded: a missing or extra row, a mean
// offset further than tolerancePx from the stars' true shift, or a pulse the host received that
// differs from the row's Xtim / Ytim (direction by sign, duration by magnitude). Empty: they agree.
std::vector<std::string> CompareLogWithTruth(const guidelog::LogRun& log,
                                             const std::vector<CycleTruth>& cycles,
                                             double tolerancePx);

// The truth of every cycle as CSV: cycle, start, end, RA and Dec error (arcsec), and the stars'
// true shift on the sensor (pixels).
std::string TruthCsv(const std::vector<CycleTruth>& cycles);
std::vector<CycleTruth> ParseTruthCsv(const std::string& text);

}  // namespace corvane::sim
