#include "sim/Options.h"

#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

namespace corvane::sim {
namespace {

bool ToDouble(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end && *end == '\0';
}

bool ToInt(const std::string& text, int& value) {
  double d = 0;
  if (!ToDouble(text, d) || d != static_cast<int>(d)) return false;
  value = static_cast<int>(d);
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

// KIND@N (after N cycles) or KIND@tS (at S seconds of simulated time).
bool ParseEvent(const std::string& text, ScriptedEvent& event) {
  const auto at = text.find('@');
  if (at == std::string::npos) return false;
  const std::string kind = text.substr(0, at);
  std::string when = text.substr(at + 1);
  using Kind = ScriptedEvent::Kind;
  static const std::map<std::string, Kind> kinds = {{"stop", Kind::Stop},
                                                    {"aggr0", Kind::AggressivenessZero},
                                                    {"link", Kind::LinkDrop},
                                                    {"close", Kind::ImageClosed}};
  const auto found = kinds.find(kind);
  if (found == kinds.end()) return false;
  event.kind = found->second;
  if (!when.empty() && when[0] == 't') return ToDouble(when.substr(1), event.atSeconds);
  return ToInt(when, event.afterCycles);
}

// START,DURATION,TRANSMISSION,STARS with STARS 1-based brightness ranks joined by '+'; START is
// seconds (tS) or cycles completed before the cloud arrives (N).
bool ParseCloud(const std::string& text, ScriptedEvent& event) {
  const auto parts = Split(text, ',');
  if (parts.size() != 4) return false;
  event.kind = ScriptedEvent::Kind::Cloud;
  bool ok = parts[0].size() > 1 && parts[0][0] == 't'
                ? ToDouble(parts[0].substr(1), event.atSeconds)
                : ToInt(parts[0], event.afterCycles);
  ok = ok && ToDouble(parts[1], event.durationSeconds) && ToDouble(parts[2], event.transmission);
  for (const std::string& star : Split(parts[3], '+')) {
    int rank = 0;
    ok = ok && ToInt(star, rank) && rank >= 1;
    event.stars.push_back(rank - 1);
  }
  return ok;
}

// P:A[,P:A...]: periodic components, period in seconds : arcsec peak to peak.
bool ParsePeriodicComponents(const std::string& text, std::vector<PeriodicComponent>& components) {
  components.clear();
  if (text.empty() || text.back() == ',') return false;
  for (const std::string& part : Split(text, ',')) {
    const auto colon = part.find(':');
    PeriodicComponent c;
    if (colon == std::string::npos || !ToDouble(part.substr(0, colon), c.period) ||
        !ToDouble(part.substr(colon + 1), c.peakToPeak) || !(c.period > 0.0) ||
        !(c.peakToPeak >= 0.0)) {
      return false;
    }
    components.push_back(c);
  }
  return !components.empty();
}

}  // namespace

std::string OptionsHelp() {
  return R"(Options (defaults in brackets):
  --cycles N          stop with camera event 15 after N guide cycles [100]; 0: no stop event
  --out DIR           where Corvane.csv, truth.csv, report.txt, report.json and plot.svg go [out/sim]
  --seed N            the sky, the seeing and the user's clicks [1]
  --no-unguided       skip the unguided comparison run
 The settings typed into the dialogs:
  --first-exposure S  [2]          --stars N (guide stars, 1-10) [5]   --min-sn X [3]
  --min-stars N [4]   --exposure S (guide exposure) [2]   --min-move S [0.01]
  --max-move S [2]    --border N [15]
 The host's guider:
  --aggressiveness A [14]   --wrong-reverse (calibration with GuiderReverseX the wrong way)
  --wrong-dec DEG (the host reports this declination instead of the mount's)
  --output-enables MASK (GuiderOutputEnables: bit 1, 2, 4, 8 for directions 0 to 3) [15]
 Camera and sky:
  --width N [752] --height N [582] --scale ARCSEC_PER_PX [1.5] --rotation DEG [25] --mirror
  --read-noise E [8] --sky E_PER_S [30] --field-stars N [14] --brightest E_PER_S [30000]
  --faintest E_PER_S [400] --fwhm ARCSEC [2.5] --jitter ARCSEC (seeing, 1 s exposure) [0.35]
  --common F (share of the seeing common to all stars) [0.5]
 Mount:
  --dec DEG [30] --guide-rate ARCSEC_PER_S [7.5] --pe ARCSEC_PP [10] --worm S [480]
  --ra-drift ARCSEC_PER_MIN [0.5] --dec-drift ARCSEC_PER_MIN [1] --wander ARCSEC_PER_SQRT_S [0]
  --backlash ARCSEC [0] --swap-ra --swap-dec
  --pe-periods P:A[,P:A...]  periodic components besides the worm's (period s : arcsec p-p)
  --pe-wander F       each periodic component's amplitude and phase wander by F per period [0]
  --predict           tick "Predict periodic error" in the setup dialog
 Scripted events (repeatable):
  --event KIND@N | KIND@tS   KIND: stop, aggr0, link, close; after N cycles or at S seconds
  --cloud WHEN,DURATION,TRANSMISSION,STARS   e.g. 20,60,0.05,1+2: after 20 cycles, for 60 s,
                      5% of the light of the two brightest stars; WHEN tS for a time in seconds
)";
}

bool ParseOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
  auto& sim = options.simulation;
  auto& obs = sim.observatory;
  auto& texts = sim.dialogs.sample.front();
  bool wrongReverse = false;
  bool noUnguided = false;
  double wrongDec = 1e9;
  int outputEnables = 15;

