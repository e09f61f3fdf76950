// The guiding assistant: the simulated observatory's model fitted to a run (seeing of each star
// and common to all, drift, periodic error, guide speed), then aggressiveness, minimum move and
// guide exposure swept in the simulator, which runs the real guiding core in virtual time.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "logtools/Analysis.h"
#include "sim/Observatory.h"

namespace corvane::logtools {

struct GuideChoice {
  double aggressiveness = 14.0;
  double minMove = 0.01;  // seconds
  double exposure = 2.0;  // seconds
  bool operator==(const GuideChoice&) const = default;
};

struct SweepGrid {
  std::vector<double> aggressiveness = {2, 4, 6, 8, 10, 12, 14, 17, 20};
  std::vector<double> minMove = {0.0, 0.02, 0.05, 0.1, 0.2};
  std::vector<double> exposure = {0.5, 1, 2, 3, 4, 6};
};

struct ModelFit {
  sim::ObservatorySettings observatory;  // the fitted model (aggressiveness set per choice)
  int stars = 1;
  double maxMove = 2.0;
  double scale = 1.0;  // arcsec per pixel of the figures (1: pixels)
  std::vector<std::string> notes;
};

// "Predict periodic error" on this night: the fitted model guided at the current settings with the
// box ticked and without, the RA RMS of the true error once the prediction has learnt (the
// second hour of two-hour runs, mean over seeds); or no figure, with the reason, where the log
// cannot support one. Where the run's record says the box was ticked, the same figures say what
// it gained.
struct PredictionAdvice {
  enum class Verdict { Helps, DoesNotHelp, Withheld };
  Verdict verdict = Verdict::Withheld;
  bool ticked = false;      // the run had it ticked
  double period = 0.0;      // seconds: the periodic error's period found (0: none)
  double peakToPeak = 0.0;  // arcsec on the sky (RA axis)
  double withoutRms = 0.0;  // RA RMS, arcsec, guided without the prediction
  double withRms = 0.0;     // and with it
  double minutes = 0.0;     // the stretch of the log the model was fitted to
  std::string why;          // Withheld: the reason
  double Gain() const { return withoutRms > 0.0 ? 1.0 - withRms / withoutRms : 0.0; }
};

// What the advice rests on is checked first: the settings in use, guided in the fitted model, must
// show offsets like the log's own. A change is recommended only where its predicted gain is more
// than the model can tell: more than kLeastAdviceGain, more than the model's miss on the log, and
// more than twice the standard error of the gain over the simulated runs.
struct Advice {
  enum class Verdict {
    Change,    // the recommended settings
    Keep,      // keep the settings in use: no change found gains more than the model can tell
    NoAdvice,  // the model does not reproduce the log: nothing can be advised on it
  };
  ModelFit model;
  GuideChoice current, recommended;               // Keep, NoAdvice: recommended is current
  double currentRms = 0.0, recommendedRms = 0.0;  // predicted total RMS, arcsec (pixels at scale 1)
  double logRms = 0.0;       // the log's own offsets: total RMS (the same unit)
  double modelLogRms = 0.0;  // the offsets the model's runs at the current settings show
  Verdict verdict = Verdict::Keep;
  std::string why;  // Keep, NoAdvice: the reason
  int simulations = 0;
  PredictionAdvice prediction;
  double ModelMiss() const { return logRms > 0.0 ? modelLogRms / logRms - 1.0 : 0.0; }
};

// The least predicted gain worth a change of settings, and the most the model may miss the log's
// own offsets by before it is not used at all.
inline constexpr double kLeastAdviceGain = 0.05;
inline constexpr double kMostModelMiss = 0.25;

ModelFit FitModel(const guidelog::LogRun& run, const RunSettings& settings,
                  const RunFigures& figures);

// The predicted total RMS of the guided error (mean over a few seeds of a fixed span of time).
double PredictRms(const ModelFit& model, const GuideChoice& choice, int seeds = 3,
                  double seconds = 600.0);

// The least a log must hold for a figure on the prediction: guided cycles, and minutes when it
// shows no periodic error (two periods of the slowest common worms).
inline constexpr int kPredictionCycles = 200;
inline constexpr double kPredictionMinutesWithoutPeriod = 24.0;
inline constexpr double kLongestWormSeconds = 1500.0;  // as the prediction itself searches
// The most of the fitted model's seeing that may be common to all stars before its figures are
// withheld (what the fit of the mount's motion leaves beyond the stars' own noise).
inline constexpr double kMostCommonSeeing = 0.9;
// A gain below this share of the RA RMS is not worth ticking the box for.
inline constexpr double kWorthwhileGain = 0.10;

PredictionAdvice AdvisePrediction(const guidelog::LogRun& run, const RunSettings& settings,
                                  const GuideChoice& current, int seeds = 3);

using Progress = std::function<void(int done, int total)>;

// Coordinate search from the current settings over the grid (each setting in turn, repeated
// until nothing improves).
Advice Advise(const guidelog::LogRun& run, const RunSettings& settings, const SweepGrid& grid = {},
              const Progress& progress = {});
// Every point of the grid (what the search is measured against).
GuideChoice ExhaustiveBest(const ModelFit& model, const SweepGrid& grid, double* rms);

}  // namespace corvane::logtools
