// Everything the monitor's window says, as text: the figures (in arcseconds when the pixel scale
// is known, else pixels, with the digits corvane-log prints), each star's SN and state, the cycle
// count and the time since the last cycle, and the warnings in plain words. The window sets these
// into its text controls as they are.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "monitor/Monitor.h"
#include "monitor/RunState.h"

namespace corvane::monitor {

std::string ClockText(double utcSeconds);      // local time, "22:13:05"
std::string DurationText(double seconds);      // "4 s", "2 min 5 s", "1 h 12 min"
double LocalOffsetSeconds(double utcSeconds);  // local time minus UTC at that moment
// A distance: "0.123 px", or "0.18\"" with the scale (arcsec per pixel).
std::string DistanceText(double pixels, std::optional<double> scale);
// The pixel scale a user typed ("1.5" or "1,5"): nothing when empty, not a number or not positive.
std::optional<double> ParseScale(const std::string& text);

struct FigureTexts {
  std::string rms, peak;
};

struct ViewTexts {
  std::string status;   // what is followed
  std::string problem;  // the latest trouble with the files ("" none)
  std::string cycles;   // "1234"
  std::string lastCycle;
  std::string axisA = "X", axisB = "Y";  // "RA" and "Dec" with the guider angle
  std::string spanTitle, runTitle;
  FigureTexts spanA, spanB, spanTotal, runA, runB, runTotal;
  std::vector<std::string> stars;  // "Star 2: SN 2.1, not found"
  std::string warnings;            // one per line ("\r\n" between)
};

// The scale used: the run's own, else the one the user gave.
std::optional<double> ScaleFor(const RunState* run, std::optional<double> userScale);
std::string StarText(std::size_t index, const StarNow& star);
std::vector<std::string> Warnings(const RunState& run, bool live, double now);
ViewTexts MakeTexts(const Monitor& monitor, Span span, std::optional<double> userScale, double now);

}  // namespace corvane::monitor