  using Setter = std::function<bool(const std::string&)>;
  auto number = [](double& target) {
    return Setter([&target](const std::string& v) { return ToDouble(v, target); });
  };
  auto integer = [](int& target) {
    return Setter([&target](const std::string& v) { return ToInt(v, target); });
  };
  auto text = [](std::string& target) {
    return Setter([&target](const std::string& v) {
      target = v;
      return true;
    });
  };
  std::uint64_t seed = obs.seed;
  double seedValue = static_cast<double>(seed);
  std::map<std::string, Setter> valued = {
      {"--cycles", integer(options.cycles)},
      {"--out", text(options.outputDir)},
      {"--seed", number(seedValue)},
      {"--first-exposure", text(sim.dialogs.initial.front())},
      {"--stars", text(texts[0])},
      {"--min-sn", text(texts[1])},
      {"--min-stars", text(texts[2])},
      {"--exposure", text(texts[3])},
      {"--min-move", text(texts[4])},
      {"--max-move", text(texts[5])},
      {"--border", text(texts[6])},
      {"--aggressiveness", number(obs.aggressiveness)},
      {"--wrong-dec", number(wrongDec)},
      {"--output-enables", integer(outputEnables)},
      {"--width", integer(obs.camera.width)},
      {"--height", integer(obs.camera.height)},
      {"--scale", number(obs.camera.pixelScale)},
      {"--rotation", number(obs.camera.rotationDeg)},
      {"--read-noise", number(obs.camera.readNoise)},
      {"--sky", number(obs.camera.skyBackground)},
      {"--field-stars", integer(obs.sky.fieldStars)},
      {"--brightest", number(obs.sky.brightestFlux)},
      {"--faintest", number(obs.sky.faintestFlux)},
      {"--fwhm", number(obs.sky.seeingFwhm)},
      {"--jitter", number(obs.sky.seeingJitter)},
      {"--common", number(obs.sky.seeingCommonFraction)},
      {"--dec", number(obs.mount.declinationDeg)},
      {"--guide-rate", number(obs.mount.guideRate)},
      {"--pe", number(obs.mount.periodicErrorPP)},
      {"--worm", number(obs.mount.wormPeriod)},
      {"--ra-drift", number(obs.mount.raDrift)},
      {"--dec-drift", number(obs.mount.decDrift)},
      {"--wander", number(obs.mount.wander)},
      {"--backlash", number(obs.mount.decBacklash)},
      {"--pe-wander", number(obs.mount.periodicWander)},
      {"--pe-periods", Setter([&obs](const std::string& v) {
         return ParsePeriodicComponents(v, obs.mount.extraPeriodic);
       })},
  };
  const std::map<std::string, bool*> flags = {
      {"--no-unguided", &noUnguided},
      {"--measure", &options.measure},
      {"--help", &options.help},
      {"--mirror", &obs.camera.mirrored},
      {"--swap-ra", &obs.mount.raOutputsSwapped},
      {"--swap-dec", &obs.mount.decOutputsSwapped},
      {"--wrong-reverse", &wrongReverse},
      {"--predict", &sim.dialogs.predictPeriodicError},
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (auto flag = flags.find(arg); flag != flags.end()) {
      *flag->second = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = "unknown option or missing value: " + arg;
      return false;
    }
    const std::string& value = args[++i];
    if (arg == "--event" || arg == "--cloud") {
      ScriptedEvent event;
      if (!(arg == "--event" ? ParseEvent(value, event) : ParseCloud(value, event))) {
        error = "bad " + arg + " " + value;
        return false;
      }
      obs.events.push_back(event);
      continue;
    }
    auto setter = valued.find(arg);
    if (setter == valued.end()) {
      error = "unknown option: " + arg;
      return false;
    }
    if (!setter->second(value)) {
      error = "bad value for " + arg + ": " + value;
      return false;
    }
  }
  obs.seed = static_cast<std::uint64_t>(seedValue);
  options.unguided = !noUnguided;
  if (options.cycles > 0) {
    ScriptedEvent stop;
    stop.kind = ScriptedEvent::Kind::Stop;
    stop.afterCycles = options.cycles;
    obs.events.push_back(stop);
  }
  if (wrongReverse || wrongDec < 1e8 || outputEnables != 15) {
    GuiderCalibration c = CalibrationFor(obs.camera, obs.mount, obs.aggressiveness);
    if (wrongReverse) c.reverseX = !c.reverseX;
    if (wrongDec < 1e8) c.declinationDeg = wrongDec;
    c.outputEnables = outputEnables;
    obs.calibration = c;
  }
  return true;
}

}  // namespace corvane::sim
