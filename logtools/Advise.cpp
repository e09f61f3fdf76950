#include "logtools/Advise.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <numbers>

#include "guidelog/LogFile.h"
#include "sim/run/Simulation.h"

namespace corvane::logtools {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

std::string Text(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

// "12 %" for 0.12; "+12 %" with `sign`.
std::string Percent(double share, bool sign = false) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, sign ? "%+.0f %%" : "%.0f %%", 100.0 * share);
  return buffer;
}

// The figures the model rests on, and the settings they were taken with. Without the host's
// calibration given, the mount's motion is taken after the pulses as the host's own law shows it
// (its aggressiveness given), where the speeds the run measured agree with it within three standard
// errors: the host's speeds are exact, and a timid run measures its pulses only to tens of percent,
// which became the model's drift (on randomized nights twice the truth, and advise then had no
// advice to give).
RunFigures ModelFigures(const guidelog::LogRun& run, RunSettings& settings,
                        const RunFigures& figures, std::vector<std::string>& notes) {
  if ((settings.angleDeg && settings.xSpeed && settings.ySpeed) || !settings.aggressiveness)
    return figures;
  const MotionFit& fit = figures.fit;
  const std::optional<HostCalibration> host = HostCalibrationOf(run, *settings.aggressiveness);
  if (!host || !fit.available || fit.xCorrectsWrongWay || fit.yCorrectsWrongWay) return figures;
  const auto agrees = [](double measured, double error, double hosts) {
    return std::abs(measured - hosts) <= 3.0 * error;
  };
  if (!agrees(fit.xSpeed, fit.xSpeedError, host->xSpeed) ||
      !agrees(fit.ySpeed, fit.ySpeedError, host->ySpeed)) {
    return figures;
  }
  const double cosDec = std::cos(settings.declinationDeg.value_or(0.0) * kDegree);
  settings.angleDeg = host->angleDeg;
  settings.xSpeed = host->xSpeed / cosDec;
  settings.ySpeed = host->ySpeed;
  settings.reverseX = host->reverseX;
  char text[256];
  std::snprintf(text, sizeof text,
                "the mount's motion after the host's calibration as its pulses show it (angle "
                "%.1f deg, X %.3f, Y %.3f px/s), which the run's own measure agrees with",
                host->angleDeg, host->xSpeed, host->ySpeed);
  notes.push_back(text);
  return Analyse(run, settings);
}

}  // namespace

