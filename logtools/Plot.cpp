#include "logtools/Plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>
#include <sstream>
#include <tuple>

#include "logtools/Raster.h"

namespace corvane::logtools {
namespace {

constexpr int kWidth = 1000;
constexpr int kLeft = 84;
constexpr int kRight = 200;
constexpr int kPlotWidth = kWidth - kLeft - kRight;
constexpr int kPanelHeight = 180;
constexpr int kCaption = 28;  // from a panel's caption to its frame
constexpr int kBelow = 44;    // tick labels and axis title under a frame
constexpr int kFirstTop = 100;
constexpr int kScatter = 300;
constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

const char* const kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};
const char* const kInk = "#222222";
const char* const kQuiet = "#666666";
const char* const kLostShade = "#f5b971";
const char* const kUnreadableShade = "#e8636b";

std::string Number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4g", std::abs(v) < 1e-12 ? 0.0 : v);
  return buffer;
}

std::string Fixed(double v, int decimals) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

// Every drawing goes to both pictures, in the same places.
class Painter {
 public:
  enum class Anchor { Start, Middle, End };

  Painter(int width, int height) : canvas_(width, height) {
    svg_ << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\""
         << height << "\" font-family=\"DejaVu Sans, Verdana, sans-serif\">\n"
         << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  }
  void Rect(int x, int y, int w, int h, const char* fill, const char* stroke) {
    svg_ << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << w << "\" height=\"" << h
         << "\" fill=\"" << fill << "\" stroke=\"" << stroke << "\"/>\n";
    canvas_.FillRect(x, y, w, h, ParseColour(fill));
    canvas_.StrokeRect(x, y, w, h, ParseColour(stroke));
  }
  void Shade(double x, double y, double w, double h, const char* fill, double opacity) {
    svg_ << "<rect x=\"" << N(x) << "\" y=\"" << N(y) << "\" width=\"" << N(w) << "\" height=\""
         << N(h) << "\" fill=\"" << fill << "\" fill-opacity=\"" << opacity << "\"/>\n";
    const int x0 = static_cast<int>(std::lround(x)), x1 = static_cast<int>(std::lround(x + w));
    canvas_.FillRect(x0, static_cast<int>(y), std::max(1, x1 - x0), static_cast<int>(h),
                     ParseColour(fill), opacity);
  }
  void Line(double x1, double y1, double x2, double y2, const char* colour, double width = 1.0,
            double dash = 0.0) {
    svg_ << "<line x1=\"" << N(x1) << "\" y1=\"" << N(y1) << "\" x2=\"" << N(x2) << "\" y2=\""
         << N(y2) << "\" stroke=\"" << colour << "\" stroke-width=\"" << width << "\"" << Dash(dash)
         << "/>\n";
    canvas_.Line(x1, y1, x2, y2, ParseColour(colour), width, dash);
  }
  void Polyline(const std::vector<Point>& points, const char* colour, double width, double dash) {
    svg_ << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"" << width << "\""
         << " stroke-linejoin=\"round\"" << Dash(dash) << " points=\"";
    for (const auto& [x, y] : points) svg_ << N(x) << "," << N(y) << " ";
    svg_ << "\"/>\n";
    canvas_.Polyline(points, ParseColour(colour), width, dash);
  }
  void Dot(double x, double y, double radius, const char* colour, double opacity) {
    svg_ << "<circle cx=\"" << N(x) << "\" cy=\"" << N(y) << "\" r=\"" << radius << "\" fill=\""
         << colour << "\" fill-opacity=\"" << opacity << "\"/>\n";
    canvas_.Dot(x, y, radius, ParseColour(colour), opacity);
  }
  void Text(double x, double y, const std::string& text, Anchor anchor = Anchor::Start,
            double size = 11.0, const char* colour = kInk, bool vertical = false) {
    const char* anchors[] = {"start", "middle", "end"};
    svg_ << "<text x=\"" << N(x) << "\" y=\"" << N(y) << "\" font-size=\"" << size << "\" fill=\""
         << colour << "\" text-anchor=\"" << anchors[static_cast<int>(anchor)] << "\"";
    if (vertical) svg_ << " transform=\"rotate(-90 " << N(x) << " " << N(y) << ")\"";
    svg_ << ">" << Escape(text) << "</text>\n";
    const double width = Canvas::TextWidth(text, size);
    const double shift = anchor == Anchor::Start    ? 0.0
                         : anchor == Anchor::Middle ? width / 2
                                                    : width;
    if (vertical) {
      canvas_.Text(x, y + shift, text, ParseColour(colour), size, true);
    } else {
      canvas_.Text(x - shift, y, text, ParseColour(colour), size, false);
    }
  }
  PlotPictures Finish() {
    svg_ << "</svg>\n";
    return {svg_.str(), std::move(canvas_)};
  }

