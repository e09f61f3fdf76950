#include "monitor/Graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "monitor/Texts.h"

namespace corvane::monitor {
namespace {

std::string Number(double value, double step) {
  const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  char text[32];
  std::snprintf(text, sizeof text, "%+.*f", std::min(decimals, 4), value);
  if (std::abs(value) < step * 1e-6) std::snprintf(text, sizeof text, "0");
  return text;
}

// One column's extremes of a series, kept in the order they came.
struct ColumnExtremes {
  bool any = false;
  GraphPoint low, high;
  void Add(double time, double value) {
    if (!any || value < low.value) low = {time, value};
    if (!any || value > high.value) high = {time, value};
    any = true;
  }
  void Emit(std::vector<GraphPoint>& out) const {
    if (!any) return;
    if (low.time <= high.time) {
      out.push_back(low);
      if (high.time != low.time || high.value != low.value) out.push_back(high);
    } else {
      out.push_back(high);
      out.push_back(low);
    }
  }
};

struct Columns {
  double from, to;
  int count;
  std::vector<ColumnExtremes> a, b;
  std::vector<PulseBar> pulses;
  std::vector<bool> pulsed;
  Columns(double f, double t, int n)
      : from(f), to(t), count(n), a(n), b(n), pulses(n), pulsed(n, false) {}
  int Index(double time) const {
    const double x = (time - from) / (to - from) * count;
    return std::clamp(static_cast<int>(std::floor(x)), 0, count - 1);
  }
  void Pulse(int c, double time, double pa, double pb) {
    PulseBar& bar = pulses[c];
    if (!pulsed[c]) bar.time = time;
    if (std::abs(pa) > std::abs(bar.a)) bar.a = pa;
    if (std::abs(pb) > std::abs(bar.b)) bar.b = pb;
    pulsed[c] = true;
  }
};

}  // namespace

double NiceStep(double range, int count) {
  if (!(range > 0.0) || count < 1) return 1.0;
  const double raw = range / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (m * power >= raw * (1 - 1e-9)) return m * power;
  }
  return 10.0 * power;
}

std::vector<Tick> TimeTicks(double from, double to, int count) {
  static const double kSteps[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                                  600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
  double step = kSteps[std::size(kSteps) - 1];
  for (double s : kSteps) {
    if ((to - from) / s <= std::max(count, 1)) {
      step = s;
      break;
    }
  }
  const double offset = LocalOffsetSeconds(to);
  std::vector<Tick> ticks;
  for (double local = std::ceil((from + offset) / step) * step; local <= to + offset;
       local += step) {
    const double t = local - offset;
    std::string label = ClockText(t);
    if (step >= 60) label = label.substr(0, 5);
    ticks.push_back({t, label});
  }
  return ticks;
}

GraphModel MakeGraph(const RunState& run, Span span, std::optional<double> scale, int columns) {
  GraphModel g;
  columns = std::max(columns, 2);
  g.unit = scale ? "\"" : "px";
  g.axisA = run.MountAxes() ? "RA" : "X";
  g.axisB = run.MountAxes() ? "Dec" : "Y";
  const double unit = scale.value_or(1.0);
  const Ring<Sample>& recent = run.Recent();
  if (recent.Size() == 0) return g;
  g.empty = false;
  g.to = run.LastTime();
  g.cycleSeconds = run.CycleSeconds();
  const std::optional<double> seconds = SpanSeconds(span);
  const bool fromBuckets = !seconds && recent[0].cycle > 1 && run.All().Buckets().size() > 0 &&
                           run.All().Buckets().front().first < recent[0].cycle;
  if (seconds) {
    // At least the whole span, and up to a step more.
    const double step = *seconds / 10;
    g.to = std::ceil(g.to / step) * step;
    g.from = g.to - *seconds - step;
  } else {
    const Bucket& first = run.All().Buckets().front();
    g.from = run.TimeOfCycle(first.first, first.timeFirst);
  }
  if (!(g.to - g.from > 1.0)) g.from = g.to - 1.0;

  Columns cols(g.from, g.to, columns);
  double largest = 0.0, largestPulse = 0.0;
  const auto take = [&](double time, double a, double b, double pa, double pb) {
    const int c = cols.Index(time);
    cols.a[c].Add(time, a * unit);
    cols.b[c].Add(time, b * unit);
    if (pa != 0.0 || pb != 0.0) cols.Pulse(c, time, pa, pb);
    largest = std::max({largest, std::abs(a * unit), std::abs(b * unit)});
    largestPulse = std::max({largestPulse, std::abs(pa), std::abs(pb)});
  };
  if (fromBuckets) {
    for (const Bucket& bucket : run.All().Buckets()) {
      const double t0 = run.TimeOfCycle(bucket.first, bucket.timeFirst);
      const double t1 = run.TimeOfCycle(bucket.first + bucket.count - 1, bucket.timeLast);
      take(t0, bucket.lowA, bucket.lowB, bucket.pulseLowA, bucket.pulseLowB);
      take(t1, bucket.highA, bucket.highB, bucket.pulseHighA, bucket.pulseHighB);
      if (bucket.lost > 0) g.starved.push_back(t0);
    }
  } else {
    for (std::size_t i = 0; i < recent.Size(); ++i) {
      const Sample& s = recent[i];
      const double t = run.TimeOf(s);
      if (t < g.from) continue;
      take(t, s.a, s.b, s.pulseA, s.pulseB);
      if (s.use == logtools::CycleUse::Lost) g.starved.push_back(t);
    }
  }
  for (int c = 0; c < columns; ++c) {
    cols.a[c].Emit(g.a);
    cols.b[c].Emit(g.b);
    if (cols.pulsed[c]) g.pulses.push_back(cols.pulses[c]);
  }

  // The offsets' scale: round, at least 0.5 px (or 0.5"), room above the largest.
  const double least = 0.5;
  const double step = NiceStep(std::max(largest * 1.1, least), 2);
  g.range = step * std::ceil(std::max(largest * 1.1, least) / step);
  for (double v = -g.range; v <= g.range + step * 1e-6; v += step) {
    g.offsetTicks.push_back({v, Number(v, step)});
  }
  const double pulseStep = NiceStep(std::max(largestPulse, 0.1), 1);
  g.pulseRange = pulseStep * std::ceil(std::max(largestPulse, 0.1) / pulseStep);
  g.pulseTicks = {{-g.pulseRange, Number(-g.pulseRange, pulseStep) + " s"},
                  {0.0, "0"},
                  {g.pulseRange, Number(g.pulseRange, pulseStep) + " s"}};
  g.timeTicks = TimeTicks(g.from, g.to, std::max(2, columns / 90));
  if (run.TimesEstimated()) {
    char each[32];
    std::snprintf(each, sizeof each, "%.1f s", run.CycleSeconds());
    g.note = std::string("The guide log holds no times: earlier cycles placed ") + each +
             (run.CycleSecondsMeasured() ? " apart, as measured since." : " apart, assumed.");
  }
  return g;
}

}  // namespace corvane::monitor
