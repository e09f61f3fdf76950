#include "logtools/Advise.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

#include "sim/run/Simulation.h"

namespace corvane::logtools {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

std::string Text(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
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
  const double own = split.available ? split.oneStar : fit.whiteNoise;
  const double meanOwn = split.available ? split.meanOfN : fit.whiteNoise / std::sqrt(m.stars);
  const double common =
      std::sqrt(std::max(0.0, fit.whiteNoise * fit.whiteNoise - meanOwn * meanOwn));
  const double total = std::hypot(own, common);
  obs.sky.seeingJitter = total * m.scale * std::sqrt(exposure);
  obs.sky.seeingCommonFraction = total > 0.0 ? common * common / (total * total) : 0.0;
  // The mount: the pulses' speed (the host's calibration is taken as right), drift and periodic
  // error along the axes, at the declination given.
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
  obs.mount.harmonics = {1.0};
  obs.mount.wander = 0.0;
  obs.user.clickErrorPx = 0.5;
  return m;
}

double PredictRms(const ModelFit& model, const GuideChoice& choice, int seeds, double seconds) {
  double sum = 0.0;
  for (int seed = 1; seed <= seeds; ++seed) {
    sim::SimulationSettings s;
    s.observatory = model.observatory;
    s.observatory.seed = static_cast<std::uint64_t>(seed);
    s.observatory.aggressiveness = choice.aggressiveness;
    sim::ScriptedEvent stop;
    stop.kind = sim::ScriptedEvent::Kind::Stop;
    stop.afterCycles = std::max(
        20,
        static_cast<int>(seconds / (choice.exposure + model.observatory.camera.downloadSeconds)));
    s.observatory.events = {stop};
    s.dialogs.initialExposure = {"2"};
    s.dialogs.guideSetup = {{std::to_string(model.stars), "3", "1", Text(choice.exposure),
                             Text(choice.minMove), Text(model.maxMove), "15"}};
    const sim::RunOutcome outcome = sim::RunSimulation(s);
    sum += outcome.truth.totalRms;
  }
  return sum / seeds;
}

Advice Advise(const guidelog::LogRun& run, const RunSettings& settings, const SweepGrid& grid,
              const Progress& progress) {
  Advice advice;
  const RunFigures figures = Analyse(run, settings);
  advice.model = FitModel(run, settings, figures);
  advice.current = {settings.aggressiveness.value_or(14.0),
                    std::abs(settings.minMove.value_or(0.01)), settings.exposure.value_or(2.0)};
  if (!settings.aggressiveness) advice.model.notes.push_back("no --aggressiveness: 14 assumed");
  if (!settings.minMove) advice.model.notes.push_back("no --min-move: 0.01 s assumed");

  std::map<std::tuple<double, double, double>, double> known;
  const int total =
      static_cast<int>(grid.aggressiveness.size() + grid.minMove.size() + grid.exposure.size()) *
          2 +
      1;
  auto rms = [&](const GuideChoice& c) {
    const auto key = std::make_tuple(c.aggressiveness, c.minMove, c.exposure);
    if (auto found = known.find(key); found != known.end()) return found->second;
    const double value = PredictRms(advice.model, c);
    ++advice.simulations;
    if (progress) progress(std::min(advice.simulations, total), total);
    return known[key] = value;
  };
  advice.currentRms = rms(advice.current);
  GuideChoice best = advice.current;
  double bestRms = advice.currentRms;
  for (int round = 0; round < 3; ++round) {
    const GuideChoice before = best;
    for (int axis = 0; axis < 3; ++axis) {
      const auto& values = axis == 0   ? grid.aggressiveness
                           : axis == 1 ? grid.minMove
                                       : grid.exposure;
      for (double v : values) {
        GuideChoice c = best;
        (axis == 0 ? c.aggressiveness : axis == 1 ? c.minMove : c.exposure) = v;
        const double r = rms(c);
        if (r < bestRms) {
          bestRms = r;
          best = c;
        }
      }
    }
    if (best == before) break;
  }
  if (progress) progress(total, total);
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
