// The pictures of a guide run, drawn once and written as SVG and as PNG: the mean offset and the
// pulses per cycle, each star's offsets, each star's SN over time with the MinSN line, the
// per-star scatter and, with the simulator's truth, the mount's true error. Offsets are in
// arcseconds when the pixel scale is known, time in minutes when the exposure is; cycles lost
// for want of stars and unreadable rows are shaded and left out of the offsets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "guidelog/LogFile.h"
#include "logtools/Analysis.h"
#include "logtools/Raster.h"
#include "sim/Observatory.h"

namespace corvane::logtools {

// The drawing as SVG and as a raster, encoded as PNG on demand (the encoding takes longer than
// the drawing).
struct PlotPictures {
  std::string svg;
  Canvas raster;
  std::vector<std::uint8_t> Png() const { return raster.EncodePng(); }
};

PlotPictures DrawRun(const guidelog::LogRun& run, const std::vector<sim::CycleTruth>* truth,
                     const std::string& title, const RunSettings& settings = {});

}  // namespace corvane::logtools
