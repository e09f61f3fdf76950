#include "logtools/Output.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <sstream>

namespace corvane::logtools {
namespace {

std::string F(double v, int digits = 3) {
  char buffer[64];
  // A magnitude no figure of a night has (a standard error of a fit the log cannot support) in
  // three digits and its power of ten.
  if (std::abs(v) >= 1e6) {
    std::snprintf(buffer, sizeof buffer, "%.3g", v);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, v);
  }
  return buffer;
}

// Pixels, with arcseconds beside them when the scale is known.
std::string Px(double px, const RunSettings& s, int digits = 3) {
  std::string out = F(px, digits) + " px";
  if (s.scale) out += " (" + F(px * *s.scale, 2) + "\")";
  return out;
}

Json AxisJson(const AxisFigures& a) {
  return {{"rms", Rounded(a.rms, 4)},
          {"peak_to_peak", Rounded(a.peakToPeak, 4)},
          {"peak", Rounded(a.peak, 4)}};
}

std::string ChoiceText(const GuideChoice& c) {
  return "aggressiveness " + F(c.aggressiveness, 0) + ", minimum move " + F(c.minMove, 2) +
         " s, guide exposure " + F(c.exposure, 1) + " s";
}

Json ChoiceJson(const GuideChoice& c, double rms) {
  return {{"aggressiveness", Rounded(c.aggressiveness, 1)},
          {"min_move", Rounded(c.minMove, 3)},
          {"exposure", Rounded(c.exposure, 2)},
          {"predicted_rms", Rounded(rms, 4)}};
}

std::string PredictionText(const PredictionAdvice& p) {
  using Verdict = PredictionAdvice::Verdict;
  std::string out = "  Predict periodic error: ";
  if (p.ticked) out += "ticked in this run; ";
  if (p.verdict == Verdict::Withheld) return out + "no figure: " + p.why + "\n";
  if (p.period <= 0.0) {
    return out + (p.ticked ? "it gained nothing: " : "would not help: ") +
           "no periodic error in the last " + F(p.minutes, 0) + " min of guiding\n";
  }
  const bool helps = p.verdict == Verdict::Helps;
  out += p.ticked ? (helps ? "it gained " : "it gained little, ")
                  : (helps ? "would help, " : "would not help, ");
  out += p.ticked ? "RA RMS " + F(p.withRms, 2) + "\" with it against " + F(p.withoutRms, 2) +
                        "\" without"
                  : "RA RMS " + F(p.withoutRms, 2) + "\" -> " + F(p.withRms, 2) + "\"";
  char change[32];
  std::snprintf(change, sizeof change, " (%+.0f %%)\n", -100.0 * p.Gain());
  out += change;
  return out + "    (the periodic error of the last " + F(p.minutes, 0) +
         " min: " + F(p.peakToPeak, 1) + "\" p-p, period " + F(p.period, 0) +
         " s; the fitted model guided 2 h at the current settings, RA RMS of its second hour)\n";
}

Json PredictionJson(const PredictionAdvice& p) {
  using Verdict = PredictionAdvice::Verdict;
  const bool figures = p.verdict != Verdict::Withheld;
  const bool periodic = figures && p.period > 0.0;
  return {{"verdict", p.verdict == Verdict::Helps         ? "helps"
                      : p.verdict == Verdict::DoesNotHelp ? "does_not_help"
                                                          : "withheld"},
          {"ticked", p.ticked},
          {"period", periodic ? Rounded(p.period, 1) : Json(nullptr)},
          {"peak_to_peak", periodic ? Rounded(p.peakToPeak, 2) : Json(nullptr)},
          {"ra_rms_without", periodic ? Rounded(p.withoutRms, 4) : Json(nullptr)},
          {"ra_rms_with", periodic ? Rounded(p.withRms, 4) : Json(nullptr)},
          {"gain", figures ? Rounded(p.Gain(), 3) : Json(nullptr)},
          {"minutes", figures ? Rounded(p.minutes, 1) : Json(nullptr)},
          {"reason", figures ? Json(nullptr) : Json(p.why)}};
}

}  // namespace

