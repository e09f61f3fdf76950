#include "logtools/Plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "logtools/Raster.h"

namespace corvane::logtools {
namespace {

constexpr int kWidth = 960;
constexpr int kPanelHeight = 200;
constexpr int kLeft = 70;
constexpr int kRight = 150;
constexpr int kGap = 50;
constexpr int kFirstTop = 80;  // below the title and its line of figures

const char* const kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};

// Every drawing goes to both pictures.
class Painter {
 public:
  Painter(int width, int height) : canvas_(width, height) {
    svg_ << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\""
         << height << "\" font-family=\"monospace\">\n"
         << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  }
  void Rect(int x, int y, int w, int h, const char* fill, const char* stroke) {
    svg_ << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << w << "\" height=\"" << h
         << "\" fill=\"" << fill << "\" stroke=\"" << stroke << "\"/>\n";
    canvas_.FillRect(x, y, w, h, ParseColour(fill));
    canvas_.StrokeRect(x, y, w, h, ParseColour(stroke));
  }
  void Line(double x1, double y1, double x2, double y2, const char* colour, int width = 1,
            bool dashed = false) {
    svg_ << "<line x1=\"" << N(x1) << "\" y1=\"" << N(y1) << "\" x2=\"" << N(x2) << "\" y2=\""
         << N(y2) << "\" stroke=\"" << colour << "\" stroke-width=\"" << width << "\""
         << (dashed ? " stroke-dasharray=\"5,3\"" : "") << "/>\n";
    canvas_.Line(x1, y1, x2, y2, ParseColour(colour), width, dashed);
  }
  void Polyline(const std::vector<std::pair<double, double>>& points, const char* colour,
                bool dashed) {
    svg_ << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1.4\""
         << (dashed ? " stroke-dasharray=\"5,3\"" : "") << " points=\"";
    for (const auto& [x, y] : points) svg_ << N(x) << "," << N(y) << " ";
    svg_ << "\"/>\n";
    for (std::size_t i = 1; i < points.size(); ++i) {
      canvas_.Line(points[i - 1].first, points[i - 1].second, points[i].first, points[i].second,
                   ParseColour(colour), 1, dashed);
    }
  }
  void Dot(double x, double y, const char* colour) {
    svg_ << "<circle cx=\"" << N(x) << "\" cy=\"" << N(y) << "\" r=\"2\" fill=\"" << colour
         << "\"/>\n";
    canvas_.Dot(x, y, 1, ParseColour(colour));
  }
  // anchor: 0 start, 1 middle, 2 end; the raster font is 6 px per character (12 at scale 2).
  void Text(int x, int y, const std::string& text, int anchor = 0, bool big = false,
            bool vertical = false) {
    const int scale = big ? 2 : 1;
    const char* anchors[] = {"start", "middle", "end"};
    svg_ << "<text x=\"" << x << "\" y=\"" << y << "\" font-size=\"" << (big ? 16 : 11)
         << "\" text-anchor=\"" << anchors[anchor] << "\"";
    if (vertical) svg_ << " transform=\"rotate(-90 " << x << " " << y << ")\"";
    svg_ << ">" << Escape(text) << "</text>\n";
    const int width = Canvas::TextWidth(text, scale);
    const int shift = anchor == 0 ? 0 : anchor == 1 ? width / 2 : width;
    if (vertical) {
      canvas_.Text(x + 3, y + shift, text, {0, 0, 0}, scale, true);
    } else {
      canvas_.Text(x - shift, y, text, {0, 0, 0}, scale, false);
    }
  }
  PlotPictures Finish() {
    svg_ << "</svg>\n";
    return {svg_.str(), canvas_.EncodePng()};
  }

