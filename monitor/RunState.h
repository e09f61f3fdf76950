// One run as the monitor follows it, cycle by cycle, in memory that stays flat however long the
// night: the whole run's figures as running sums (logtools' accumulators, so they are the figures
// corvane-log prints), the recent cycles in a fixed ring for the spans of minutes, the whole run in
// a fixed number of buckets for its graph, each star's latest state, and what the warnings watch.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "logtools/Analysis.h"
#include "monitor/RunLines.h"

namespace corvane::monitor {

enum class Span { Minutes5, Minutes15, Minutes60, All };
inline constexpr Span kSpans[] = {Span::Minutes5, Span::Minutes15, Span::Minutes60, Span::All};
std::optional<double> SpanSeconds(Span span);  // nothing for the whole run
const char* SpanName(Span span);               // "5 min", ..., "All"

inline constexpr double kUnknownTime = std::numeric_limits<double>::quiet_NaN();

struct Sample {
  std::uint64_t cycle = 0;     // 1 for the run's first
  double time = kUnknownTime;  // seconds since 1970 (UTC); unknown: placed by RunState::TimeOf
  double a = 0.0, b = 0.0;     // the offsets on the shown axes (RA/Dec or X/Y), pixels
  float pulseA = 0.0f, pulseB = 0.0f;  // the X (RA) and Y (Dec) pulses, seconds
  logtools::CycleUse use = logtools::CycleUse::Guided;
};

// A fixed number of the newest values; [0] is the oldest kept.
template <typename T>
class Ring {
 public:
  explicit Ring(std::size_t capacity) : items_(capacity) {}
  void Push(const T& item) {
    items_[(start_ + size_) % items_.size()] = item;
    if (size_ < items_.size()) {
      ++size_;
    } else {
      start_ = (start_ + 1) % items_.size();
    }
  }
  std::size_t Size() const { return size_; }
  std::size_t Capacity() const { return items_.size(); }
  const T& operator[](std::size_t i) const { return items_[(start_ + i) % items_.size()]; }
  const T& Newest() const { return (*this)[size_ - 1]; }

 private:
  std::vector<T> items_;
  std::size_t start_ = 0, size_ = 0;
};

// A stretch of consecutive cycles of the overview.
struct Bucket {
  std::uint64_t first = 0, count = 0;  // cycles [first, first + count)
  double timeFirst = kUnknownTime, timeLast = kUnknownTime;
  double lowA = 0, highA = 0, lowB = 0, highB = 0;
  float pulseLowA = 0, pulseHighA = 0, pulseLowB = 0, pulseHighB = 0;
  std::uint32_t lost = 0;  // cycles without a pulse for want of stars
};

// The whole run in at most kBuckets buckets of equal width: when they are full, neighbours merge
// and the width doubles.
class Overview {
 public:
  static constexpr std::size_t kBuckets = 1024;
  void Add(const Sample& sample);
  const std::vector<Bucket>& Buckets() const { return buckets_; }
  std::uint64_t Width() const { return width_; }

 private:
  std::vector<Bucket> buckets_;
  std::uint64_t width_ = 1;
};

struct StarNow {
  double sn = 0.0;
  StarState state = StarState::Used;
  std::uint64_t notFoundInARow = 0;
};

// The figures of a span: RMS (about the mean) and peak (largest distance from the reference).
struct SpanFigures {
  std::uint64_t cycles = 0;
  logtools::AxisFigures a, b;
  double peakA = 0, peakB = 0, rmsTotal = 0, peakTotal = 0;
  bool whole = true;  // the span is all there; else only the newest cycles kept
};

// The corrections as a reversed calibration makes them: after each pulse the stars are further
// off, by a growing step, for several cycles in a row.
class GrowthWatch {
 public:
  static constexpr std::size_t kCycles = 6;  // pulsed cycles in a row, all moving away
  void Add(const Sample& sample);
  bool Growing() const { return growing_; }
  // The pulses of the cycles that show it, oldest first (the larger axis).
  const std::vector<double>& Pulses() const { return pulses_; }

 private:
  std::deque<Sample> recent_;
  bool growing_ = false;
  std::vector<double> pulses_;
};

class RunState {
 public:
  static constexpr std::size_t kRecent = 16384;  // an hour of cycles down to 0.22 s each
  static constexpr double kAssumedCycleSeconds = 2.0;

  explicit RunState(const RunInfo& info);

  // A cycle; `arrival` is when it was seen arriving (the wall clock, UTC) while the run was
  // followed, nothing for a cycle that was in the file already.
  void Add(const CycleLine& line, std::optional<double> arrival);
  // The time of the file's last write: where cycles of unknown time end when none arrived live.
  void SetFileTime(double time) { fileTime_ = time; }

  const RunInfo& Info() const { return info_; }
  bool MountAxes() const { return info_.angleDeg.has_value(); }
  double MinSN() const { return info_.minSN.value_or(3.0); }
  std::uint64_t Cycles() const { return cycles_; }
  std::uint64_t Unreadable() const { return unreadable_; }
  std::uint64_t Starved() const { return starved_; }  // no pulse for want of stars
  std::uint64_t StarvedInARow() const { return starvedInARow_; }
  std::optional<double> LastStarvedTime() const;
  const std::vector<StarNow>& Stars() const { return stars_; }
  const Ring<Sample>& Recent() const { return recent_; }
  const Overview& All() const { return overview_; }
  const GrowthWatch& Growth() const { return growth_; }

  // A sample's time, estimated for the cycles read before the run was followed: spaced by the
  // cycle length before the first that arrived live (or before the file's last write).
  double TimeOf(const Sample& sample) const;
  double TimeOfCycle(std::uint64_t cycle, double known) const;
  bool TimesEstimated() const;  // some cycles are placed by estimate
  // Seconds per cycle: measured from the times (or arrivals), else assumed.
  double CycleSeconds() const;
  bool CycleSecondsMeasured() const;
  std::optional<double> LastArrival() const { return lastArrival_; }
  std::uint64_t LiveCycles() const { return liveCycles_; }
  double LastTime() const;  // the newest cycle's time (0 without cycles)

  SpanFigures Figures(std::optional<double> spanSeconds) const;

 private:
  RunInfo info_;
  std::uint64_t cycles_ = 0, unreadable_ = 0, starved_ = 0, starvedInARow_ = 0;
  std::uint64_t lastStarvedCycle_ = 0;
  logtools::AxisAccumulator runA_, runB_;
  double runPeakTotal_ = 0.0;
  Ring<Sample> recent_{kRecent};
  Overview overview_;
  std::vector<StarNow> stars_;
  GrowthWatch growth_;
  std::optional<double> lastArrival_;
  std::uint64_t liveCycles_ = 0;
  std::optional<std::pair<std::uint64_t, double>> firstLive_;  // cycle, time
  std::deque<double> liveTimes_;  // the last live or recorded times, for the cycle length
  double fileTime_ = 0.0;
};

}  // namespace corvane::monitor