 private:
  static std::string N(double v) { return Fixed(v, 1); }
  static std::string Dash(double dash) {
    return dash > 0.0 ? " stroke-dasharray=\"" + N(dash) + "," + N(dash) + "\"" : "";
  }
  static std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
      if (c == '<')
        out += "&lt;";
      else if (c == '>')
        out += "&gt;";
      else if (c == '&')
        out += "&amp;";
      else
        out += c;
    }
    return out;
  }
  std::ostringstream svg_;
  Canvas canvas_;
};

// A round step (1, 2 or 5 times a power of ten) giving about five ticks; 0 for a span that is
// not a positive finite number.
double TickStep(double span, double ticks = 5.0) {
  if (!(span > 0.0 && std::isfinite(span))) return 0.0;
  const double raw = span / ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10.0 * power;
}

// The ticks from low to high: at most 20.
std::vector<double> Ticks(double low, double high, double ticks = 5.0) {
  std::vector<double> at;
  const double step = TickStep(high - low, ticks);
  if (step <= 0.0) return at;
  const double first = std::ceil(low / step - 1e-9) * step;
  for (int k = 0; k <= 20; ++k) {
    const double v = first + k * step;
    if (v > high + step * 1e-9) break;
    at.push_back(v);
  }
  return at;
}

// The range shown for values from low to high: a little wider, never empty, and narrow enough that
// its span and the positions within it are finite numbers.
void Range(double& low, double& high) {
  constexpr double kLargest = 1e300;
  low = std::clamp(std::isfinite(low) ? low : 0.0, -kLargest, kLargest);
  high = std::clamp(std::isfinite(high) ? high : 0.0, low, kLargest);
  if (high - low < 1e-9) {
    const double widen = std::max(1.0, std::abs(high) * 1e-9);
    high += widen;
    low -= widen;
  }
  const double pad = (high - low) * 0.05;
  low -= pad;
  high += pad;
}

struct Series {
  std::string name;
  const char* colour;
  std::vector<double> values;  // one per cycle; not a number: a gap
  double dash = 0.0;
  double width = 1.3;
};

struct Panel {
  std::string caption, unit;
  std::vector<Series> series;
  std::optional<std::pair<double, std::string>> reference;  // a dashed level and its name
  std::string above, below;  // what the values above and below zero stand for
};

// Where each cycle sits along the time axis: minutes from the first exposure when the exposure
// is known, else the cycle's number.
struct TimeAxis {
  std::vector<double> at;
  std::string title;
  double low = 0.0, high = 1.0;
  double X(std::size_t i) const {
    const double v = i < at.size() ? at[i] : high;
    return kLeft + kPlotWidth * (v - low) / (high - low);
  }
};

// The stretches of finite values, thinned to the first, lowest, highest and last value of each
// pixel column where a stretch has more values than the panel has columns.
std::vector<std::vector<Point>> Stretches(const Series& s, const TimeAxis& time,
                                          const std::function<double(double)>& y) {
  std::vector<std::vector<Point>> out;
  std::vector<Point> current;
  auto flush = [&] {
    if (!current.empty()) out.push_back(current);
    current.clear();
  };
  std::size_t i = 0;
  while (i < s.values.size()) {
    if (!std::isfinite(s.values[i])) {
      flush();
      ++i;
      continue;
    }
    // One pixel column: the values whose x rounds to the same column.
    const double column = std::floor(time.X(i));
    std::size_t j = i, low = i, high = i;
    while (j < s.values.size() && std::isfinite(s.values[j]) && std::floor(time.X(j)) == column) {
      if (s.values[j] < s.values[low]) low = j;
      if (s.values[j] > s.values[high]) high = j;
      ++j;
    }
    std::vector<std::size_t> keep = {i, low, high, j - 1};
    std::sort(keep.begin(), keep.end());
    keep.erase(std::unique(keep.begin(), keep.end()), keep.end());
    for (std::size_t k : keep) current.push_back({time.X(k), y(s.values[k])});
    i = j;
  }
  flush();
  return out;
}

