#include "logtools/SimLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

#include "sim/Observatory.h"

namespace corvane::logtools {

SimulatedLog SimulateLog(const LogScenario& scenario) {
  SimulatedLog result;
  sim::ObservatorySettings& obs = result.settings.observatory;
  obs = scenario.observatory;
  obs.seed = scenario.seed;
  sim::ScriptedEvent stop;
  stop.kind = sim::ScriptedEvent::Kind::Stop;
  stop.afterCycles = scenario.cycles;
  obs.events.push_back(stop);
  if (scenario.hostReversesX) {
    sim::GuiderCalibration calibration =
        sim::CalibrationFor(obs.camera, obs.mount, obs.aggressiveness);
    calibration.reverseX = !calibration.reverseX;
    obs.calibration = calibration;
  }
  auto& texts = result.settings.dialogs.guideSetup.front();
  texts.NumberStars = std::to_string(scenario.stars);
  texts.MinStars = std::to_string(scenario.minStars);
  if (scenario.exposure) {
    char typed[32];
    std::snprintf(typed, sizeof typed, "%.2f", *scenario.exposure);
    texts.Duration = typed;
  }
  result.settings.dialogs.predictPeriodicError = scenario.predict;
  result.outcome = sim::RunSimulation(result.settings);
  result.log = result.outcome.log;

  result.exposureS = std::stod(result.settings.dialogs.guideSetup.front().Duration);
  // The independent noise: each star's own seeing and its centroid error at its SN (as the
  // observatory draws them), over the guide stars the log holds and the cycles in which all of
  // them were found (SN at least 3: a star lost for most of a run measures nothing there, and
  // its SN there is not the SN it was measured at).
  const guidelog::LogRun data = *guidelog::FirstRun(result.log);
  const double jitter = obs.sky.seeingJitter / std::sqrt(result.exposureS) / obs.camera.pixelScale;
  const double own2 = jitter * jitter * (1.0 - std::clamp(obs.sky.seeingCommonFraction, 0.0, 1.0));
  const double fwhmPx = obs.sky.seeingFwhm / obs.camera.pixelScale;
  double sum = 0.0;
  std::vector<const guidelog::LogRow*> found;
  for (const auto& row : data.rows) {
    if (std::all_of(row.stars.begin(), row.stars.end(), [](const auto& s) { return s.sn >= 3.0; }))
      found.push_back(&row);
  }
  for (int s = 0; s < data.stars; ++s) {
    double centroid2 = fwhmPx * fwhmPx / (2.355 * 2.355);  // at SN 1, where no cycle found all
    if (!found.empty()) {
      centroid2 = 0.0;
      for (const auto* row : found) {
        const double centroid = fwhmPx / (2.355 * row->stars[static_cast<std::size_t>(s)].sn);
        centroid2 += centroid * centroid / static_cast<double>(found.size());
      }
    }
    sum += own2 + centroid2;
  }
  result.ownNoisePx = data.stars > 0 ? std::sqrt(sum / data.stars) : 0.0;
  // The noise of the stars' mean over the cycles a fit of the mount's motion takes: the seeing
  // they share, and, cycle by cycle, the own noise of the stars found there over their number
  // squared (as clouds come and go, fewer and fainter stars make a noisier mean).
  const double common2 = jitter * jitter * std::clamp(obs.sky.seeingCommonFraction, 0.0, 1.0);
  double mean2 = 0.0;
  int taken = 0;
  for (const auto& row : data.rows) {
    if (CycleUseOf(row, data.stars, RunSettings{}) != CycleUse::Guided) continue;
    double own = 0.0;
    int n = 0;
    for (const auto& star : row.stars) {
      if (star.sn < 3.0) continue;
      const double centroid = fwhmPx / (2.355 * star.sn);
      own += own2 + centroid * centroid;
      ++n;
    }
    if (n == 0) continue;
    mean2 += common2 + own / (static_cast<double>(n) * n);
    ++taken;
  }
  result.meanNoisePx = taken > 0 ? std::sqrt(mean2 / taken)
                       : data.stars > 0
                           ? std::sqrt(common2 + result.ownNoisePx * result.ownNoisePx / data.stars)
                           : 0.0;
  // Drift: RA per minute of the axis (on the sky times cos dec), Dec per minute on the sky.
  const double cosDec = std::cos(obs.mount.declinationDeg * std::numbers::pi / 180.0);
  result.driftRaPxPerS = obs.mount.raDrift * cosDec / 60.0 / obs.camera.pixelScale;
  result.driftDecPxPerS = obs.mount.decDrift / 60.0 / obs.camera.pixelScale;
  const auto& cycles = result.outcome.cycles;
  if (cycles.size() > 1) {
    double overhead = 0.0;
    for (std::size_t i = 0; i + 1 < cycles.size() && i < data.rows.size(); ++i) {
      overhead += cycles[i + 1].start - cycles[i].start - result.exposureS -
                  std::abs(data.rows[i].xtim) - std::abs(data.rows[i].ytim);
    }
    result.meanOverheadS = overhead / static_cast<double>(cycles.size() - 1);
  }
  return result;
}

RunSettings TimedSettings(const SimulatedLog& s) {
  RunSettings settings;
  settings.exposure = s.exposureS;
  settings.download = s.settings.observatory.camera.downloadSeconds;
  return settings;
}

RunSettings HostCalibratedSettings(const SimulatedLog& s) {
  RunSettings settings = TimedSettings(s);
  const auto& observatory = s.settings.observatory;
  const auto calibration = sim::CalibrationFor(observatory.camera, observatory.mount, 14.0);
  settings.angleDeg = calibration.angleDeg;
  settings.xSpeed = calibration.xSpeed;
  settings.ySpeed = calibration.ySpeed;
  settings.reverseX = calibration.reverseX;
  settings.declinationDeg = observatory.mount.declinationDeg;
  return settings;
}

double TrueRmsWith(const SimulatedLog& s, const GuideChoice& choice) {
  sim::SimulationSettings tried = s.settings;
  tried.observatory.aggressiveness = choice.aggressiveness;
  auto& texts = tried.dialogs.guideSetup.front();
  texts.Duration = std::to_string(choice.exposure);
  texts.MinMove = std::to_string(choice.minMove);
  const double download = s.settings.observatory.camera.downloadSeconds;
  const double cycles = static_cast<double>(s.outcome.cycles.size()) * (s.exposureS + download) /
                        (choice.exposure + download);
  for (auto& event : tried.observatory.events) event.afterCycles = static_cast<int>(cycles);
  return sim::RunSimulation(tried).truth.totalRms;
}

double SecondHourRaRms(const SimulatedLog& s, bool predict, int seeds) {
  double sum = 0.0;
  for (int n = 0; n < seeds; ++n) {
    sim::SimulationSettings night = s.settings;
    night.observatory.seed = s.settings.observatory.seed + 500u * static_cast<unsigned>(n);
    std::erase_if(night.observatory.events, [](const sim::ScriptedEvent& e) {
      return e.kind == sim::ScriptedEvent::Kind::Stop;
    });
    sim::ScriptedEvent stop;
    stop.kind = sim::ScriptedEvent::Kind::Stop;
    stop.atSeconds = 7200.0;
    night.observatory.events.push_back(stop);
    night.observatory.windowFromSeconds = 3600.0;
    night.dialogs.predictPeriodicError = predict;
    sum += sim::RunSimulation(night).window.raRms;
  }
  return sum / seeds;
}

LogScenario RandomNight(int night, std::string* events) {
  std::string named;
  if (!events) events = &named;
  std::mt19937_64 rng(static_cast<std::uint64_t>(7000 + night));
  const auto uniform = [&rng](double a, double b) {
    return std::uniform_real_distribution<double>(a, b)(rng);
  };
  LogScenario scenario;
  scenario.seed = static_cast<std::uint64_t>(7000 + night);
  auto& o = scenario.observatory;
  o.sky.seeingJitter = uniform(0.2, 1.5);
  o.sky.seeingCommonFraction = uniform(0.2, 0.7);
  o.mount.periodicErrorPP = uniform(0.0, 1.0) < 0.25 ? 0.0 : uniform(1.0, 40.0);
  o.mount.wormPeriod = uniform(200.0, 700.0);
  o.mount.raDrift = uniform(-3.0, 3.0);
  o.mount.decDrift = uniform(-3.0, 3.0);
  scenario.stars = static_cast<int>(uniform(3.0, 10.99));
  o.sky.fieldStars = std::max(o.sky.fieldStars, scenario.stars);
  if (uniform(0.0, 1.0) < 0.4) {
    o.sky.brightestFlux /= 10;
    o.sky.faintestFlux /= 10;
  }
  scenario.exposure = uniform(1.0, 6.0);
  o.camera.downloadSeconds = uniform(0.1, 2.0);
  o.mount.declinationDeg = uniform(-60.0, 75.0);
  o.camera.rotationDeg = uniform(0.0, 360.0);
  o.camera.mirrored = uniform(0.0, 1.0) < 0.3;
  scenario.hostReversesX = uniform(0.0, 1.0) < 0.15;
  scenario.cycles = static_cast<int>(std::exp(uniform(std::log(300.0), std::log(20000.0))));
  const double span = scenario.cycles * (*scenario.exposure + o.camera.downloadSeconds + 0.3);
  if (uniform(0.0, 1.0) < 0.3) {
    const int clouds = static_cast<int>(uniform(1.0, 3.99));
    for (int c = 0; c < clouds; ++c) {
      sim::ScriptedEvent cloud;
      cloud.kind = sim::ScriptedEvent::Kind::Cloud;
      cloud.atSeconds = uniform(0.1, 0.9) * span;
      cloud.durationSeconds = uniform(20.0, 90.0);
      cloud.transmission = 0.001;
      for (int star = 0; star < scenario.stars; ++star) cloud.stars.push_back(star);
      o.events.push_back(cloud);
    }
    *events += std::to_string(clouds) + "c";
  }
  if (uniform(0.0, 1.0) < 0.2) {
    sim::ScriptedEvent lost;
    lost.kind = sim::ScriptedEvent::Kind::Cloud;
    lost.atSeconds = uniform(0.1, 0.8) * span;
    lost.durationSeconds = uniform(60.0, 300.0);
    lost.transmission = 0.001;
    lost.stars = {static_cast<int>(uniform(0.0, scenario.stars - 0.01))};
    o.events.push_back(lost);
    *events += "L";
  }
  if (scenario.hostReversesX) *events += "R";  // the host's reverse X wrong
  if (o.camera.mirrored) *events += "M";
  o.aggressiveness = uniform(0.0, 1.0) < 0.4
                         ? (uniform(0.0, 1.0) < 0.5 ? uniform(2.0, 4.0) : uniform(18.0, 24.0))
                         : uniform(8.0, 16.0);
  return scenario;
}

}  // namespace corvane::logtools
