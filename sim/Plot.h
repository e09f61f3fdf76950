// Draws a guide log as an SVG: the mean offsets per cycle, the pulse values per cycle, and each
// star's own offsets; with the simulator's truth, also the mount's true error.
#pragma once

#include <string>
#include <vector>

#include "sim/LogReader.h"
#include "sim/Observatory.h"

namespace corvane::sim {

std::string PlotSvg(const GuideLogData& log, const std::vector<CycleTruth>* truth,
                    const std::string& title);

}  // namespace corvane::sim