 private:
  static std::string N(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", v);
    return buffer;
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

struct Series {
  std::string name;
  const char* colour;
  std::vector<double> values;
  bool dashed = false;
};

std::string Number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4g", v);
  return buffer;
}

double TickStep(double span) {
  const double raw = span / 5.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10.0 * power;
}

void Range(double& low, double& high) {
  if (high - low < 1e-9) {
    high += 1.0;
    low -= 1.0;
  }
  const double pad = (high - low) * 0.05;
  low -= pad;
  high += pad;
}

// Horizontal grid lines with their values, for a value axis mapped by Y.
template <typename Map>
void ValueTicks(Painter& p, double low, double high, int left, int right, Map y) {
  const double step = TickStep(high - low);
  for (double v = std::ceil(low / step) * step; v <= high; v += step) {
    const bool zero = std::abs(v) < step / 2;
    p.Line(left, y(v), right, y(v), zero ? "#666666" : "#dddddd");
    p.Text(left - 6, static_cast<int>(y(v)) + 4, Number(zero ? 0.0 : v), 2);
  }
}

void LinePanel(Painter& p, int top, const std::string& title, const std::string& unit,
               const std::vector<Series>& series) {
  const int plotWidth = kWidth - kLeft - kRight;
  double low = 0.0, high = 0.0;
  std::size_t count = 0;
  for (const auto& s : series) {
    for (double v : s.values) {
      if (!std::isfinite(v)) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
    count = std::max(count, s.values.size());
  }
  Range(low, high);
  auto X = [&](std::size_t i) {
    return kLeft +
           (count > 1 ? plotWidth * static_cast<double>(i) / static_cast<double>(count - 1) : 0.0);
  };
  auto Y = [&](double v) { return top + kPanelHeight * (high - v) / (high - low); };
  p.Text(kLeft, top - 8, title, 0, false);
  p.Rect(kLeft, top, plotWidth, kPanelHeight, "#fafafa", "#999999");
  ValueTicks(p, low, high, kLeft, kLeft + plotWidth, Y);
  p.Text(18, top + kPanelHeight / 2, unit, 1, false, true);
  if (count > 1) {
    const auto xStep =
        static_cast<std::size_t>(std::max(1.0, TickStep(static_cast<double>(count))));
    for (std::size_t i = 0; i < count; i += xStep) {
      p.Text(static_cast<int>(X(i)), top + kPanelHeight + 14, std::to_string(i + 1), 1);
    }
  }
  int legend = 0;
  for (const auto& s : series) {
    if (s.values.empty()) continue;
    std::vector<std::pair<double, double>> points;
    for (std::size_t i = 0; i < s.values.size(); ++i) {
      if (std::isfinite(s.values[i])) points.push_back({X(i), Y(s.values[i])});
    }
    p.Polyline(points, s.colour, s.dashed);
    const int ly = top + 12 + 16 * legend++;
    p.Line(kWidth - kRight + 10, ly - 4, kWidth - kRight + 30, ly - 4, s.colour, 2, s.dashed);
    p.Text(kWidth - kRight + 35, ly, s.name);
  }
}

// Each star's offsets about its own mean, X against Y, on equal scales.
void ScatterPanel(Painter& p, int top, const guidelog::LogRun& run) {
  const int size = kPanelHeight + 100;
  double extent = 0.0;
  std::vector<double> mx(static_cast<std::size_t>(run.stars), 0.0), my = mx;
  for (const guidelog::LogRow& r : run.rows) {
    for (std::size_t s = 0; s < r.stars.size(); ++s) {
      mx[s] += r.stars[s].xoff / static_cast<double>(run.rows.size());
      my[s] += r.stars[s].yoff / static_cast<double>(run.rows.size());
    }
  }
  for (const guidelog::LogRow& r : run.rows) {
    for (std::size_t s = 0; s < r.stars.size(); ++s) {
      extent =
          std::max({extent, std::abs(r.stars[s].xoff - mx[s]), std::abs(r.stars[s].yoff - my[s])});
    }
  }
  double low = -extent, high = extent;
  Range(low, high);
  const int left = kLeft;
  auto X = [&](double v) { return left + size * (v - low) / (high - low); };
  auto Y = [&](double v) { return top + size * (high - v) / (high - low); };
  p.Text(left, top - 8, "Each star's offset about its mean, X against Y (pixels)");
  p.Rect(left, top, size, size, "#fafafa", "#999999");
  ValueTicks(p, low, high, left, left + size, Y);
  p.Line(X(0.0), top, X(0.0), top + size, "#666666");
  for (std::size_t s = 0; s < mx.size(); ++s) {
    for (const guidelog::LogRow& r : run.rows) {
      p.Dot(X(r.stars[s].xoff - mx[s]), Y(r.stars[s].yoff - my[s]), kPalette[s % 10]);
    }
    const int ly = top + 12 + 16 * static_cast<int>(s);
    p.Line(left + size + 20, ly - 4, left + size + 40, ly - 4, kPalette[s % 10], 2);
    p.Text(left + size + 45, ly, "star " + std::to_string(s + 1));
  }
}

}  // namespace

PlotPictures DrawRun(const guidelog::LogRun& run, const std::vector<sim::CycleTruth>* truth,
                     const std::string& title) {
  std::vector<std::vector<Series>> panels;
  std::vector<std::pair<std::string, std::string>> captions;
  Series xoff{"Xoff", kPalette[0], {}}, yoff{"Yoff", kPalette[1], {}};
  Series xtim{"Xtim", kPalette[0], {}}, ytim{"Ytim", kPalette[1], {}};
  for (const guidelog::LogRow& row : run.rows) {
    xoff.values.push_back(row.xoff);
    yoff.values.push_back(row.yoff);
    xtim.values.push_back(row.xtim);
    ytim.values.push_back(row.ytim);
  }
  panels.push_back({xoff, yoff});
  captions.push_back({"Mean offset of the guide stars per cycle", "pixels"});
  panels.push_back({xtim, ytim});
  captions.push_back({"Pulse values per cycle (positive: directions 0 and 2)", "seconds"});
  std::vector<Series> stars, sn;
  for (int s = 0; s < run.stars; ++s) {
    const auto i = static_cast<std::size_t>(s);
    Series x{"Xoff" + std::to_string(s + 1), kPalette[s % 10], {}};
    Series y{"Yoff" + std::to_string(s + 1), kPalette[s % 10], {}, true};
    Series q{"SN" + std::to_string(s + 1), kPalette[s % 10], {}};
    for (const guidelog::LogRow& row : run.rows) {
      x.values.push_back(row.stars[i].xoff);
      y.values.push_back(row.stars[i].yoff);
      q.values.push_back(row.stars[i].sn);
    }
    stars.push_back(x);
    stars.push_back(y);
    sn.push_back(q);
  }
  panels.push_back(stars);
  captions.push_back({"Each star's offset from its reference (X solid, Y dashed)", "pixels"});
  panels.push_back(sn);
  captions.push_back({"Each star's signal-to-noise ratio per cycle", "SN"});
  if (truth && !truth->empty()) {
    Series ra{"RA (true)", "#000000", {}}, dec{"Dec (true)", "#2ca02c", {}};
    for (const sim::CycleTruth& c : *truth) {
      ra.values.push_back(c.raError);
      dec.values.push_back(c.decError);
    }
    panels.push_back({ra, dec});
    captions.push_back({"The mount's true error, mean over each exposure", "arcsec on the sky"});
  }
  const int scatterTop = kFirstTop + static_cast<int>(panels.size()) * (kPanelHeight + kGap);
  const int height = scatterTop + kPanelHeight + 100 + 30;
  Painter p(kWidth, height);
  p.Text(kLeft, 24, title, 0, true);
  p.Text(kLeft, 40,
         std::to_string(run.rows.size()) + " cycles, " + std::to_string(run.stars) +
             " stars; x axis: cycle");
  for (std::size_t i = 0; i < panels.size(); ++i) {
    LinePanel(p, kFirstTop + static_cast<int>(i) * (kPanelHeight + kGap), captions[i].first,
              captions[i].second, panels[i]);
  }
  ScatterPanel(p, scatterTop, run);
  return p.Finish();
}

}  // namespace corvane::logtools