std::string JsonLine(const Json& value) {
  if (value.is_object() && !value.empty()) {
    std::string out = "{";
    bool first = true;
    for (const auto& [key, item] : value.items()) {
      out += (first ? "" : ", ") + Json(key).dump() + ": " + JsonLine(item);
      first = false;
    }
    return out + "}";
  }
  if (value.is_array() && !value.empty()) {
    std::string out = "[";
    for (std::size_t i = 0; i < value.size(); ++i) out += (i ? ", " : "") + JsonLine(value[i]);
    return out + "]";
  }
  // Scalars, {} and []; strings escaped, invalid UTF-8 replaced rather than refused.
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json Rounded(double value, int decimals) {
  if (!std::isfinite(value)) return nullptr;
  const double factor = std::pow(10.0, decimals);
  const double scaled = std::round(value * factor) / factor;
  return std::isfinite(scaled) ? scaled : value;
}

std::string StatsText(const guidelog::LogRun& run, int index, const RunFigures& f,
                      const RunSettings& s) {
  std::ostringstream o;
  o << "Run " << index << " (header on line " << run.headerLine << "): " << f.cycles << " cycles, "
    << f.stars << " stars";
  if (f.seconds > 0) o << ", " << F(f.seconds / 60.0, 1) << " min";
  o << "\n";
  o << "  Mean offset X: RMS " << Px(f.x.rms, s) << ", peak to peak " << Px(f.x.peakToPeak, s)
    << "\n  Mean offset Y: RMS " << Px(f.y.rms, s) << ", peak to peak " << Px(f.y.peakToPeak, s)
    << "\n";
  if (f.ra) {
    o << "  RA:  RMS " << Px(f.ra->rms, s) << ", peak to peak " << Px(f.ra->peakToPeak, s)
      << "\n  Dec: RMS " << Px(f.dec->rms, s) << ", peak to peak " << Px(f.dec->peakToPeak, s)
      << "\n";
  }
  o << "  Total: RMS " << Px(f.total.rms, s) << ", peak " << Px(f.total.peak, s)
    << " (the largest distance from the mean)\n";
  for (std::size_t i = 0; i < f.starFigures.size(); ++i) {
    const StarFigures& st = f.starFigures[i];
    o << "  Star " << i + 1 << ": mean SN " << F(st.meanSN, 1) << ", lowest " << F(st.lowestSN, 1)
      << ", " << st.cyclesBelowMinSN << " cycles below MinSN";
    if (f.split.available) {
      o << ", own noise " << F(st.noiseX, 3) << " / " << F(st.noiseY, 3) << " px (X / Y)";
    }
    o << "\n";
  }
  if (f.cyclesTooFewStars >= 0) o << "  Cycles with too few stars: " << f.cyclesTooFewStars << "\n";
  o << "  Pulses: X " << f.xPulses << " (mean " << F(f.xMeanPulse, 3) << " s), Y " << f.yPulses
    << " (mean " << F(f.yMeanPulse, 3) << " s)\n";
  o << "  Last line (" << f.lastLine << "): offset " << F(f.last.xoff, 3) << ", "
    << F(f.last.yoff, 3) << " px, pulses " << F(f.last.xtim, 3) << ", " << F(f.last.ytim, 3) << " s"
    << (f.cutShort ? "; the run ends in a line cut short (a crash while writing it)" : "") << "\n";
  if (f.split.available) {
    const StarSplit& sp = f.split;
    o << "  Stars: independent noise of one star " << Px(sp.oneStar, s) << " per axis; " << f.stars
      << " stars cut the noise of the mean from " << F(sp.oneStar, 3) << " to " << F(sp.meanOfN, 3)
      << " px; the common motion is " << Px(sp.common, s) << "; noisiest star: " << sp.noisiest
      << "; stars worth having: " << sp.worthStars << "\n";
  } else if (f.stars < 2) {
    o << "  Stars: the split needs two stars or more\n";
  } else {
    o << "  Stars: the split needs every star found in " << SplitCyclesNeeded(f.stars)
      << " cycles (" << f.split.cyclesUsed << " here)\n";
  }
  if (f.fit.available) {
    const MotionFit& m = f.fit;
    const std::string unit = m.timeInSeconds ? "s" : "cycle";
    o << "  Calibration as the pulses acted: ";
    if (m.calibrationMeasured) {
      o << "angle " << F(m.angleDeg, 1) << " +- " << F(m.angleErrorDeg, 1) << " deg, X speed "
        << F(m.xSpeed, 2) << " +- " << F(m.xSpeedError, 2) << " px/s";
      if (s.declinationDeg) {
        o << " (" << F(m.xSpeed / std::cos(*s.declinationDeg * std::numbers::pi / 180.0), 2)
          << " at the equator)";
      }
      o << ", Y speed " << F(m.ySpeed, 2) << " +- " << F(m.ySpeedError, 2) << " px/s, reverse X "
        << (m.reverseX ? "yes" : "no");
    } else {
      o << "not measured";
    }
    o << "\n  Mount's own motion: drift ";
    const auto drift = [&](const char* axis, double value, double error, bool known) {
      o << axis << " ";
      if (!known) {
        o << "not known to 10 %";
        return;
      }
      const double per = m.timeInSeconds ? 60 : 1;
      o << F(value * per, 3) << " +- " << F(error * per, 3) << " px/"
        << (m.timeInSeconds ? "min" : "cycle");
    };
    drift("RA", m.driftRa, m.driftRaError, m.driftRaKnown);
    drift(", Dec", m.driftDec, m.driftDecError, m.driftDecKnown);
    if (m.driftHiddenByWander) {
      o << " (the mount's wander hides it)";
    } else if (!(m.driftRaKnown && m.driftDecKnown) && !m.hostCalibrationUsed) {
      o << " (the pulses are measured too poorly; the host's calibration, --angle, --x-speed and "
           "--y-speed, would tell it)";
    }
    if (m.wander > 0) {
      o << "; it wandered at random by " << Px(m.wander, s) << " per " << unit
        << "^0.5 (the calibration is measured around it, less precisely)";
    }
    if (!(m.calibrationMeasured || m.hostCalibrationUsed)) {
      o << "; periodic error and measurement noise not measured (what the pulses moved is not)\n";
    } else {
      if (m.periodicMeasured) {
        o << "; periodic error " << Px(m.periodicPeakToPeakRa, s) << " peak to peak in RA, period "
          << F(m.periodicPeriod, 0) << " " << unit;
      } else if (m.periodicUnsettled) {
        o << "; a periodic error whose period the run does not settle (not measured)";
      } else if (m.periodicPeriod > 0) {
        o << "; a periodic error longer than half the run's measured time (not measured)";
      }
      if (m.noiseMeasured) {
        o << "; measurement noise of the mean " << Px(m.whiteNoise, s) << "\n";
      } else {
        o << "; measurement noise of the mean not measured (the corrections pushed the stars "
             "away)\n";
      }
    }
  } else {
    o << "  Calibration and the mount's own motion: need at least 20 cycles\n";
  }
  for (const std::string& note : f.notes) o << "  Note: " << note << "\n";
  return o.str();
}

Json StatsJson(const guidelog::LogRun& run, int index, const RunFigures& f) {
  Json j = {{"run", index},      {"header_line", run.headerLine},    {"cycles", f.cycles},
            {"stars", f.stars},  {"seconds", Rounded(f.seconds, 1)}, {"x", AxisJson(f.x)},
            {"y", AxisJson(f.y)}};
  if (f.ra) {
    j["ra"] = AxisJson(*f.ra);
    j["dec"] = AxisJson(*f.dec);
  }
  j["total"] = {{"rms", Rounded(f.total.rms, 4)}, {"peak", Rounded(f.total.peak, 4)}};
  Json stars = Json::array();
  for (const StarFigures& st : f.starFigures) {
    stars.push_back({{"mean_sn", Rounded(st.meanSN, 2)},
                     {"lowest_sn", Rounded(st.lowestSN, 2)},
                     {"cycles_below_min_sn", st.cyclesBelowMinSN},
                     {"noise_x", Rounded(st.noiseX, 4)},
                     {"noise_y", Rounded(st.noiseY, 4)}});
  }
  j["star"] = stars;
  j["cycles_too_few_stars"] = f.cyclesTooFewStars < 0 ? Json(nullptr) : Json(f.cyclesTooFewStars);
  j["pulses"] = {{"x", f.xPulses},
                 {"x_mean", Rounded(f.xMeanPulse, 4)},
                 {"y", f.yPulses},
                 {"y_mean", Rounded(f.yMeanPulse, 4)}};
  j["last_line"] = f.lastLine;
  j["cut_short"] = f.cutShort;
  const StarSplit& sp = f.split;
  j["split"] = {{"available", sp.available},
                {"one_star", Rounded(sp.oneStar, 4)},
                {"mean_of_n", Rounded(sp.meanOfN, 4)},
                {"common", Rounded(sp.common, 4)},
                {"noisiest", sp.noisiest},
                {"worth_stars", sp.worthStars}};
  const MotionFit& m = f.fit;
  // A figure the log cannot support is null: a calibration the pulses could not show, a drift
  // not known to 10 %, a period the run does not cover twice.
  const auto shown = [](bool known, double value, int digits) {
    return known ? Rounded(value, digits) : Json(nullptr);
  };
  const auto measured = [&](double value, int digits) {
    return shown(m.calibrationMeasured, value, digits);
  };
  j["calibration"] = {
      {"available", m.available},
      {"measured", m.calibrationMeasured},
      {"angle", measured(m.angleDeg, 2)},
      {"x_speed", measured(m.xSpeed, 3)},
      {"y_speed", measured(m.ySpeed, 3)},
      {"angle_error", measured(m.angleErrorDeg, 2)},
      {"x_speed_error", measured(m.xSpeedError, 3)},
      {"y_speed_error", measured(m.ySpeedError, 3)},
      {"cycles_needed", m.calibrationMeasured ? Json(m.cyclesNeeded) : Json(nullptr)},
      {"reverse_x", m.calibrationMeasured ? Json(m.reverseX) : Json(nullptr)},
      {"x_wrong_way", m.xCorrectsWrongWay},
      {"y_wrong_way", m.yCorrectsWrongWay}};
  // The mount's own motion is what the pulses' effect leaves (the host's calibration, or as the
  // pulses showed it): its figures rest on that effect's.
  const bool motionMeasured = m.calibrationMeasured || m.hostCalibrationUsed;
  j["motion"] = {{"time_unit", m.timeInSeconds ? "s" : "cycle"},
                 {"drift_ra", shown(m.driftRaKnown, m.driftRa, 5)},
                 {"drift_dec", shown(m.driftDecKnown, m.driftDec, 5)},
                 {"drift_ra_error", shown(motionMeasured, m.driftRaError, 5)},
                 {"drift_dec_error", shown(motionMeasured, m.driftDecError, 5)},
                 {"periodic_period", shown(m.periodicMeasured, m.periodicPeriod, 1)},
                 {"periodic_pp_ra", shown(m.periodicMeasured, m.periodicPeakToPeakRa, 4)},
                 {"noise", shown(motionMeasured && m.noiseMeasured, m.whiteNoise, 4)},
                 {"wander", shown(m.wander > 0, m.wander, 5)}};
  j["unreadable_lines"] = f.unreadableLines;
  j["lost_lines"] = f.lostLines;
  j["notes"] = f.notes;
  return j;
}

std::string AdviceText(int index, const Advice& a, const RunSettings& s) {
  const std::string unit = s.scale ? "\"" : " px";
  std::ostringstream o;
  o << "Run " << index << ": " << a.simulations << " simulated runs of the fitted model\n"
    << "  Model check: the settings in use, guided in the model, show offsets of RMS "
    << F(a.modelLogRms, 3) << unit << "; the log shows " << F(a.logRms, 3) << unit << "\n"
    << "  Current:     " << ChoiceText(a.current);
  // A model that misses the log predicts nothing worth printing.
  if (a.verdict == Advice::Verdict::NoAdvice) {
    o << "\n  Recommended: no advice: " << a.why << "\n";
  } else {
    o << ": predicted RMS " << F(a.currentRms, 3) << unit << "\n";
  }
  if (a.verdict == Advice::Verdict::Change) {
    o << "  Recommended: " << ChoiceText(a.recommended) << ": predicted RMS "
      << F(a.recommendedRms, 3) << unit << "\n";
  } else if (a.verdict == Advice::Verdict::Keep) {
    o << "  Recommended: keep your settings: " << a.why << "\n";
  }
  o << PredictionText(a.prediction);
  for (const auto& n : a.model.notes) o << "  Note: " << n << "\n";
  return o.str();
}

Json AdviceJson(int index, const Advice& a, const RunSettings& s) {
  const char* verdict = a.verdict == Advice::Verdict::Change ? "change"
                        : a.verdict == Advice::Verdict::Keep ? "keep"
                                                             : "no-advice";
  const bool none = a.verdict == Advice::Verdict::NoAdvice;
  const double nothing = std::numeric_limits<double>::quiet_NaN();
  return {{"run", index},
          {"current", ChoiceJson(a.current, none ? nothing : a.currentRms)},
          {"recommended", ChoiceJson(a.recommended, none ? nothing : a.recommendedRms)},
          {"verdict", verdict},
          {"reason", a.why.empty() ? Json(nullptr) : Json(a.why)},
          {"model_check",
           {{"log_rms", Rounded(a.logRms, 4)}, {"model_rms", Rounded(a.modelLogRms, 4)}}},
          {"unit", s.scale ? "arcsec" : "px"},
          {"simulations", a.simulations},
          {"prediction", PredictionJson(a.prediction)},
          {"notes", a.model.notes}};
}

std::string AdviceRefusedText(int index, const std::string& why) {
  return "Run " + std::to_string(index) + ": " + why + "\n";
}

Json AdviceRefusedJson(int index, const std::string& why) {
  return {{"run", index}, {"error", why}};
}

}  // namespace corvane::logtools
