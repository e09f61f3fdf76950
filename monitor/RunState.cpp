#include "monitor/RunState.h"

#include <algorithm>

namespace corvane::monitor {
namespace {

constexpr std::size_t kCycleLengthWindow = 16;

Bucket BucketOf(const Sample& s) {
  Bucket b;
  b.first = s.cycle;
  b.count = 1;
  b.timeFirst = b.timeLast = s.time;
  b.lowA = b.highA = s.a;
  b.lowB = b.highB = s.b;
  b.pulseLowA = b.pulseHighA = s.pulseA;
  b.pulseLowB = b.pulseHighB = s.pulseB;
  b.lost = s.use == logtools::CycleUse::Lost ? 1 : 0;
  return b;
}

void Merge(Bucket& into, const Bucket& next) {
  into.count += next.count;
  if (std::isnan(into.timeFirst)) into.timeFirst = next.timeFirst;
  if (!std::isnan(next.timeLast)) into.timeLast = next.timeLast;
  into.lowA = std::min(into.lowA, next.lowA);
  into.highA = std::max(into.highA, next.highA);
  into.lowB = std::min(into.lowB, next.lowB);
  into.highB = std::max(into.highB, next.highB);
  into.pulseLowA = std::min(into.pulseLowA, next.pulseLowA);
  into.pulseHighA = std::max(into.pulseHighA, next.pulseHighA);
  into.pulseLowB = std::min(into.pulseLowB, next.pulseLowB);
  into.pulseHighB = std::max(into.pulseHighB, next.pulseHighB);
  into.lost += next.lost;
}

double Magnitude(const Sample& s) {
  return std::hypot(s.a, s.b);
}

}  // namespace

std::optional<double> SpanSeconds(Span span) {
  switch (span) {
    case Span::Minutes5:
      return 300.0;
    case Span::Minutes15:
      return 900.0;
    case Span::Minutes60:
      return 3600.0;
    case Span::All:
      break;
  }
  return std::nullopt;
}

const char* SpanName(Span span) {
  switch (span) {
    case Span::Minutes5:
      return "5 min";
    case Span::Minutes15:
      return "15 min";
    case Span::Minutes60:
      return "60 min";
    case Span::All:
      break;
  }
  return "All";
}

void Overview::Add(const Sample& sample) {
  if (!buckets_.empty() && buckets_.back().count < width_) {
    Merge(buckets_.back(), BucketOf(sample));
    return;
  }
  if (buckets_.size() == kBuckets) {
    std::vector<Bucket> merged;
    merged.reserve(kBuckets);
    for (std::size_t i = 0; i + 1 < buckets_.size(); i += 2) {
      merged.push_back(buckets_[i]);
      Merge(merged.back(), buckets_[i + 1]);
    }
    buckets_.swap(merged);
    width_ *= 2;
    Add(sample);
    return;
  }
  buckets_.push_back(BucketOf(sample));
}

void GrowthWatch::Add(const Sample& sample) {
  const bool pulsed = sample.pulseA != 0.0f || sample.pulseB != 0.0f;
  if (sample.use != logtools::CycleUse::Guided || !pulsed ||
      (!recent_.empty() && recent_.back().cycle + 1 != sample.cycle)) {
    recent_.clear();
  }
  if (sample.use != logtools::CycleUse::Guided) {
    growing_ = false;
    return;
  }
  recent_.push_back(sample);
  if (recent_.size() > kCycles + 1) recent_.pop_front();
  growing_ = false;
  if (recent_.size() < kCycles + 1) return;
  // Each pulsed cycle followed by one further off, in the direction it was off (not sideways),
  // by at least a quarter more: a correction that pushes instead of pulls.
  for (std::size_t k = 0; k + 1 < recent_.size(); ++k) {
    const Sample& now = recent_[k];
    const Sample& next = recent_[k + 1];
    const double size = Magnitude(now);
    if (size <= 0.0) return;
    const double along = ((next.a - now.a) * now.a + (next.b - now.b) * now.b) / (size * size);
    if (along < 0.25 || Magnitude(next) < 1.25 * size) return;
  }
  growing_ = true;
  pulses_.clear();
  double sumA = 0.0, sumB = 0.0;
  for (const Sample& s : recent_) {
    sumA += std::abs(s.pulseA);
    sumB += std::abs(s.pulseB);
  }
  for (const Sample& s : recent_) pulses_.push_back(sumA >= sumB ? s.pulseA : s.pulseB);
}

RunState::RunState(const RunInfo& info) : info_(info) {
  stars_.assign(static_cast<std::size_t>(std::max(info.stars, 0)), StarNow{});
}

void RunState::Add(const CycleLine& line, std::optional<double> arrival) {
  const guidelog::LogRow& row = line.row;
  ++cycles_;
  // A record's cycle carries the host's settings in effect for it: a changed angle (a meridian
  // flip, a new calibration) applies from this cycle on.
  if (line.angleDeg) info_.angleDeg = line.angleDeg;
  if (line.reverseX) info_.reverseX = *line.reverseX;
  logtools::RunSettings settings;
  settings.minSN = info_.minSN;
  settings.minStars = info_.minStars;
  Sample s;
  s.cycle = cycles_;
  s.use = logtools::CycleUseOf(row, info_.stars, settings);
  // Corvane never pulses in a cycle with too few stars: a pulse shows the minimums were others.
  if (s.use == logtools::CycleUse::Lost && (row.xtim != 0.0 || row.ytim != 0.0)) {
    s.use = logtools::CycleUse::Guided;
  }
  if (line.seconds && info_.startTime) {
    s.time = *info_.startTime + *line.seconds;
  } else if (arrival) {
    s.time = *arrival;
  }
  if (arrival) {
    lastArrival_ = arrival;
    ++liveCycles_;
    if (!firstLive_) firstLive_ = {{cycles_, s.time}};
  }
  if (!std::isnan(s.time)) {
    liveTimes_.push_back(s.time);
    if (liveTimes_.size() > kCycleLengthWindow) liveTimes_.pop_front();
  }
  if (info_.angleDeg) {
    const logtools::MountOffset m =
        logtools::ToMountAxes(row.xoff, row.yoff, *info_.angleDeg, info_.reverseX);
    s.a = m.ra;
    s.b = m.dec;
  } else {
    s.a = row.xoff;
    s.b = row.yoff;
  }
  s.pulseA = static_cast<float>(row.xtim);
  s.pulseB = static_cast<float>(row.ytim);

  // Stars: their SN, and the state the line gives or the SN tells.
  for (std::size_t i = 0; i < stars_.size() && i < row.stars.size(); ++i) {
    StarNow& star = stars_[i];
    star.sn = row.stars[i].sn;
    if (i < line.states.size()) {
      star.state = line.states[i];
    } else {
      star.state = !(star.sn >= kFoundSN) ? StarState::NotFound
                   : star.sn < MinSN()    ? StarState::BelowMinSN
                                          : StarState::Used;
    }
    star.notFoundInARow = star.state == StarState::NotFound ? star.notFoundInARow + 1 : 0;
  }

  if (s.use == logtools::CycleUse::Unreadable) {
    // A value no guider reports: counted and named, kept out of every figure and the graph.
    ++unreadable_;
    growth_.Add(s);
    return;
  }
  if (s.use == logtools::CycleUse::Lost) {
    ++starved_;
    ++starvedInARow_;
    lastStarvedCycle_ = s.cycle;
  } else {
    starvedInARow_ = 0;
  }
  runA_.Add(s.a);
  runB_.Add(s.b);
  runPeakTotal_ = std::max(runPeakTotal_, Magnitude(s));
  recent_.Push(s);
  overview_.Add(s);
  growth_.Add(s);
}

std::optional<double> RunState::LastStarvedTime() const {
  if (lastStarvedCycle_ == 0) return std::nullopt;
  return TimeOfCycle(lastStarvedCycle_, kUnknownTime);
}

bool RunState::CycleSecondsMeasured() const {
  return liveTimes_.size() >= 3;
}

double RunState::CycleSeconds() const {
  if (CycleSecondsMeasured()) {
    const double seconds =
        (liveTimes_.back() - liveTimes_.front()) / static_cast<double>(liveTimes_.size() - 1);
    if (seconds > 0.0) return seconds;
  }
  return info_.exposureSeconds.value_or(kAssumedCycleSeconds);
}

double RunState::TimeOfCycle(std::uint64_t cycle, double known) const {
  if (!std::isnan(known)) return known;
  // Placed before the first cycle that came with a time, else before the file's last write.
  const std::uint64_t anchorCycle = firstLive_ ? firstLive_->first : cycles_;
  const double anchorTime = firstLive_ ? firstLive_->second : fileTime_;
  return anchorTime -
         (static_cast<double>(anchorCycle) - static_cast<double>(cycle)) * CycleSeconds();
}

double RunState::TimeOf(const Sample& sample) const {
  return TimeOfCycle(sample.cycle, sample.time);
}

bool RunState::TimesEstimated() const {
  return cycles_ > 0 && (!firstLive_ || firstLive_->first > 1) && !info_.startTime;
}

double RunState::LastTime() const {
  if (recent_.Size() == 0) return fileTime_;
  return TimeOf(recent_.Newest());
}

SpanFigures RunState::Figures(std::optional<double> spanSeconds) const {
  SpanFigures f;
  if (!spanSeconds) {
    f.cycles = runA_.Count();
    f.a = runA_.Figures();
    f.b = runB_.Figures();
    f.peakA = runA_.LargestMagnitude();
    f.peakB = runB_.LargestMagnitude();
    f.peakTotal = runPeakTotal_;
  } else {
    const std::size_t n = recent_.Size();
    if (n == 0) return f;
    const double from = LastTime() - *spanSeconds;
    std::size_t first = n;
    while (first > 0 && TimeOf(recent_[first - 1]) >= from) --first;
    f.whole = first > 0 || recent_[0].cycle == 1 || recent_.Size() < recent_.Capacity();
    logtools::AxisAccumulator a, b;
    for (std::size_t i = first; i < n; ++i) {
      const Sample& s = recent_[i];
      a.Add(s.a);
      b.Add(s.b);
      f.peakTotal = std::max(f.peakTotal, Magnitude(s));
    }
    f.cycles = a.Count();
    f.a = a.Figures();
    f.b = b.Figures();
    f.peakA = a.LargestMagnitude();
    f.peakB = b.LargestMagnitude();
  }
  f.rmsTotal = std::hypot(f.a.rms, f.b.rms);
  return f;
}

}  // namespace corvane::monitor