ModelFit FitModel(const guidelog::LogRun& run, const RunSettings& settings,
                  const RunFigures& figures) {
  ModelFit m;
  auto& obs = m.observatory;
  m.stars = std::max(1, run.stars);
  m.scale = settings.scale.value_or(1.0);
  if (!settings.scale) m.notes.push_back("no --scale: the figures are in pixels");
  const double exposure = settings.exposure.value_or(2.0);
  if (!settings.exposure) m.notes.push_back("no --exposure: a 2 s guide exposure assumed");
  m.maxMove = std::abs(settings.maxMove.value_or(2.0));
  const double dec = settings.declinationDeg.value_or(0.0);
  const double cosDec = std::cos(dec * kDegree);
  const MotionFit& fit = figures.fit;
  const StarSplit& split = figures.split;

  obs.camera.pixelScale = m.scale;
  obs.camera.rotationDeg = 0.0;
  obs.camera.downloadSeconds = settings.download;
  // Stars bright enough that the seeing carries all of their measured noise.
  obs.sky.stars.clear();
  for (int s = 0; s < m.stars; ++s) {
    obs.sky.stars.push_back({{100.0 + 60.0 * (s % 8), 120.0 + 80.0 * (s / 8)}, 1e7});
  }
  obs.sky.fieldStars = m.stars;
  // Seeing per axis for a 1 s exposure: each star's own part from the split, the common part
  // from what the mean's motion holds beyond the mount's fitted motion and the stars' own noise.
  const double own = split.available ? split.oneStar : fit.leftNoise;
  const double meanOwn = split.available ? split.meanOfN : fit.leftNoise / std::sqrt(m.stars);
  const double common = std::sqrt(std::max(0.0, fit.leftNoise * fit.leftNoise - meanOwn * meanOwn));
  const double total = std::hypot(own, common);
  obs.sky.seeingJitter = total * m.scale * std::sqrt(exposure);
  obs.sky.seeingCommonFraction = total > 0.0 ? common * common / (total * total) : 0.0;
  // The mount: the pulses' speed (the host's calibration is taken as right), drift and periodic
  // error along the axes, at the declination given. A speed too poorly measured to print is still
  // the model's best guess (the model is checked against the log before it advises); an assumed
  // 5 px/s instead made a timid night's advice 11 % worse than its settings.
  double speed = fit.available ? (fit.xSpeed / cosDec + fit.ySpeed) / 2.0 : 5.0;
  if (settings.xSpeed && settings.ySpeed) {
    speed = (*settings.xSpeed + *settings.ySpeed) / 2.0;
  } else if (!fit.available) {
    m.notes.push_back("too short for the pulses' speed: 5 px/s assumed");
  }
  obs.mount.declinationDeg = dec;
  obs.mount.guideRate = speed * m.scale;
  const double perSecond = fit.timeInSeconds ? 1.0 : 1.0 / (exposure + settings.download);
  obs.mount.raDrift = std::abs(fit.driftRa) * perSecond * 60.0 * m.scale / cosDec;
  obs.mount.decDrift = std::abs(fit.driftDec) * perSecond * 60.0 * m.scale;
  obs.mount.periodicErrorPP = fit.periodicPeakToPeakRa * m.scale / cosDec;
  obs.mount.wormPeriod = fit.periodicPeriod > 0.0 ? fit.periodicPeriod / perSecond : 480.0;
  // The periodic error's shape as fitted: its harmonics carry more of the guiding error than
  // their share of the peak to peak, since the loop lags a faster motion further.
  obs.mount.harmonics = {1.0};
  if (!fit.periodicHarmonicsRa.empty() && fit.periodicHarmonicsRa.front() > 0.0) {
    obs.mount.harmonics = fit.periodicHarmonicsRa;
  }
  // The wander as fitted, per axis on the sky: the model's RA walk is on the axis (its sky's
  // cos(dec) of it), its Dec walk on the sky.
  obs.mount.wander =
      fit.wander * std::sqrt(perSecond) * m.scale / std::sqrt((1.0 + cosDec * cosDec) / 2.0);
  obs.user.clickErrorPx = 0.5;
  return m;
}

namespace {

// The fitted model guided with `choice` (its stop still to be set).
sim::SimulationSettings ModelRun(const ModelFit& model, const GuideChoice& choice, int seed) {
  sim::SimulationSettings s;
  s.observatory = model.observatory;
  s.observatory.seed = static_cast<std::uint64_t>(seed);
  s.observatory.aggressiveness = choice.aggressiveness;
  s.dialogs.initialExposure = {"2"};
  s.dialogs.guideSetup = {{std::to_string(model.stars), "3", "1", Text(choice.exposure),
                           Text(choice.minMove), Text(model.maxMove), "15"}};
  return s;
}

std::string Minutes(double seconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.0f min", seconds / 60.0);
  return buffer;
}

// One run of the model guided with `choice`: the true error's total RMS, and the total RMS of the
// offsets its guide log shows (as the log tools take them), both in the figures' unit.
struct ModelRunFigures {
  double trueRms = 0.0, loggedRms = 0.0;
};

ModelRunFigures RunModel(const ModelFit& model, const GuideChoice& choice, int seed,
                         double seconds) {
  sim::SimulationSettings s = ModelRun(model, choice, seed);
  sim::ScriptedEvent stop;
  stop.kind = sim::ScriptedEvent::Kind::Stop;
  stop.afterCycles = std::max(
      20, static_cast<int>(seconds / (choice.exposure + model.observatory.camera.downloadSeconds)));
  s.observatory.events = {stop};
  const sim::RunOutcome outcome = sim::RunSimulation(s);
  ModelRunFigures f;
  f.trueRms = outcome.truth.totalRms;
  f.loggedRms = std::numeric_limits<double>::quiet_NaN();
  try {
    const guidelog::LogFile parsed = guidelog::ParseLog(outcome.log);
    if (parsed.runs.empty()) return f;
    // The guided cycles, as for the log's own figures (the model's MinSN 3 and MinStars 1).
    RunSettings taken;
    taken.minSN = 3.0;
    taken.minStars = 1;
    AxisAccumulator x, y;
    for (const guidelog::LogRow& row : parsed.runs.front().rows) {
      if (!EntersFigures(CycleUseOf(row, model.stars, taken))) continue;
      x.Add(row.xoff);
      y.Add(row.yoff);
    }
    f.loggedRms = std::hypot(x.Figures().rms, y.Figures().rms) * model.scale;
  } catch (const guidelog::LogError&) {
    // Left unknown: the advice then has nothing to check its model by.
  }
  return f;
}

}  // namespace

