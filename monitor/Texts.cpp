#include "monitor/Texts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace corvane::monitor {
namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::tm Broken(double utcSeconds, bool local) {
  const auto t = static_cast<std::time_t>(std::floor(utcSeconds));
  std::tm out{};
#ifdef _WIN32
  if (local) {
    localtime_s(&out, &t);
  } else {
    gmtime_s(&out, &t);
  }
#else
  if (local) {
    localtime_r(&t, &out);
  } else {
    gmtime_r(&t, &out);
  }
#endif
  return out;
}

std::string Cycles(std::uint64_t n) {
  return std::to_string(n) + (n == 1 ? " cycle" : " cycles");
}

FigureTexts AxisTexts(double rms, double peak, std::optional<double> scale, bool any) {
  if (!any) return {"-", "-"};
  return {DistanceText(rms, scale), DistanceText(peak, scale)};
}

}  // namespace

std::string ClockText(double utcSeconds) {
  const std::tm t = Broken(utcSeconds, true);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

double LocalOffsetSeconds(double utcSeconds) {
  const std::tm local = Broken(utcSeconds, true);
  const std::tm utc = Broken(utcSeconds, false);
  const auto seconds = [](const std::tm& t) {
    return ((t.tm_yday * 24.0 + t.tm_hour) * 60.0 + t.tm_min) * 60.0 + t.tm_sec;
  };
  double offset = seconds(local) - seconds(utc);
  if (local.tm_year != utc.tm_year) offset += (local.tm_year > utc.tm_year ? 1 : -1) * 86400.0;
  if (offset > 14 * 3600.0) offset -= 365 * 86400.0;  // across the year's end, one way or other
  if (offset < -14 * 3600.0) offset += 365 * 86400.0;
  return offset;
}

std::string DurationText(double seconds) {
  const auto s = static_cast<long long>(std::max(0.0, std::floor(seconds)));
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) {
    return std::to_string(s / 60) + " min" + (s % 60 ? " " + std::to_string(s % 60) + " s" : "");
  }
  return std::to_string(s / 3600) + " h" +
         (s % 3600 / 60 ? " " + std::to_string(s % 3600 / 60) + " min" : "");
}

std::string DistanceText(double pixels, std::optional<double> scale) {
  if (scale) return Fixed(pixels * *scale, 2) + "\"";
  return Fixed(pixels, 3) + " px";
}

std::optional<double> ParseScale(const std::string& text) {
  std::string s;
  for (char c : text) {
    if (c == ' ') continue;
    s += c == ',' ? '.' : c;
  }
  if (s.empty()) return std::nullopt;
  double value = 0.0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size() || !(value > 0.0) || value > 1000.0) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> ScaleFor(const RunState* run, std::optional<double> userScale) {
  if (run && run->Info().scale) return run->Info().scale;
  return userScale;
}

std::string StarText(std::size_t index, const StarNow& star) {
  std::string text = "Star " + std::to_string(index + 1) + ": SN " + Fixed(star.sn, 1);
  if (star.state == StarState::NotFound) text += ", not found";
  if (star.state == StarState::BelowMinSN) text += ", below the minimum";
  return text;
}

