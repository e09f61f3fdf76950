// The guide graph as numbers, for the window to draw: the time shown, the offsets of both axes
// and the pulses reduced to at most two points per pixel column (the column's extremes, so no peak
// is lost), the cycles without a pulse for want of stars, and the axes' ticks with their labels
// (the local clock along the bottom, the offsets in arcseconds or pixels, the pulses in seconds).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "monitor/RunState.h"

namespace corvane::monitor {

struct Tick {
  double value = 0.0;
  std::string label;
};

struct GraphPoint {
  double time = 0.0, value = 0.0;
};

struct PulseBar {
  double time = 0.0, a = 0.0, b = 0.0;  // seconds, signed
};

struct GraphModel {
  bool empty = true;
  // The times shown (seconds since 1970, UTC). On the last 5, 15 or 60 minutes the clock's end
  // moves in steps of a tenth of the span, ahead of the newest cycle: between steps the picture
  // only grows at its right edge, and a window draws just the new cycles.
  double from = 0.0, to = 1.0;
  double cycleSeconds = 1.0;  // the cycles' spacing (the pulses' bars are as wide as it allows)
  double range = 1.0;         // offsets shown from -range to +range (in the unit)
  double pulseRange = 1.0;    // pulses shown from -pulseRange to +pulseRange (seconds)
  std::string unit;           // "\"" or "px"
  std::string axisA, axisB;   // "RA", "Dec" or "X", "Y"
  std::vector<Tick> timeTicks, offsetTicks, pulseTicks;
  std::vector<GraphPoint> a, b;  // in the unit, in time order
  std::vector<PulseBar> pulses;
  std::vector<double> starved;  // times of cycles without a pulse for want of stars
  std::string note;             // e.g. that some times are estimated
};

// Round steps for `count` or fewer ticks over `range` (1, 2, 2.5, 5 times a power of ten).
double NiceStep(double range, int count);
// Ticks of the local clock between `from` and `to`, at most `count`.
std::vector<Tick> TimeTicks(double from, double to, int count);
GraphModel MakeGraph(const RunState& run, Span span, std::optional<double> scale, int columns);

}  // namespace corvane::monitor
