// The pictures of a guide run, drawn once and written as SVG and as PNG: the mean offset and the
// pulses per cycle, each star's offsets, the per-star scatter, each star's SN over time and, with
// the simulator's truth, the mount's true error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "guidelog/LogFile.h"
#include "sim/Observatory.h"

namespace corvane::logtools {

struct PlotPictures {
  std::string svg;
  std::vector<std::uint8_t> png;
};

PlotPictures DrawRun(const guidelog::LogRun& run, const std::vector<sim::CycleTruth>* truth,
                     const std::string& title);

}  // namespace corvane::logtools
