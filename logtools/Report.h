// The night's report: one HTML page that opens from disk in any current browser and fetches
// nothing. Its figures are those of `stats --json` (the same analysis, the same rounded values);
// the guide graph holds every cycle and shows the RMS and peak of the span on screen; then each
// star, the periodic error's spectrum, the calibration check and, when asked for, the advice. The
// page's template, style and script and uPlot are built into the program (Assets.h).
//
// Every figure shown is an element with a data-figure attribute naming it (ra-rms-arcsec, ...),
// whose text is the number as printed; the unit stands outside it.
#pragma once

#include <string>

#include "guidelog/LogFile.h"
#include "logtools/Analysis.h"
#include "logtools/Output.h"

namespace corvane::logtools {

struct ReportSource {
  std::string file;       // the log as the user named it
  int run = 1, runs = 1;  // the run shown, of the file's runs
  std::string generator;  // "corvane-log 1.6.0"
};

// `advice` is AdviceJson or AdviceRefusedJson for the run; null when the advice was not asked for.
std::string ReportPage(const guidelog::LogRun& run, const RunSettings& settings,
                       const ReportSource& source, const Json& advice = nullptr);

}  // namespace corvane::logtools