double PredictRms(const ModelFit& model, const GuideChoice& choice, int seeds, double seconds) {
  double sum = 0.0;
  for (int seed = 1; seed <= seeds; ++seed) sum += RunModel(model, choice, seed, seconds).trueRms;
  return sum / seeds;
}

PredictionAdvice AdvisePrediction(const guidelog::LogRun& run, const RunSettings& settings,
                                  const GuideChoice& current, int seeds) {
  using Verdict = PredictionAdvice::Verdict;
  PredictionAdvice p;
  p.ticked = settings.predictPeriodicError.value_or(false);
  const std::vector<CycleUse> uses = CycleUses(run, settings);
  const auto guided = std::count(uses.begin(), uses.end(), CycleUse::Guided);
  const std::vector<double> times = CycleTimes(run, settings);
  if (!settings.scale) {
    p.why = "no --scale: the periodic error's size on the sky is unknown";
    return p;
  }
  if (times.size() < 2) {
    p.why = "no --exposure: the run's times, and so the period, are unknown";
    return p;
  }
  if (guided < kPredictionCycles) {
    p.why = "too few guided cycles: " + std::to_string(guided) + ", at least " +
            std::to_string(kPredictionCycles) + " needed";
    return p;
  }
  // The last stretch of at most 90 minutes: the night as it is now, and a span the period search
  // covers down to the fastest worms. The cycles a cloud touched (lost ones, and two on either
  // side whose stars it dimmed) are left out: their pulses go with the last cycle kept before
  // them, so that the pulses' sum stays whole, and each cycle keeps its time.
  std::size_t from = 0;
  auto lastStretch = [&](double seconds) {
    from = 0;
    while (times.back() - times[from] > seconds) ++from;
    p.minutes = (times.back() - times[from]) / 60.0;
    const std::size_t n = std::min(run.rows.size(), times.size());
    std::vector<bool> keep(n, true);
    for (std::size_t i = from; i < n; ++i) {
      if (uses[i] == CycleUse::Guided) continue;
      for (std::size_t j = i > from + 2 ? i - 2 : from; j < std::min(n, i + 3); ++j)
        keep[j] = false;
    }
    guidelog::LogRun stretch = run;
    stretch.rows.clear();
    stretch.rowLines.clear();
    stretch.seconds.clear();
    for (std::size_t i = from; i < n; ++i) {
      const guidelog::LogRow& row = run.rows[i];
      if (keep[i]) {
        stretch.rows.push_back(row);
        if (i < run.rowLines.size()) stretch.rowLines.push_back(run.rowLines[i]);
        stretch.seconds.push_back(times[i]);
      } else if (!stretch.rows.empty() && std::isfinite(row.xtim) && std::isfinite(row.ytim)) {
        stretch.rows.back().xtim += row.xtim;
        stretch.rows.back().ytim += row.ytim;
      }
    }
    return stretch;
  };
  guidelog::LogRun stretch = lastStretch(5400.0);
  RunFigures figures = Analyse(stretch, settings);
  ModelFit model = FitModel(stretch, settings, figures);
  // A guide log's times are only modelled (exposure, download, polls), and their error puts a
  // periodic error fitted over many periods out of phase, which the model would take for seeing:
  // fitted again on the last two and a half periods (at least 25 minutes).
  const double fitted = model.observatory.mount.wormPeriod;
  const double refit = std::max(2.5 * fitted, 1500.0);
  if (run.seconds.empty() && figures.fit.periodicPeriod > 0.0 && fitted <= kLongestWormSeconds &&
      refit < 60.0 * p.minutes) {
    stretch = lastStretch(refit);
    figures = Analyse(stretch, settings);
    model = FitModel(stretch, settings, figures);
    if (figures.fit.periodicPeriod <= 0.0) {
      p.why = "the periodic error of " + Text(std::round(fitted)) +
              " s found in the log does not hold over its last " + Minutes(60.0 * p.minutes);
      return p;
    }
  }
  const double span = 60.0 * p.minutes;
  // A period longer than any worm's is the slow part of the mount's wander, which no periodic
  // term learns.
  const bool periodic = figures.fit.periodicPeriod > 0.0 &&
                        model.observatory.mount.wormPeriod <= kLongestWormSeconds &&
                        model.observatory.mount.periodicErrorPP > 0.0;
  if (!periodic) {
    if (p.minutes < kPredictionMinutesWithoutPeriod) {
      p.why = "too short to rule out a periodic error: " + Minutes(span) + ", at least " +
              Minutes(60.0 * kPredictionMinutesWithoutPeriod) + " needed";
      return p;
    }
    p.verdict = Verdict::DoesNotHelp;
    return p;
  }
  p.period = model.observatory.mount.wormPeriod;
  p.peakToPeak = model.observatory.mount.periodicErrorPP;
  if (span < 2.0 * p.period) {
    p.why = "too short for two periods of its " + Text(std::round(p.period)) +
            " s periodic error: " + Minutes(span) + ", at least " + Minutes(2.0 * p.period) +
            " needed";
    p.period = 0.0;
    p.peakToPeak = 0.0;
    return p;
  }
  // What the fit leaves must be about the stars' own noise: far more, and the mount's motion is
  // not a drift and one periodic error (or a multiple of the period was taken for it), and the
  // model's figures would not hold.
  if (figures.split.available && model.observatory.sky.seeingCommonFraction > kMostCommonSeeing) {
    p.why = "the mount's motion is not what the model fitted: it leaves " +
            Text(std::round(100.0 * model.observatory.sky.seeingCommonFraction)) +
            " % of the noise common to all stars";
    p.period = p.peakToPeak = 0.0;
    return p;
  }
  // Clouds: no guide command goes out behind one. How far the periodic error carries the star
  // meanwhile, and what the prediction gains after it, a model with clouds at made-up times told
  // poorly (on randomized nights off by up to 37 percentage points, once calling a 7 % gain
  // 43 %), so a stretch with a cloud in it gets no figure.
  int clouds = 0;
  for (std::size_t i = from; i < uses.size(); ++i) {
    if (uses[i] == CycleUse::Lost && (i == from || uses[i - 1] != CycleUse::Lost)) ++clouds;
  }
  if (clouds > 0) {
    p.why = Text(clouds) + (clouds == 1 ? " cloud" : " clouds") +
            " (cycles lost for want of stars) in its last " + Minutes(span) +
            ": what the prediction gains around clouds cannot be told closely enough";
    p.period = p.peakToPeak = 0.0;
    return p;
  }
  // Two hours guided, measured over the second, once the prediction has learnt.
  constexpr double kNight = 7200.0;
  for (int seed = 1; seed <= seeds; ++seed) {
    for (bool predict : {false, true}) {
      sim::SimulationSettings s = ModelRun(model, current, seed);
      sim::ScriptedEvent stop;
      stop.kind = sim::ScriptedEvent::Kind::Stop;
      stop.atSeconds = kNight;
      s.observatory.events = {stop};
      s.observatory.windowFromSeconds = kNight / 2.0;
      s.dialogs.predictPeriodicError = predict;
      (predict ? p.withRms : p.withoutRms) += sim::RunSimulation(s).window.raRms / seeds;
    }
  }
  p.verdict = p.Gain() >= kWorthwhileGain ? Verdict::Helps : Verdict::DoesNotHelp;
  const double logSpan = times.back() - times.front();
  if (p.verdict == Verdict::DoesNotHelp && logSpan < 60.0 * kPredictionMinutesWithoutPeriod) {
    // A weak short period says nothing of a slower worm's.
    p.verdict = Verdict::Withheld;
    p.why = "too short to rule out a slower worm's periodic error: " + Minutes(logSpan) +
            ", at least " + Minutes(60.0 * kPredictionMinutesWithoutPeriod) + " needed";
    p.period = p.peakToPeak = p.withRms = p.withoutRms = 0.0;
  }
  return p;
}

