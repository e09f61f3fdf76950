#include "logtools/SimLog.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "sim/Observatory.h"
#include "sim/Options.h"

namespace corvane::logtools {

SimulatedLog SimulateLog(const std::vector<std::string>& options) {
  sim::CliOptions cli;
  std::string error;
  if (!sim::ParseOptions(options, cli, error)) throw std::invalid_argument(error);
  SimulatedLog result;
  result.settings = cli.simulation;
  result.outcome = sim::RunSimulation(result.settings);
  result.log = result.outcome.log;

  const auto& obs = result.settings.observatory;
  result.exposureS = std::stod(result.settings.dialogs.sample.front()[3]);
  // The independent noise: each star's own seeing and its centroid error at its SN (as the
  // observatory draws them), over the guide stars the log holds.
  const sim::GuideLogData data = *sim::ParseGuideLog(result.log);
  const double jitter = obs.sky.seeingJitter / std::sqrt(result.exposureS) / obs.camera.pixelScale;
  const double own2 = jitter * jitter * (1.0 - std::clamp(obs.sky.seeingCommonFraction, 0.0, 1.0));
  const double fwhmPx = obs.sky.seeingFwhm / obs.camera.pixelScale;
  double sum = 0.0;
  for (int s = 0; s < data.stars; ++s) {
    double sn = 0.0;
    for (const auto& row : data.rows) sn += row.stars[static_cast<std::size_t>(s)].sn;
    sn /= static_cast<double>(std::max<std::size_t>(1, data.rows.size()));
    const double centroid = fwhmPx / (2.355 * std::max(sn, 1.0));
    sum += own2 + centroid * centroid;
  }
  result.ownNoisePx = data.stars > 0 ? std::sqrt(sum / data.stars) : 0.0;
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
  auto& texts = tried.dialogs.sample.front();
  texts[3] = std::to_string(choice.exposure);
  texts[4] = std::to_string(choice.minMove);
  const double download = s.settings.observatory.camera.downloadSeconds;
  const double cycles = static_cast<double>(s.outcome.cycles.size()) * (s.exposureS + download) /
                        (choice.exposure + download);
  for (auto& event : tried.observatory.events) event.afterCycles = static_cast<int>(cycles);
  return sim::RunSimulation(tried).truth.totalRms;
}

}  // namespace corvane::logtools
