// The spectrum of the mount's own motion in RA: what the RA offset would have done without the
// pulses (the offset plus the pulses' effect as the run measured it), per period. The periodic
// error stands out as a peak at the worm's period and its harmonics.
#pragma once

#include <vector>

#include "guidelog/LogFile.h"
#include "logtools/Analysis.h"

namespace corvane::logtools {

struct Spectrum {
  bool inSeconds = false;         // periods in seconds (the exposure known), else in cycles
  std::vector<double> period;     // ascending
  std::vector<double> amplitude;  // pixels: the amplitude of a sine of that period (half its
                                  // peak to peak)
};

// Empty without the pulses' effect and the mount's axes (figures.fit, figures.axes) or with
// fewer than 32 guided cycles. Lost and unreadable cycles are bridged; at most `points` periods,
// each the strongest of its share of a logarithmic scale.
Spectrum RaMotionSpectrum(const guidelog::LogRun& run, const RunSettings& settings,
                          const RunFigures& figures, int points = 600);

}  // namespace corvane::logtools
