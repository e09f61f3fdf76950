// Guide logs made by the simulated observatory, with the model's truth beside them: what advise
// simulates, and what the tests and the accuracy measurements compare the estimates with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "logtools/Advise.h"
#include "logtools/Analysis.h"
#include "sim/run/Simulation.h"

namespace corvane::logtools {

struct SimulatedLog {
  sim::SimulationSettings settings;
  sim::RunOutcome outcome;
  std::string log;  // the guide log's bytes
  // The model's truth in the figures the analysis estimates.
  double ownNoisePx = 0.0;     // independent noise of one star, pixels per axis (RMS over stars)
  double meanNoisePx = 0.0;    // noise of the stars' mean: the seeing they share, their own over N
  double driftRaPxPerS = 0.0;  // the stars' drift on the sensor along RA and Dec, pixels per second
  double driftDecPxPerS = 0.0;
  double meanOverheadS = 0.0;  // seconds per cycle besides the exposure and the pulses
  double exposureS = 0.0;
};

// The run a log is simulated from: the observatory's model set field by field (camera, sky,
// mount, the host's aggressiveness), the guide stars and MinStars typed into the setup dialog,
// and the stop after `cycles` guide cycles.
struct LogScenario {
  int cycles = 300;
  int stars = 5;
  int minStars = 1;
  std::uint64_t seed = 1;
  bool hostReversesX = false;      // the host's GuiderReverseX is the wrong way round
  bool predict = false;            // "Predict periodic error" ticked
  std::optional<double> exposure;  // seconds typed as the guide exposure; else the dialog's
  sim::ObservatorySettings observatory;
};

SimulatedLog SimulateLog(const LogScenario& scenario);

// Randomized night `night` (seed 7000 + night) of the distribution the accuracy program judges
// corvane-log on; `events` names its clouds (c), a lost star (L), the host's reverse X wrong (R)
// and a mirrored camera (M).
LogScenario RandomNight(int night, std::string* events = nullptr);

// What a user would give for such a run: its exposure and download time; and with the host's
// calibration (guider angle, speeds, reverse X, declination) as the simulated host reports it.
RunSettings TimedSettings(const SimulatedLog& s);
RunSettings HostCalibratedSettings(const SimulatedLog& s);

// The true RMS error (arcsec) had the run guided with these settings: the same sky, seed and
// span of time in the simulated observatory (the cycle count scaled to the other exposure).
double TrueRmsWith(const SimulatedLog& s, const GuideChoice& choice);

// The RA RMS of the true error (arcsec) over the second hour of the night the log was taken on,
// guided two hours with or without "Predict periodic error": the mean over `seeds` seeds, the
// log's first (its events, clouds among them, at the same times).
double SecondHourRaRms(const SimulatedLog& s, bool predict, int seeds = 1);

}  // namespace corvane::logtools