Advice Advise(const guidelog::LogRun& run, const RunSettings& settings, const SweepGrid& grid,
              const Progress& progress) {
  Advice advice;
  const RunFigures figures = Analyse(run, settings);
  std::vector<std::string> notes;
  RunSettings modelSettings = settings;  // with the host's calibration where its pulses show it
  const RunFigures modelFigures = ModelFigures(run, modelSettings, figures, notes);
  advice.model = FitModel(run, modelSettings, modelFigures);
  advice.model.notes.insert(advice.model.notes.end(), notes.begin(), notes.end());
  advice.current = {settings.aggressiveness.value_or(14.0),
                    std::abs(settings.minMove.value_or(0.01)), settings.exposure.value_or(2.0)};
  if (!settings.aggressiveness) advice.model.notes.push_back("no --aggressiveness: 14 assumed");
  if (!settings.minMove) advice.model.notes.push_back("no --min-move: 0.01 s assumed");

  // Each choice's runs of the model, one per seed (the same seeds for every choice, so that two
  // choices are compared on the same sky): kSeeds in the search, kFinalSeeds more for the
  // settings in use and the search's kFinalists best. A timid loop's runs vary much from seed to
  // seed, and skewed (a few seeds go far worse), so over three seeds the least of many choices
  // was often a timid one that had been lucky: on randomized nights it guided 10-36 % worse than
  // the best. The few best are judged again on seeds the search did not choose them by.
  constexpr int kSeeds = 3, kFinalSeeds = 12, kFinalists = 4;
  constexpr double kSeconds = 600.0;
  std::map<std::tuple<double, double, double>, std::vector<ModelRunFigures>> known;
  const int total = static_cast<int>(grid.aggressiveness.size() * grid.exposure.size() +
                                     3 * grid.minMove.size() + kFinalists + 1);
  auto runs = [&](const GuideChoice& c) -> const std::vector<ModelRunFigures>& {
    const auto key = std::make_tuple(c.aggressiveness, c.minMove, c.exposure);
    if (auto found = known.find(key); found != known.end()) return found->second;
    std::vector<ModelRunFigures> each;
    for (int seed = 1; seed <= kSeeds; ++seed) {
      each.push_back(RunModel(advice.model, c, seed, kSeconds));
    }
    ++advice.simulations;
    if (progress) progress(std::min(advice.simulations, total), total);
    return known[key] = std::move(each);
  };
  // The choice's runs on the final seeds too.
  auto finalRuns = [&](const GuideChoice& c) {
    runs(c);
    std::vector<ModelRunFigures>& each =
        known[std::make_tuple(c.aggressiveness, c.minMove, c.exposure)];
    if (each.size() < kSeeds + kFinalSeeds) {
      for (int seed = kSeeds + 1; seed <= kSeeds + kFinalSeeds; ++seed) {
        each.push_back(RunModel(advice.model, c, seed, kSeconds));
      }
    }
  };
  // The mean over the choice's first `seeds` runs: every seed it has run on (rms), or the
  // search's only, for the settings in use as for every other choice (searchRms).
  auto meanRms = [&](const GuideChoice& c, std::size_t seeds) {
    const std::vector<ModelRunFigures>& each = runs(c);
    const std::size_t n = std::min(seeds, each.size());
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += each[i].trueRms;
    return sum / static_cast<double>(n);
  };
  auto rms = [&](const GuideChoice& c) { return meanRms(c, runs(c).size()); };
  const auto searchRms = [&](const GuideChoice& c) { return meanRms(c, kSeeds); };
  finalRuns(advice.current);
  advice.currentRms = rms(advice.current);
  advice.recommended = advice.current;
  advice.recommendedRms = advice.currentRms;
  advice.prediction = AdvisePrediction(run, settings, advice.current);

  // The model against the log: the settings in use, guided in the model, show the log's offsets.
  advice.logRms = figures.total.rms * advice.model.scale;
  for (const ModelRunFigures& f : runs(advice.current)) {
    advice.modelLogRms += f.loggedRms / static_cast<double>(runs(advice.current).size());
  }
  if (!(advice.logRms > 0.0) || !std::isfinite(advice.modelLogRms) ||
      std::abs(advice.ModelMiss()) > kMostModelMiss) {
    advice.verdict = Advice::Verdict::NoAdvice;
    advice.why =
        "the model fitted to this log does not reproduce it (guided with the settings in "
        "use, its offsets' RMS is " +
        Percent(advice.ModelMiss(), true) +
        " off the log's), so it cannot tell what a change "
        "would do";
    if (progress) progress(total, total);
    return advice;
  }
  GuideChoice best = advice.current;
  double bestRms = searchRms(advice.current);
  const auto consider = [&](const GuideChoice& c, double r) {
    if (r < bestRms) {
      bestRms = r;
      best = c;
    }
  };
  // Aggressiveness and exposure act together (how much the loop answers in a second is the one
  // over the other), so every pair of them is tried at the minimum move in use, then every
  // minimum move at the best pair. (Searched one setting at a time, the search stopped where a
  // step on both settings at once was better.)
  for (double a : grid.aggressiveness) {
    for (double e : grid.exposure) {
      const GuideChoice c{a, advice.current.minMove, e};
      consider(c, searchRms(c));
    }
  }
  const auto everyMinMove = [&](auto&& figure) {
    const GuideChoice pair = best;
    for (double m : grid.minMove) {
      GuideChoice c = pair;
      c.minMove = m;
      consider(c, figure(c));
    }
  };
  everyMinMove(searchRms);
  // The finalists: the search's best choices, on every seed; then every minimum move at the best
  // of them, on every seed too.
  std::vector<std::pair<double, GuideChoice>> tried;
  for (const auto& [key, each] : known) {
    const auto [a, m, e] = key;
    const GuideChoice c{a, m, e};
    if (!(c == advice.current)) tried.push_back({searchRms(c), c});
  }
  const auto finalists = std::min<std::size_t>(kFinalists, tried.size());
  std::partial_sort(tried.begin(), tried.begin() + static_cast<std::ptrdiff_t>(finalists),
                    tried.end(), [](const auto& p, const auto& q) { return p.first < q.first; });
  best = advice.current;
  bestRms = advice.currentRms;
  const auto onEverySeed = [&](const GuideChoice& c) {
    finalRuns(c);
    ++advice.simulations;
    if (progress) progress(std::min(advice.simulations, total), total);
    return rms(c);
  };
  for (std::size_t i = 0; i < finalists; ++i)
    consider(tried[i].second, onEverySeed(tried[i].second));
  everyMinMove(onEverySeed);
  if (progress) progress(total, total);
  // The gain and its standard error over the seeds (the two choices' runs paired by seed).
  const std::vector<ModelRunFigures>& now = runs(advice.current);
  const std::vector<ModelRunFigures>& then = runs(best);
  const std::size_t n = std::min(now.size(), then.size());
  double mean = 0.0, squares = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    mean += (now[i].trueRms - then[i].trueRms) / static_cast<double>(n);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const double d = now[i].trueRms - then[i].trueRms - mean;
    squares += d * d;
  }
  const double gain = advice.currentRms > 0.0 ? mean / advice.currentRms : 0.0;
  const double gainError =
      advice.currentRms > 0.0 && n > 1
          ? std::sqrt(squares / static_cast<double>(n - 1) / static_cast<double>(n)) /
                advice.currentRms
          : 0.0;
  const double least = std::max({kLeastAdviceGain, std::abs(advice.ModelMiss()), 2.0 * gainError});
  if (best == advice.current || gain <= least) {
    advice.verdict = Advice::Verdict::Keep;
    advice.why = best == advice.current
                     ? "no change found does better in the model"
                     : "the best change found would gain " + Percent(gain) +
                           ", within what the model can tell (" + Percent(least) + ")";
    return advice;
  }
  advice.verdict = Advice::Verdict::Change;
  advice.recommended = best;
  advice.recommendedRms = bestRms;
  return advice;
}

GuideChoice ExhaustiveBest(const ModelFit& model, const SweepGrid& grid, double* rms) {
  GuideChoice best;
  double bestRms = 1e300;
  for (double a : grid.aggressiveness) {
    for (double m : grid.minMove) {
      for (double e : grid.exposure) {
        const GuideChoice c{a, m, e};
        const double r = PredictRms(model, c);
        if (r < bestRms) {
          bestRms = r;
          best = c;
        }
      }
    }
  }
  if (rms) *rms = bestRms;
  return best;
}

}  // namespace corvane::logtools
