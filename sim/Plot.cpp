#include "sim/Plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace corvane::sim {
namespace {

constexpr int kWidth = 960;
constexpr int kPanelHeight = 200;
constexpr int kLeft = 70;
constexpr int kRight = 150;
constexpr int kTop = 40;
constexpr int kGap = 50;

const char* const kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};

struct Series {
  std::string name;
  std::string colour;
  std::vector<double> values;
  bool dashed = false;
};

std::string Number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4g", v);
  return buffer;
}

// A tidy step for the axis ticks.
double TickStep(double span) {
  const double raw = span / 5.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10.0 * power;
}

void Panel(std::ostringstream& svg, int top, const std::string& title, const std::string& unit,
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
  if (high - low < 1e-9) {
    high += 1.0;
    low -= 1.0;
  }
  const double pad = (high - low) * 0.05;
  low -= pad;
  high += pad;
  auto X = [&](std::size_t i) {
    return kLeft +
           (count > 1 ? plotWidth * static_cast<double>(i) / static_cast<double>(count - 1) : 0.0);
  };
  auto Y = [&](double v) { return top + kPanelHeight * (high - v) / (high - low); };

  svg << "<text x=\"" << kLeft << "\" y=\"" << top - 8
      << "\" font-size=\"14\" font-weight=\"bold\">" << title << "</text>\n";
  svg << "<rect x=\"" << kLeft << "\" y=\"" << top << "\" width=\"" << plotWidth << "\" height=\""
      << kPanelHeight << "\" fill=\"#fafafa\" stroke=\"#999\"/>\n";
  const double step = TickStep(high - low);
  for (double v = std::ceil(low / step) * step; v <= high; v += step) {
    const double y = Y(v);
    svg << "<line x1=\"" << kLeft << "\" x2=\"" << kLeft + plotWidth << "\" y1=\"" << y
        << "\" y2=\"" << y << "\" stroke=\"" << (std::abs(v) < step / 2 ? "#666" : "#ddd")
        << "\"/>\n<text x=\"" << kLeft - 6 << "\" y=\"" << y + 4
        << "\" font-size=\"11\" text-anchor=\"end\">" << Number(std::abs(v) < step / 2 ? 0.0 : v)
        << "</text>\n";
  }
  svg << "<text x=\"16\" y=\"" << top + kPanelHeight / 2
      << "\" font-size=\"11\" transform=\"rotate(-90 16 " << top + kPanelHeight / 2
      << ")\" text-anchor=\"middle\">" << unit << "</text>\n";
  if (count > 1) {
    const std::size_t xStep =
        static_cast<std::size_t>(std::max(1.0, TickStep(static_cast<double>(count))));
    for (std::size_t i = 0; i < count; i += xStep) {
      svg << "<text x=\"" << X(i) << "\" y=\"" << top + kPanelHeight + 14
          << "\" font-size=\"11\" text-anchor=\"middle\">" << i + 1 << "</text>\n";
    }
  }
  int legend = 0;
  for (const auto& s : series) {
    if (s.values.empty()) continue;
    svg << "<polyline fill=\"none\" stroke=\"" << s.colour << "\" stroke-width=\"1.4\""
        << (s.dashed ? " stroke-dasharray=\"5,3\"" : "") << " points=\"";
    for (std::size_t i = 0; i < s.values.size(); ++i) {
      if (!std::isfinite(s.values[i])) continue;
      svg << Number(X(i)) << "," << Number(Y(s.values[i])) << " ";
    }
    svg << "\"/>\n";
    const int ly = top + 12 + 16 * legend++;
    svg << "<line x1=\"" << kWidth - kRight + 10 << "\" x2=\"" << kWidth - kRight + 30 << "\" y1=\""
        << ly - 4 << "\" y2=\"" << ly - 4 << "\" stroke=\"" << s.colour << "\" stroke-width=\"2\""
        << (s.dashed ? " stroke-dasharray=\"5,3\"" : "") << "/>\n<text x=\"" << kWidth - kRight + 35
        << "\" y=\"" << ly << "\" font-size=\"11\">" << s.name << "</text>\n";
  }
}

}  // namespace

std::string PlotSvg(const GuideLogData& log, const std::vector<CycleTruth>* truth,
                    const std::string& title) {
  std::vector<std::vector<Series>> panels;
  std::vector<std::pair<std::string, std::string>> captions;

  Series xoff{"Xoff", kPalette[0], {}}, yoff{"Yoff", kPalette[1], {}};
  Series xtim{"Xtim", kPalette[0], {}}, ytim{"Ytim", kPalette[1], {}};
  for (const LogRow& row : log.rows) {
    xoff.values.push_back(row.xoff);
    yoff.values.push_back(row.yoff);
    xtim.values.push_back(row.xtim);
    ytim.values.push_back(row.ytim);
  }
  panels.push_back({xoff, yoff});
  captions.push_back({"Mean offset of the guide stars per cycle", "pixels"});
  panels.push_back({xtim, ytim});
  captions.push_back({"Pulse values per cycle (positive: directions 0 and 2)", "seconds"});
  std::vector<Series> stars;
  for (int s = 0; s < log.stars; ++s) {
    Series x{"Xoff" + std::to_string(s + 1), kPalette[s % 10], {}};
    Series y{"Yoff" + std::to_string(s + 1), kPalette[s % 10], {}, true};
    for (const LogRow& row : log.rows) {
      x.values.push_back(row.stars[static_cast<std::size_t>(s)].xoff);
      y.values.push_back(row.stars[static_cast<std::size_t>(s)].yoff);
    }
    stars.push_back(x);
    stars.push_back(y);
  }
  panels.push_back(stars);
  captions.push_back({"Each star's offset from its reference (X solid, Y dashed)", "pixels"});
  if (truth && !truth->empty()) {
    Series ra{"RA (true)", "#000", {}}, dec{"Dec (true)", "#2ca02c", {}};
    for (const CycleTruth& c : *truth) {
      ra.values.push_back(c.raError);
      dec.values.push_back(c.decError);
    }
    panels.push_back({ra, dec});
    captions.push_back({"The mount's true error, mean over each exposure", "arcsec on the sky"});
  }

  const int height = kTop + static_cast<int>(panels.size()) * (kPanelHeight + kGap) + 10;
  std::ostringstream svg;
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << height
      << "\" font-family=\"sans-serif\">\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg << "<text x=\"" << kLeft << "\" y=\"20\" font-size=\"16\">" << title << " ("
      << log.rows.size() << " cycles, " << log.stars << " stars; x axis: cycle)</text>\n";
  for (std::size_t p = 0; p < panels.size(); ++p) {
    Panel(svg, kTop + 20 + static_cast<int>(p) * (kPanelHeight + kGap), captions[p].first,
          captions[p].second, panels[p]);
  }
  svg << "</svg>\n";
  return svg.str();
}

}  // namespace corvane::sim
