// What the lines of a followed file say, in the monitor's terms: a run begins (with what is known
// of it), a cycle, a line that cannot be read. The guide log (c:\Corvane.csv) says little: its
// header and one row per cycle. A night's record gives the same events with more filled in: the
// dialogs' values, the start time, each cycle's time, each star's state and the host's guider
// settings in effect for the cycle.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "guidelog/LogFile.h"
#include "guidelog/Record.h"

namespace corvane::monitor {

// What is known of a run. The guide log gives the stars only.
struct RunInfo {
  int stars = 0;
  std::optional<double> minSN;
  std::optional<int> minStars;
  std::optional<double> exposureSeconds;  // the guide exposure
  std::optional<double> angleDeg;         // the host's GuiderAngle
  bool reverseX = false;                  // the host's GuiderReverseX (with the angle)
  std::optional<double> scale;            // arcsec per pixel
  std::optional<double> startTime;        // seconds since 1970 (UTC)
};

// A guide star in a cycle.
enum class StarState { Used, BelowMinSN, NotFound };
// Below this SN what the host measured is the background's noise, not a star.
inline constexpr double kFoundSN = 3.0;

struct CycleLine {
  guidelog::LogRow row;
  std::optional<double> seconds;  // since the run started, by the writer's clock
  std::vector<StarState> states;  // one per star; empty: judged from the SN
  // The host's GuiderAngle and GuiderReverseX in effect for this cycle (a record's); they replace
  // the run's from this cycle on.
  std::optional<double> angleDeg;
  std::optional<bool> reverseX;
};

class RunEvents {
 public:
  virtual ~RunEvents() = default;
  virtual void RunStarted(const RunInfo& info, std::uint64_t line) = 0;
  virtual void Cycle(const CycleLine& cycle, std::uint64_t line) = 0;
  virtual void LineSkipped(std::uint64_t line, const std::string& why) = 0;
};

class LineFormat {
 public:
  virtual ~LineFormat() = default;
  virtual void Line(std::uint64_t number, std::string_view text, RunEvents& events) = 0;
};

// c:\Corvane.csv: each header line begins a run (a file may hold several), each data line is a
// cycle of the run above it; read with the guide-log library that corvane-log reads with.
class GuideLogLines : public LineFormat {
 public:
  void Line(std::uint64_t number, std::string_view text, RunEvents& events) override;

 private:
  guidelog::LogRun run_;
  bool inRun_ = false;
};

// A night's record (Documents\Corvane\"YYYY-MM-DD HH-MM-SS.csv"), read line by line with the
// record reader corvane-log reads with, keeping only the newest cycle: the run begins with its
// setup line (or its first cycle), each cycle line is a cycle with its time since the start.
class RecordLines : public LineFormat {
 public:
  void Line(std::uint64_t number, std::string_view text, RunEvents& events) override;

 private:
  guidelog::RecordReader reader_{false};
  bool started_ = false;
  bool cycleSkipped_ = false;  // the last line was a cycle that could not be read
};

// The reader for a file whose first line is `firstLine`; nullptr when the monitor knows no such
// file, with the reason in *why.
std::unique_ptr<LineFormat> FormatFor(std::string_view firstLine, std::string* why);

}  // namespace corvane::monitor
