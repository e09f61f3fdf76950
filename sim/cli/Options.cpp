#include "sim/cli/Options.h"

#include <charconv>
#include <functional>
#include <map>
#include <sstream>

namespace corvane::sim {
namespace {

template <typename Number>
bool ToNumber(const std::string& text, Number& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc() && stop == end;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

// N (cycles completed before) or tS (seconds of simulated time): when an event happens.
bool ParseWhen(const std::string& text, ScriptedEvent& event) {
  if (!text.empty() && text[0] == 't') {
    return ToNumber(text.substr(1), event.atSeconds) && event.atSeconds >= 0.0;
  }
  return ToNumber(text, event.afterCycles) && event.afterCycles >= 0;
}

// KIND@N (after N cycles) or KIND@tS (at S seconds of simulated time).
bool ParseEvent(const std::string& text, ScriptedEvent& event) {
  const auto at = text.find('@');
  if (at == std::string::npos) return false;
  using Kind = ScriptedEvent::Kind;
  static const std::map<std::string, Kind> kinds = {{"stop", Kind::Stop},
                                                    {"aggr0", Kind::AggressivenessZero},
                                                    {"link", Kind::LinkDrop},
                                                    {"close", Kind::ImageClosed}};
  const auto found = kinds.find(text.substr(0, at));
  if (found == kinds.end()) return false;
  event.kind = found->second;
  return ParseWhen(text.substr(at + 1), event);
}

// WHEN,DURATION,TRANSMISSION,STARS with STARS 1-based brightness ranks joined by '+'.
bool ParseCloud(const std::string& text, ScriptedEvent& event) {
  const auto parts = Split(text, ',');
  if (parts.size() != 4) return false;
  event.kind = ScriptedEvent::Kind::Cloud;
  bool ok = ParseWhen(parts[0], event) && ToNumber(parts[1], event.durationSeconds) &&
            event.durationSeconds >= 0.0 && ToNumber(parts[2], event.transmission) &&
            event.transmission >= 0.0 && event.transmission <= 1.0;
  for (const std::string& star : Split(parts[3], '+')) {
    int rank = 0;
    ok = ok && ToNumber(star, rank) && rank >= 1;
    event.stars.push_back(rank - 1);
  }
  return ok;
}

// A number for which `holds` is true, described as `what` in the help and the error (CLI11's own
// range checks print the limits of a double).
CLI::Validator Number(std::function<bool(double)> holds, const std::string& what) {
  return CLI::Validator(
      [holds, what](std::string& text) {
        double value = 0.0;
        if (!CLI::detail::lexical_cast(text, value) || !holds(value)) {
          return text + " is not " + what;
        }
        return std::string();
      },
      what);
}

CLI::Validator Between(double low, double high) {
  std::ostringstream what;
  what << "in [" << low << ", " << high << "]";
  return Number([low, high](double v) { return v >= low && v <= high; }, what.str());
}

// A repeatable option whose every value is read by `parse` into one more scripted event.
CLI::Option* AddEvents(CLI::App& app, const std::string& name, std::vector<ScriptedEvent>& events,
                       bool (*parse)(const std::string&, ScriptedEvent&),
                       const std::string& description) {
  return app
      .add_option_function<std::vector<std::string>>(
          name,
          [&events, parse, name](const std::vector<std::string>& texts) {
            for (const std::string& text : texts) {
              ScriptedEvent event;
              if (!parse(text, event)) throw CLI::ValidationError(name, "cannot read " + text);
              events.push_back(event);
            }
          },
          description)
      ->type_name("SPEC")
      ->take_all();
}

}  // namespace

SimulatorOptions::SimulatorOptions(CLI::App& app, CliOptions& options) : options_(options) {
  SimulationSettings& sim = options.simulation;
  ObservatorySettings& obs = sim.observatory;
  GuideSetupDialog::Texts& setup = sim.dialogs.guideSetup.front();
  const CLI::Validator nonNegative = Number([](double v) { return v >= 0.0; }, ">= 0");
  const CLI::Validator positive = Number([](double v) { return v > 0.0; }, "> 0");

  app.option_defaults()->always_capture_default();
  app.add_option("--cycles", options.cycles,
                 "stop with camera event 15 after N guide cycles; 0: no stop event")
      ->check(nonNegative);
  app.add_option("--out", options.outputDir,
                 "where Corvane.csv, truth.csv, report.txt, report.json and the plot go");
  app.add_option("--seed", obs.seed, "the sky, the seeing and the user's clicks")
      ->check(nonNegative);
  app.add_flag("--no-unguided", noUnguided_, "skip the unguided comparison run");

  const std::string dialogs = "The texts typed into the dialogs";
  app.add_option("--first-exposure", sim.dialogs.initialExposure.front(),
                 "\"Initial Exposure\": seconds")
      ->group(dialogs);
  app.add_option("--stars", setup.NumberStars, "guide stars (1-10)")->group(dialogs);
  app.add_option("--min-sn", setup.MinSN, "minimum SN ratio")->group(dialogs);
  app.add_option("--min-stars", setup.MinStars, "minimum stars to average")->group(dialogs);
  app.add_option("--exposure", setup.Duration, "guide exposure, seconds")->group(dialogs);
  app.add_option("--min-move", setup.MinMove, "minimum move, seconds")->group(dialogs);
  app.add_option("--max-move", setup.MaxMove, "maximum move, seconds")->group(dialogs);
  app.add_option("--border", setup.Border, "subframe border, pixels")->group(dialogs);

  const std::string guider = "The host's guider";
  app.add_option("--aggressiveness", obs.aggressiveness, "GuiderAggressiveness")
      ->check(nonNegative)
      ->group(guider);
  app.add_flag("--wrong-reverse", wrongReverse_, "a calibration with GuiderReverseX the wrong way")
      ->group(guider);
  wrongDec_ = app.add_option("--wrong-dec", wrongDecDeg_,
                             "the host reports this declination (degrees) instead of the mount's")
                  ->check(Between(-90.0, 90.0))
                  ->default_str("")
                  ->group(guider);
  app.add_option("--output-enables", outputEnables_,
                 "GuiderOutputEnables: bits 1, 2, 4, 8 for directions 0 to 3")
      ->check(Between(0, 15))
      ->group(guider);

  const std::string camera = "Camera and sky";
  app.add_option("--width", obs.camera.width, "GuiderXSize, pixels")
      ->check(Between(1, 32767))
      ->group(camera);
  app.add_option("--height", obs.camera.height, "GuiderYSize, pixels")
      ->check(Between(1, 32767))
      ->group(camera);
  app.add_option("--scale", obs.camera.pixelScale, "arcsec per pixel")
      ->check(positive)
      ->group(camera);
  app.add_option("--rotation", obs.camera.rotationDeg, "degrees of the sensor against RA")
      ->group(camera);
  app.add_flag("--mirror", obs.camera.mirrored, "optics that mirror the image")->group(camera);
  app.add_option("--read-noise", obs.camera.readNoise, "electrons RMS")
      ->check(nonNegative)
      ->group(camera);
  app.add_option("--sky", obs.camera.skyBackground, "electrons per second per pixel")
      ->check(nonNegative)
      ->group(camera);
  app.add_option("--field-stars", obs.sky.fieldStars, "stars on the sensor")
      ->check(Between(0, 10000))
      ->group(camera);
  app.add_option("--brightest", obs.sky.brightestFlux, "electrons per second")
      ->check(nonNegative)
      ->group(camera);
  app.add_option("--faintest", obs.sky.faintestFlux, "electrons per second")
      ->check(nonNegative)
      ->group(camera);
  app.add_option("--fwhm", obs.sky.seeingFwhm, "arcsec")->check(positive)->group(camera);
  app.add_option("--jitter", obs.sky.seeingJitter, "seeing, arcsec RMS in a 1 s exposure")
      ->check(nonNegative)
      ->group(camera);
  app.add_option("--common", obs.sky.seeingCommonFraction,
                 "share of the seeing common to all stars")
      ->check(Between(0.0, 1.0))
      ->group(camera);

  const std::string mount = "Mount";
  app.add_option("--dec", obs.mount.declinationDeg, "declination, degrees")
      ->check(Between(-90.0, 90.0))
      ->group(mount);
  app.add_option("--guide-rate", obs.mount.guideRate, "arcsec per second")
      ->check(nonNegative)
      ->group(mount);
  app.add_option("--pe", obs.mount.periodicErrorPP, "periodic error, arcsec peak to peak")
      ->check(nonNegative)
      ->group(mount);
  app.add_option("--worm", obs.mount.wormPeriod, "worm period, seconds")
      ->check(positive)
      ->group(mount);
  app.add_option("--ra-drift", obs.mount.raDrift, "arcsec per minute")->group(mount);
  app.add_option("--dec-drift", obs.mount.decDrift, "arcsec per minute")->group(mount);
  app.add_option("--wander", obs.mount.wander, "random walk, arcsec per sqrt(second)")
      ->check(nonNegative)
      ->group(mount);
  app.add_option("--backlash", obs.mount.decBacklash, "Dec backlash, arcsec")
      ->check(nonNegative)
      ->group(mount);
  app.add_flag("--swap-ra", obs.mount.raOutputsSwapped, "RA outputs wired the other way")
      ->group(mount);
  app.add_flag("--swap-dec", obs.mount.decOutputsSwapped, "Dec outputs wired the other way")
      ->group(mount);

  const std::string events = "Scripted events (repeatable)";
  AddEvents(app, "--event", events_, ParseEvent,
            "KIND@N or KIND@tS; KIND: stop, aggr0, link, close; after N cycles or at S seconds")
      ->group(events);
  AddEvents(app, "--cloud", events_, ParseCloud,
            "WHEN,DURATION,TRANSMISSION,STARS, e.g. 20,60,0.05,1+2: after 20 cycles (tS: at S "
            "seconds), for 60 s, 5% of the light of the two brightest stars")
      ->group(events);
}

void SimulatorOptions::Finish() {
  ObservatorySettings& obs = options_.simulation.observatory;
  obs.events.insert(obs.events.end(), events_.begin(), events_.end());
  options_.unguided = !noUnguided_;
  if (options_.cycles > 0) {
    ScriptedEvent stop;
    stop.kind = ScriptedEvent::Kind::Stop;
    stop.afterCycles = options_.cycles;
    obs.events.push_back(stop);
  }
  const bool wrongDec = wrongDec_->count() > 0;
  if (wrongReverse_ || wrongDec || outputEnables_ != 15) {
    GuiderCalibration c = CalibrationFor(obs.camera, obs.mount, obs.aggressiveness);
    if (wrongReverse_) c.reverseX = !c.reverseX;
    if (wrongDec) c.declinationDeg = wrongDecDeg_;
    c.outputEnables = outputEnables_;
    obs.calibration = c;
  }
}

int ExitStatus(const CLI::App& app, const CLI::ParseError& error) {
  const int status = app.exit(error);
  return status == 0 ? 0 : 2;
}

bool ParseOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
  CLI::App app;
  SimulatorOptions simulator(app, options);
  try {
    app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
  } catch (const CLI::ParseError& e) {
    error = e.what();
    return false;
  }
  simulator.Finish();
  return true;
}

}  // namespace corvane::sim
