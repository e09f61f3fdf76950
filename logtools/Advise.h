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

struct Advice {
  ModelFit model;
  GuideChoice current, recommended;
  double currentRms = 0.0, recommendedRms = 0.0;  // predicted total RMS, arcsec (pixels at scale 1)
  int simulations = 0;
};

ModelFit FitModel(const guidelog::LogRun& run, const RunSettings& settings,
                  const RunFigures& figures);

// The predicted total RMS of the guided error (mean over a few seeds of a fixed span of time).
double PredictRms(const ModelFit& model, const GuideChoice& choice, int seeds = 3,
                  double seconds = 600.0);

using Progress = std::function<void(int done, int total)>;

// Coordinate search from the current settings over the grid (each setting in turn, repeated
// until nothing improves).
Advice Advise(const guidelog::LogRun& run, const RunSettings& settings, const SweepGrid& grid = {},
              const Progress& progress = {});
// Every point of the grid (what the search is measured against).
GuideChoice ExhaustiveBest(const ModelFit& model, const SweepGrid& grid, double* rms);

}  // namespace corvane::logtools