std::vector<std::string> Warnings(const RunState& run, bool live, double now) {
  std::vector<std::string> out;
  // A star lost.
  std::string lost;
  for (std::size_t i = 0; i < run.Stars().size(); ++i) {
    const StarNow& star = run.Stars()[i];
    if (star.notFoundInARow == 0) continue;
    lost += (lost.empty() ? "" : ", ") + std::string("star ") + std::to_string(i + 1) +
            (star.notFoundInARow == 1
                 ? " (in the last cycle)"
                 : " (in the last " + std::to_string(star.notFoundInARow) + " cycles)");
  }
  if (!lost.empty()) out.push_back("Not found: " + lost + ".");
  // Cycles without a pulse for want of stars.
  const int required = std::min(run.Info().minStars.value_or(4), run.Info().stars);
  const std::string minimum =
      run.Info().minStars ? "the minimum of " + std::to_string(required) : "the minimum to average";
  if (run.StarvedInARow() > 0) {
    out.push_back("No guide pulse in the last " + Cycles(run.StarvedInARow()) +
                  ": fewer stars than " + minimum + " had an SN of " + Fixed(run.MinSN(), 1) +
                  " or more (clouds, dew, a star lost?).");
  }
  if (run.Starved() > run.StarvedInARow()) {
    std::string text = Cycles(run.Starved() - run.StarvedInARow()) +
                       " earlier in this run had no guide pulse for want of stars";
    if (const auto t = run.LastStarvedTime(); t && run.StarvedInARow() == 0) {
      text += ", the last at " + ClockText(*t);
    }
    out.push_back(text + ".");
  }
  // Corrections growing.
  if (run.Growth().Growing()) {
    std::string pulses;
    for (double p : run.Growth().Pulses()) {
      pulses += (pulses.empty() ? "" : ", ") + Fixed(std::abs(p), 2);
    }
    out.push_back("The corrections grow: after each pulse the stars are further off (pulses " +
                  pulses +
                  " s), as with a reversed calibration. Check the guider calibration in MaxIm DL "
                  "(Reverse X, the angle) and stop guiding if it goes on.");
  }
  // No new cycle for three exposure lengths.
  if (live && run.LastArrival() && run.LiveCycles() >= 3 && run.CycleSecondsMeasured()) {
    const double exposure = std::max(run.Info().exposureSeconds.value_or(0.0), run.CycleSeconds());
    const double quiet = now - *run.LastArrival();
    if (quiet > 3.0 * exposure) {
      out.push_back("No new cycle for " + DurationText(quiet) + ", three times the " +
                    DurationText(std::max(1.0, exposure)) +
                    " a cycle takes: is guiding still running?");
    }
  }
  if (run.Unreadable() > 0) {
    out.push_back(Cycles(run.Unreadable()) +
                  " hold values no guider reports (not a number, or beyond any sensor); they are "
                  "left out of the figures and the graph.");
  }
  return out;
}

ViewTexts MakeTexts(const Monitor& monitor, Span span, std::optional<double> userScale,
                    double now) {
  ViewTexts v;
  v.status = monitor.Status();
  v.problem = monitor.Problem();
  const RunState* run = monitor.Run();
  const std::string spanName = SpanName(span);
  v.spanTitle = span == Span::All ? "Whole run" : "Last " + spanName;
  v.runTitle = "Whole run";
  if (!run) {
    v.cycles = "0";
    v.lastCycle = "-";
    v.spanA = v.spanB = v.spanTotal = v.runA = v.runB = v.runTotal = {"-", "-"};
    return v;
  }
  const std::optional<double> scale = ScaleFor(run, userScale);
  if (run->MountAxes()) {
    v.axisA = "RA";
    v.axisB = "Dec";
  }
  v.cycles = std::to_string(run->Cycles());
  v.lastCycle = run->Cycles() > 0 ? DurationText(now - run->LastTime()) + " ago" : "-";
  const SpanFigures spanFigures = run->Figures(SpanSeconds(span));
  const SpanFigures runFigures = run->Figures(std::nullopt);
  if (!spanFigures.whole) v.spanTitle += " (newest " + Cycles(spanFigures.cycles) + ")";
  const auto fill = [&](const SpanFigures& f, FigureTexts& a, FigureTexts& b, FigureTexts& t) {
    const bool any = f.cycles > 0;
    a = AxisTexts(f.a.rms, f.peakA, scale, any);
    b = AxisTexts(f.b.rms, f.peakB, scale, any);
    t = AxisTexts(f.rmsTotal, f.peakTotal, scale, any);
  };
  fill(spanFigures, v.spanA, v.spanB, v.spanTotal);
  fill(runFigures, v.runA, v.runB, v.runTotal);
  for (std::size_t i = 0; i < run->Stars().size(); ++i) {
    v.stars.push_back(StarText(i, run->Stars()[i]));
  }
  for (const std::string& w : Warnings(*run, monitor.Live(), now)) {
    v.warnings += (v.warnings.empty() ? "" : "\r\n") + w;
  }
  return v;
}

}  // namespace corvane::monitor