// The shaded cycles: lost for want of stars, and unreadable rows.
void Shading(Painter& p, int top, const TimeAxis& time, const std::vector<CycleUse>& uses) {
  const std::size_t n = uses.size();
  auto edge = [&](std::size_t i) {  // between cycle i - 1 and cycle i
    if (n < 2) return i == 0 ? static_cast<double>(kLeft) : static_cast<double>(kLeft + kPlotWidth);
    if (i == 0) return std::max<double>(kLeft, time.X(0) - (time.X(1) - time.X(0)) / 2);
    if (i >= n)
      return std::min<double>(kLeft + kPlotWidth,
                              time.X(n - 1) + (time.X(n - 1) - time.X(n - 2)) / 2);
    return (time.X(i - 1) + time.X(i)) / 2;
  };
  for (std::size_t i = 0; i < n;) {
    if (uses[i] == CycleUse::Guided) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < n && uses[j] == uses[i]) ++j;
    const bool lost = uses[i] == CycleUse::Lost;
    p.Shade(edge(i), top, std::max(1.0, edge(j) - edge(i)), kPanelHeight,
            lost ? kLostShade : kUnreadableShade, lost ? 0.45 : 0.6);
    i = j;
  }
}

// A panel of values per cycle along the time axis, with its legend at the right.
void TimePanel(Painter& p, int top, const Panel& panel, const TimeAxis& time,
               const std::vector<CycleUse>& uses) {
  double low = std::numeric_limits<double>::infinity(), high = -low;
  for (const auto& s : panel.series) {
    for (double v : s.values) {
      if (!std::isfinite(v)) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  if (panel.reference) {
    low = std::min(low, panel.reference->first);
    high = std::max(high, panel.reference->first);
  }
  if (!std::isfinite(low)) low = high = 0.0;
  Range(low, high);
  auto Y = [&](double v) { return top + kPanelHeight * (high - v) / (high - low); };
  p.Text(kLeft, top - 10, panel.caption, Painter::Anchor::Start, 13.0);
  p.Rect(kLeft, top, kPlotWidth, kPanelHeight, "#fcfcfc", "#9a9a9a");
  Shading(p, top, time, uses);
  for (double v : Ticks(low, high)) {
    const bool zero = std::abs(v) < (high - low) * 1e-9;
    p.Line(kLeft, Y(v), kLeft + kPlotWidth, Y(v), zero ? "#8a8a8a" : "#e2e2e2");
    p.Text(kLeft - 6, Y(v) + 4, Number(v), Painter::Anchor::End, 11.0, kQuiet);
  }
  for (double v : Ticks(time.low, time.high, 8.0)) {
    const double x = kLeft + kPlotWidth * (v - time.low) / (time.high - time.low);
    p.Line(x, top, x, top + kPanelHeight, "#ededed");
    p.Line(x, top + kPanelHeight, x, top + kPanelHeight + 4, "#9a9a9a");
    p.Text(x, top + kPanelHeight + 16, Number(v), Painter::Anchor::Middle, 11.0, kQuiet);
  }
  p.Text(kLeft + kPlotWidth, top + kPanelHeight + 32, time.title, Painter::Anchor::End, 11.0,
         kQuiet);
  p.Text(kLeft - 52, top + kPanelHeight / 2.0, panel.unit, Painter::Anchor::Middle, 11.0, kQuiet,
         true);
  if (!panel.above.empty()) {
    p.Text(kLeft + 6, top + 14, panel.above, Painter::Anchor::Start, 11.0, kQuiet);
    p.Text(kLeft + 6, top + kPanelHeight - 6, panel.below, Painter::Anchor::Start, 11.0, kQuiet);
  }
  if (panel.reference) {
    const double y = Y(panel.reference->first);
    p.Line(kLeft, y, kLeft + kPlotWidth, y, "#444444", 1.0, 4.0);
  }
  int legend = 0;
  const double lx = kLeft + kPlotWidth + 14;
  for (const auto& s : panel.series) {
    for (const auto& points : Stretches(s, time, Y)) {
      if (points.size() == 1) {
        p.Dot(points[0].first, points[0].second, s.width, s.colour, 1.0);
      } else {
        p.Polyline(points, s.colour, s.width, s.dash);
      }
    }
    const double ly = top + 12 + 16 * legend++;
    p.Line(lx, ly - 4, lx + 22, ly - 4, s.colour, 2.0, s.dash);
    p.Text(lx + 28, ly, s.name);
  }
  if (panel.reference) {
    const double ly = top + 12 + 16 * legend++;
    p.Line(lx, ly - 4, lx + 22, ly - 4, "#444444", 1.0, 4.0);
    p.Text(lx + 28, ly, panel.reference->second);
  }
}

// Each star's offsets about its own mean over the guided cycles, X against Y, on equal scales.
void ScatterPanel(Painter& p, int top, const guidelog::LogRun& run,
                  const std::vector<CycleUse>& uses, double minSN, double factor,
                  const std::string& unit) {
  const auto stars = static_cast<std::size_t>(std::max(0, run.stars));
  std::vector<double> mx(stars, 0.0), my(stars, 0.0), count(stars, 0.0);
  auto taken = [&](std::size_t i, std::size_t s) {
    return uses[i] == CycleUse::Guided && s < run.rows[i].stars.size() &&
           run.rows[i].stars[s].sn >= minSN;
  };
  for (std::size_t i = 0; i < run.rows.size(); ++i) {
    for (std::size_t s = 0; s < stars; ++s) {
      if (!taken(i, s)) continue;
      mx[s] += run.rows[i].stars[s].xoff;
      my[s] += run.rows[i].stars[s].yoff;
      count[s] += 1.0;
    }
  }
  double extent = 0.0;
  for (std::size_t s = 0; s < stars; ++s) {
    if (count[s] > 0.0) {
      mx[s] /= count[s];
      my[s] /= count[s];
    }
  }
  for (std::size_t i = 0; i < run.rows.size(); ++i) {
    for (std::size_t s = 0; s < stars; ++s) {
      if (!taken(i, s)) continue;
      extent = std::max({extent, std::abs(run.rows[i].stars[s].xoff - mx[s]) * factor,
                         std::abs(run.rows[i].stars[s].yoff - my[s]) * factor});
    }
  }
  double low = -extent, high = extent;
  Range(low, high);
  const int left = kLeft;
  auto X = [&](double v) { return left + kScatter * (v - low) / (high - low); };
  auto Y = [&](double v) { return top + kScatter * (high - v) / (high - low); };
  p.Text(left, top - 10, "Each star's offset about its mean, X against Y (guided cycles)",
         Painter::Anchor::Start, 13.0);
  p.Rect(left, top, kScatter, kScatter, "#fcfcfc", "#9a9a9a");
  for (double v : Ticks(low, high)) {
    const bool zero = std::abs(v) < (high - low) * 1e-9;
    const char* grid = zero ? "#8a8a8a" : "#e2e2e2";
    p.Line(left, Y(v), left + kScatter, Y(v), grid);
    p.Line(X(v), top, X(v), top + kScatter, grid);
    p.Text(left - 6, Y(v) + 4, Number(v), Painter::Anchor::End, 11.0, kQuiet);
    p.Text(X(v), top + kScatter + 16, Number(v), Painter::Anchor::Middle, 11.0, kQuiet);
  }
  p.Text(left + kScatter / 2.0, top + kScatter + 34, "X offset (" + unit + ")",
         Painter::Anchor::Middle, 11.0, kQuiet);
  p.Text(left - 52, top + kScatter / 2.0, "Y offset (" + unit + ")", Painter::Anchor::Middle, 11.0,
         kQuiet, true);
  // At most about 20,000 dots: a long run's every k-th cycle.
  const std::size_t stride =
      std::max<std::size_t>(1, run.rows.size() * std::max<std::size_t>(1, stars) / 20000);
  for (std::size_t s = 0; s < stars; ++s) {
    for (std::size_t i = 0; i < run.rows.size(); i += stride) {
      if (!taken(i, s)) continue;
      p.Dot(X((run.rows[i].stars[s].xoff - mx[s]) * factor),
            Y((run.rows[i].stars[s].yoff - my[s]) * factor), 1.6, kPalette[s % 10], 0.6);
    }
    const double ly = top + 12 + 16 * static_cast<double>(s);
    p.Dot(left + kScatter + 24, ly - 4, 3.0, kPalette[s % 10], 1.0);
    p.Text(left + kScatter + 34, ly, "star " + std::to_string(s + 1));
  }
}

}  // namespace

PlotPictures DrawRun(const guidelog::LogRun& run, const std::vector<sim::CycleTruth>* truth,
                     const std::string& title, const RunSettings& settings) {
  const std::vector<CycleUse> uses = CycleUses(run, settings);
  const std::size_t n = run.rows.size();
  std::size_t guided = 0, lost = 0, unreadable = 0;
  for (CycleUse u : uses) {
    guided += u == CycleUse::Guided ? 1 : 0;
    lost += u == CycleUse::Lost ? 1 : 0;
    unreadable += u == CycleUse::Unreadable ? 1 : 0;
  }
  const double minSN = settings.minSN.value_or(3.0);
  const double factor = settings.scale.value_or(1.0);
  const std::string unit = settings.scale ? "arcsec" : "pixels";
  // The time axis: the run's clock (with unreadable rows' pulses as none) when the exposure is
  // known.
  TimeAxis time;
  if (settings.exposure) {
    guidelog::LogRun timed = run;
    for (std::size_t i = 0; i < n; ++i) {
      if (uses[i] == CycleUse::Unreadable) timed.rows[i].xtim = timed.rows[i].ytim = 0.0;
    }
    for (double t : CycleTimes(timed, settings)) time.at.push_back(t / 60.0);
    time.title = "minutes from the first guide exposure";
  } else {
    for (std::size_t i = 0; i < n; ++i) time.at.push_back(static_cast<double>(i + 1));
    time.title = "cycle (minutes need --exposure)";
  }
  time.low = time.at.empty() ? 0.0 : time.at.front();
  time.high = time.at.size() > 1 ? time.at.back() : time.low + 1.0;
  if (!(time.high > time.low)) time.high = time.low + 1.0;

  auto value = [&](std::size_t i, double v, bool guidedOnly) {
    if (uses[i] == CycleUse::Unreadable || (guidedOnly && uses[i] != CycleUse::Guided)) {
      return kMissing;
    }
    return v;
  };
  std::vector<Panel> panels;
  {
    Panel offsets{"Mean offset of the guide stars", unit, {}, {}, {}, {}};
    const bool mount = settings.angleDeg.has_value();
    Series a{mount ? "RA" : "X", kPalette[0], {}}, b{mount ? "Dec" : "Y", kPalette[1], {}};
    const double angle = settings.angleDeg.value_or(0.0) * std::numbers::pi / 180.0;
    const double flip = settings.reverseX.value_or(false) ? -1.0 : 1.0;
    for (std::size_t i = 0; i < n; ++i) {
      const guidelog::LogRow& r = run.rows[i];
      const double x =
          mount ? flip * (r.xoff * std::cos(angle) + r.yoff * std::sin(angle)) : r.xoff;
      const double y = mount ? r.yoff * std::cos(angle) - r.xoff * std::sin(angle) : r.yoff;
      a.values.push_back(value(i, x * factor, true));
      b.values.push_back(value(i, y * factor, true));
    }
    if (mount) offsets.caption += " in the mount's axes (the host's guider angle)";
    offsets.series = {a, b};
    panels.push_back(offsets);
  }
  {
    Panel pulses{"Guide pulses", "seconds", {}, {}, "East (X), North (Y)", "West (X), South (Y)"};
    Series x{"X: East +, West \u2212", kPalette[0], {}},
        y{"Y: North +, South \u2212", kPalette[1], {}};
    for (std::size_t i = 0; i < n; ++i) {
      x.values.push_back(value(i, run.rows[i].xtim, true));
      y.values.push_back(value(i, run.rows[i].ytim, true));
    }
    pulses.series = {x, y};
    panels.push_back(pulses);
  }
  Panel stars{
      "Each star's offset from its reference (X solid, Y dashed; a star below MinSN left out)",
      unit,
      {},
      {},
      {},
      {}};
  Panel sn{"Each star's signal-to-noise ratio", "SN", {}, {}, {}, {}};
  sn.reference = {minSN, "MinSN " + Number(minSN) + (settings.minSN ? "" : " (assumed)")};
  for (int s = 0; s < run.stars; ++s) {
    const auto k = static_cast<std::size_t>(s);
    const std::string name = "star " + std::to_string(s + 1);
    Series x{name + " X", kPalette[s % 10], {}};
    Series y{name + " Y", kPalette[s % 10], {}, 4.0};
    Series q{name, kPalette[s % 10], {}};
    for (std::size_t i = 0; i < n; ++i) {
      const guidelog::LogStar star =
          k < run.rows[i].stars.size() ? run.rows[i].stars[k] : guidelog::LogStar{};
      const bool taken = star.sn >= minSN;
      x.values.push_back(taken ? value(i, star.xoff * factor, true) : kMissing);
      y.values.push_back(taken ? value(i, star.yoff * factor, true) : kMissing);
      q.values.push_back(value(i, star.sn, false));
    }
    stars.series.push_back(x);
    stars.series.push_back(y);
    sn.series.push_back(q);
  }
  panels.push_back(stars);
  panels.push_back(sn);
  if (truth && !truth->empty()) {
    Panel mount{"The mount's true error, mean over each exposure (the simulator's)",
                "arcsec",
                {},
                {},
                {},
                {}};
    Series ra{"RA (true)", "#000000", {}}, dec{"Dec (true)", "#2ca02c", {}};
    for (std::size_t i = 0; i < n && i < truth->size(); ++i) {
      ra.values.push_back((*truth)[i].raError);
      dec.values.push_back((*truth)[i].decError);
    }
    mount.series = {ra, dec};
    panels.push_back(mount);
  }

  const int step = kCaption + kPanelHeight + kBelow;
  const int scatterTop = kFirstTop + static_cast<int>(panels.size()) * step;
  const int height = scatterTop + kCaption + kScatter + 50;
  Painter p(kWidth, height);
  p.Text(kLeft, 32, title, Painter::Anchor::Start, 20.0);
  std::string summary = std::to_string(n) + " cycles";
  if (lost + unreadable > 0) {
    summary += " (" + std::to_string(guided) + " guided";
    if (lost > 0) summary += ", " + std::to_string(lost) + " lost for want of stars";
    if (unreadable > 0) summary += ", " + std::to_string(unreadable) + " unreadable";
    summary += ": shaded)";
  }
  summary += ", " + std::to_string(run.stars) + " star" + (run.stars == 1 ? "" : "s");
  if (settings.exposure && time.at.size() > 1) {
    summary += ", " + Fixed(time.high - time.low, 1) + " min";
  }
  p.Text(kLeft, 54, summary, Painter::Anchor::Start, 12.0, kQuiet);
  // What the figures rest on.
  std::string basis = settings.scale ? "Offsets in arcsec at " + Number(*settings.scale) + "\"/px"
                                     : "Offsets in pixels (arcsec need --scale)";
  basis += settings.exposure ? "; time from " + Number(*settings.exposure) + " s exposures, " +
                                   Number(settings.download) + " s download and the pulses"
                             : "; time as cycles (minutes need --exposure)";
  basis += "; MinSN " + Number(minSN) + ", MinStars " +
           std::to_string(settings.minStars.value_or(4)) +
           (settings.minSN && settings.minStars ? "" : " (assumed where not given)");
  p.Text(kLeft, 72, basis, Painter::Anchor::Start, 11.0, kQuiet);
  double shadeY = 24;
  for (const auto& [count, colour, opacity, name] :
       {std::tuple{lost, kLostShade, 0.45, "lost: too few stars"},
        std::tuple{unreadable, kUnreadableShade, 0.6, "unreadable row"}}) {
    if (count == 0) continue;
    const double lx = kLeft + kPlotWidth + 14;
    p.Shade(lx, shadeY, 22, 10, colour, opacity);
    p.Text(lx + 28, shadeY + 9, name, Painter::Anchor::Start, 11.0);
    shadeY += 18;
  }
  for (std::size_t i = 0; i < panels.size(); ++i) {
    TimePanel(p, kFirstTop + kCaption + static_cast<int>(i) * step, panels[i], time, uses);
  }
  ScatterPanel(p, scatterTop + kCaption, run, uses, minSN, factor, unit);
  // The guided cycles' figures beside the scatter.
  const double fx = kLeft + kScatter + 130, fy = scatterTop + kCaption + 12;
  const std::string u = settings.scale ? "\"" : " px";
  std::vector<std::string> figures;
  for (std::size_t k = 0; k < 2; ++k) {
    const std::vector<double>& v = panels[0].series[k].values;
    double sum = 0.0, squares = 0.0, count = 0.0;
    for (double x : v) {
      if (!std::isfinite(x)) continue;
      sum += x;
      squares += x * x;
      count += 1.0;
    }
    if (count == 0.0) continue;
    const double mean = sum / count;
    figures.push_back(panels[0].series[k].name + ": RMS " +
                      Fixed(std::sqrt(std::max(0.0, squares / count - mean * mean)), 3) + u);
  }
  p.Text(fx, fy, "The mean offset over the " + std::to_string(guided) + " guided cycles",
         Painter::Anchor::Start, 12.0);
  for (std::size_t k = 0; k < figures.size(); ++k) {
    p.Text(fx, fy + 20 + 18 * static_cast<double>(k), figures[k], Painter::Anchor::Start, 12.0);
  }
  return p.Finish();
}

}  // namespace corvane::logtools
