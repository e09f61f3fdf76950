// corvane-log: what a night's Corvane guide log says, and what to change.
//   corvane-log stats|plot|export|advise LOG [options]     (corvane-log --help)
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define CORVANE_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define CORVANE_ISATTY(fd) isatty(fd)
#endif

#include "guidelog/LogFile.h"
#include "logtools/Advise.h"
#include "logtools/Analysis.h"
#include "logtools/Export.h"
#include "logtools/Plot.h"
#include "sim/run/Simulation.h"

using namespace corvane::logtools;
namespace guidelog = corvane::guidelog;

namespace {

constexpr const char* kVersion = "1.6.0";
// Below this the fitted model (seeing, drift, periodic error, speeds) says too little.
constexpr std::size_t kAdviseCycles = 50;

const char* const kUsage = R"(usage: corvane-log COMMAND LOG [options]
Commands:
  stats LOG     cycles, stars, RMS and peak to peak of the mean offset (and in the mount's axes),
                per star SN, pulses, the last line; the stars' split into independent noise and
                common motion; the calibration as the pulses acted, and the mount's own motion
  plot LOG      LOG's pictures as PNG and SVG (-o BASE: BASE.png and BASE.svg; --truth truth.csv
                adds the simulator's true error; --title TEXT)
  export LOG --format phd2 [-o FILE] [--start "YYYY-MM-DD HH:MM:SS"]
                the runs as a PHD2 guide log for the common guide-log viewers
  advise LOG    fits the simulated observatory to the run and recommends aggressiveness, minimum
                move and guide exposure, with the predicted RMS for the current and the new ones
Options of every command:
  --run N       only the N-th run of a file holding several (default: each run)
  --json        JSON for scripts instead of text
The run's settings the log does not hold (missing ones are estimated or named where needed):
  --exposure S --download S --aggressiveness A --min-move S --max-move S --min-sn X
  --min-stars N --x-speed PX_PER_S --y-speed PX_PER_S --angle DEG --reverse-x | --no-reverse-x
  --dec DEG --scale ARCSEC_PER_PX
)";

struct Options {
  std::string command, log, output, truth, title = "Corvane guide log", format, start;
  int run = 0;
  bool json = false;
  RunSettings settings;
};

bool ParseNumber(const std::string& text, double& value) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  in >> value;
  return !in.fail() && in.eof();
}

bool Parse(int argc, char** argv, Options& o, std::string& error) {
  if (argc < 3) {
    error = "a command and a log are needed";
    return false;
  }
  o.command = argv[1];
  o.log = argv[2];
  RunSettings& s = o.settings;
  std::map<std::string, std::function<bool(const std::string&)>> valued;
  auto number = [&](std::function<void(double)> set) {
    return [set](const std::string& v) {
      double d = 0.0;
      if (!ParseNumber(v, d)) return false;
      set(d);
      return true;
    };
  };
  valued["--exposure"] = number([&](double v) { s.exposure = v; });
  valued["--download"] = number([&](double v) { s.download = v; });
  valued["--aggressiveness"] = number([&](double v) { s.aggressiveness = v; });
  valued["--min-move"] = number([&](double v) { s.minMove = v; });
  valued["--max-move"] = number([&](double v) { s.maxMove = v; });
  valued["--min-sn"] = number([&](double v) { s.minSN = v; });
  valued["--min-stars"] = number([&](double v) { s.minStars = static_cast<int>(v); });
  valued["--x-speed"] = number([&](double v) { s.xSpeed = v; });
  valued["--y-speed"] = number([&](double v) { s.ySpeed = v; });
  valued["--angle"] = number([&](double v) { s.angleDeg = v; });
  valued["--dec"] = number([&](double v) { s.declinationDeg = v; });
  valued["--scale"] = number([&](double v) { s.scale = v; });
  valued["--run"] = number([&](double v) { o.run = static_cast<int>(v); });
  auto text = [](std::string& target) {
    return [&target](const std::string& v) {
      target = v;
      return true;
    };
  };
  valued["-o"] = text(o.output);
  valued["--truth"] = text(o.truth);
  valued["--title"] = text(o.title);
  valued["--format"] = text(o.format);
  valued["--start"] = text(o.start);
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      o.json = true;
    } else if (arg == "--reverse-x") {
      s.reverseX = true;
    } else if (arg == "--no-reverse-x") {
      s.reverseX = false;
    } else if (auto found = valued.find(arg); found != valued.end()) {
      if (i + 1 >= argc || !found->second(argv[i + 1])) {
        error = "bad or missing value for " + arg;
        return false;
      }
      ++i;
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

std::string F(double v, int digits = 3) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", digits, v);
  return buffer;
}

std::string Q(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string AxisJson(const AxisFigures& a) {
  return "{\"rms\": " + F(a.rms, 4) + ", \"peak_to_peak\": " + F(a.peakToPeak, 4) + "}";
}

std::string NotesJson(const std::vector<std::string>& notes) {
  std::string out = "[";
  for (std::size_t i = 0; i < notes.size(); ++i) out += (i ? ", " : "") + Q(notes[i]);
  return out + "]";
}

// Pixels, with arcseconds beside them when the scale is known.
std::string Px(double px, const RunSettings& s, int digits = 3) {
  std::string out = F(px, digits) + " px";
  if (s.scale) out += " (" + F(px * *s.scale, 2) + "\")";
  return out;
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
  } else {
    o << "  Stars: the split needs two stars or more in at least 10 cycles\n";
  }
  if (f.fit.available) {
    const MotionFit& m = f.fit;
    const std::string unit = m.timeInSeconds ? "s" : "cycle";
    o << "  Calibration as the pulses acted: angle " << F(m.angleDeg, 1) << " +- "
      << F(m.angleErrorDeg, 1) << " deg, X speed " << F(m.xSpeed, 2) << " +- "
      << F(m.xSpeedError, 2) << " px/s";
    if (s.declinationDeg) {
      o << " (" << F(m.xSpeed / std::cos(*s.declinationDeg * 3.14159265358979 / 180.0), 2)
        << " at the equator)";
    }
    o << ", Y speed " << F(m.ySpeed, 2) << " +- " << F(m.ySpeedError, 2) << " px/s, reverse X "
      << (m.reverseX ? "yes" : "no") << "\n  Mount's own motion: drift RA "
      << F(m.driftRa * (m.timeInSeconds ? 60 : 1), 3) << " px/"
      << (m.timeInSeconds ? "min" : "cycle") << ", Dec "
      << F(m.driftDec * (m.timeInSeconds ? 60 : 1), 3) << " px/"
      << (m.timeInSeconds ? "min" : "cycle");
    if (m.periodicPeriod > 0) {
      o << "; periodic error " << Px(m.periodicPeakToPeakRa, s) << " peak to peak in RA, period "
        << F(m.periodicPeriod, 0) << " " << unit;
    }
    o << "; measurement noise of the mean " << Px(m.whiteNoise, s) << "\n";
  }
  if (!f.fit.available) {
    o << "  Calibration and the mount's own motion: need at least 20 cycles\n";
  }
  for (const std::string& note : f.notes) o << "  Note: " << note << "\n";
  return o.str();
}

std::string StatsJson(const guidelog::LogRun& run, int index, const RunFigures& f) {
  std::ostringstream o;
  o << "{\"run\": " << index << ", \"header_line\": " << run.headerLine
    << ", \"cycles\": " << f.cycles << ", \"stars\": " << f.stars
    << ", \"seconds\": " << F(f.seconds, 1) << ", \"x\": " << AxisJson(f.x)
    << ", \"y\": " << AxisJson(f.y);
  if (f.ra) o << ", \"ra\": " << AxisJson(*f.ra) << ", \"dec\": " << AxisJson(*f.dec);
  o << ", \"star\": [";
  for (std::size_t i = 0; i < f.starFigures.size(); ++i) {
    const StarFigures& st = f.starFigures[i];
    o << (i ? ", " : "") << "{\"mean_sn\": " << F(st.meanSN, 2)
      << ", \"lowest_sn\": " << F(st.lowestSN, 2)
      << ", \"cycles_below_min_sn\": " << st.cyclesBelowMinSN
      << ", \"noise_x\": " << F(st.noiseX, 4) << ", \"noise_y\": " << F(st.noiseY, 4) << "}";
  }
  o << "], \"cycles_too_few_stars\": "
    << (f.cyclesTooFewStars < 0 ? "null" : std::to_string(f.cyclesTooFewStars))
    << ", \"pulses\": {\"x\": " << f.xPulses << ", \"x_mean\": " << F(f.xMeanPulse, 4)
    << ", \"y\": " << f.yPulses << ", \"y_mean\": " << F(f.yMeanPulse, 4) << "}"
    << ", \"last_line\": " << f.lastLine << ", \"cut_short\": " << (f.cutShort ? "true" : "false");
  const StarSplit& sp = f.split;
  o << ", \"split\": {\"available\": " << (sp.available ? "true" : "false")
    << ", \"one_star\": " << F(sp.oneStar, 4) << ", \"mean_of_n\": " << F(sp.meanOfN, 4)
    << ", \"common\": " << F(sp.common, 4) << ", \"noisiest\": " << sp.noisiest
    << ", \"worth_stars\": " << sp.worthStars << "}";
  const MotionFit& m = f.fit;
  o << ", \"calibration\": {\"available\": " << (m.available ? "true" : "false")
    << ", \"angle\": " << F(m.angleDeg, 2) << ", \"x_speed\": " << F(m.xSpeed, 3)
    << ", \"y_speed\": " << F(m.ySpeed, 3) << ", \"angle_error\": " << F(m.angleErrorDeg, 2)
    << ", \"x_speed_error\": " << F(m.xSpeedError, 3)
    << ", \"y_speed_error\": " << F(m.ySpeedError, 3) << ", \"cycles_needed\": " << m.cyclesNeeded
    << ", \"reverse_x\": " << (m.reverseX ? "true" : "false")
    << ", \"x_wrong_way\": " << (m.xCorrectsWrongWay ? "true" : "false")
    << ", \"y_wrong_way\": " << (m.yCorrectsWrongWay ? "true" : "false") << "}"
    << ", \"motion\": {\"time_unit\": " << Q(m.timeInSeconds ? "s" : "cycle")
    << ", \"drift_ra\": " << F(m.driftRa, 5) << ", \"drift_dec\": " << F(m.driftDec, 5)
    << ", \"periodic_period\": " << F(m.periodicPeriod, 1)
    << ", \"periodic_pp_ra\": " << F(m.periodicPeakToPeakRa, 4)
    << ", \"noise\": " << F(m.whiteNoise, 4) << "}, \"notes\": " << NotesJson(f.notes) << "}";
  return o.str();
}

std::string ChoiceText(const GuideChoice& c) {
  return "aggressiveness " + F(c.aggressiveness, 0) + ", minimum move " + F(c.minMove, 2) +
         " s, guide exposure " + F(c.exposure, 1) + " s";
}

std::string ChoiceJson(const GuideChoice& c, double rms) {
  return "{\"aggressiveness\": " + F(c.aggressiveness, 1) + ", \"min_move\": " + F(c.minMove, 3) +
         ", \"exposure\": " + F(c.exposure, 2) + ", \"predicted_rms\": " + F(rms, 4) + "}";
}

int Execute(const Options& o) {
  const guidelog::LogFile file = guidelog::ReadLogFile(o.log);
  if (o.run < 0 || o.run > static_cast<int>(file.runs.size())) {
    std::cerr << "corvane-log: " << o.log << " holds " << file.runs.size() << " run(s); --run "
              << o.run << " is not one of them\n";
    return 2;
  }
  std::vector<int> chosen;
  for (int i = 1; i <= static_cast<int>(file.runs.size()); ++i) {
    if (o.run == 0 || o.run == i) chosen.push_back(i);
  }
  const bool several = chosen.size() > 1;
  const RunSettings& s = o.settings;

  if (o.command == "export") {
    if (o.format != "phd2") {
      std::cerr << "corvane-log: export needs --format phd2\n";
      return 2;
    }
    std::vector<const guidelog::LogRun*> runs;
    for (int i : chosen) runs.push_back(&file.runs[static_cast<std::size_t>(i - 1)]);
    const RunFigures f = Analyse(*runs.front(), s);
    Phd2Settings p;
    std::vector<std::string> notes;
    p.exposure = s.exposure.value_or(2.0);
    if (!s.exposure) notes.push_back("no --exposure: 2 s per frame assumed for the times");
    p.download = s.download;
    p.angleDeg = s.angleDeg.value_or(f.fit.angleDeg);
    p.reverseX = s.reverseX.value_or(f.fit.reverseX);
    const double cosDec = std::cos(s.declinationDeg.value_or(0.0) * 3.14159265358979 / 180.0);
    p.xSpeed = s.xSpeed ? *s.xSpeed * cosDec : (f.fit.available ? f.fit.xSpeed : 1.0);
    p.ySpeed = s.ySpeed.value_or(f.fit.available ? f.fit.ySpeed : 1.0);
    if (!s.angleDeg || !s.xSpeed || !s.ySpeed) {
      notes.push_back(
          "calibration not given in full (--angle, --x-speed, --y-speed): the "
          "estimate from the pulses is used");
    }
    p.scale = s.scale.value_or(1.0);
    if (!s.scale) notes.push_back("no --scale: 1 arcsec per pixel written");
    p.minMove = std::abs(s.minMove.value_or(0.0));
    p.maxMove = std::abs(s.maxMove.value_or(0.0));
    if (!o.start.empty()) p.start = o.start;
    p.version = std::string("corvane-log ") + kVersion;
    std::string out = o.output;
    if (out.empty()) out = o.log.substr(0, o.log.rfind('.')) + ".phd2.txt";
    std::ofstream file_out(out, std::ios::binary);
    file_out << ExportPhd2(runs, p);
    if (!file_out) {
      std::cerr << "corvane-log: cannot write " << out << "\n";
      return 1;
    }
    if (o.json) {
      std::cout << "{\"output\": " << Q(out) << ", \"runs\": " << runs.size()
                << ", \"notes\": " << NotesJson(notes) << "}\n";
    } else {
      std::cout << out << " (" << runs.size() << " run(s) as a PHD2 guide log)\n";
      for (const auto& n : notes) std::cout << "Note: " << n << "\n";
    }
    return 0;
  }

  std::vector<std::string> json;
  for (int i : chosen) {
    const auto& run = file.runs[static_cast<std::size_t>(i - 1)];
    if (o.command == "stats") {
      const RunFigures f = Analyse(run, s);
      if (o.json) {
        json.push_back(StatsJson(run, i, f));
      } else {
        std::cout << StatsText(run, i, f, s);
      }
    } else if (o.command == "plot") {
      std::vector<corvane::sim::CycleTruth> truth;
      if (!o.truth.empty()) {
        std::ifstream in(o.truth, std::ios::binary);
        if (!in) {
          std::cerr << "corvane-log: cannot read " << o.truth << "\n";
          return 1;
        }
        std::stringstream text;
        text << in.rdbuf();
        truth = corvane::sim::ParseTruthCsv(text.str());
      }
      std::string base = o.output.empty() ? o.log.substr(0, o.log.rfind('.')) : o.output;
      if (several) base += "-run" + std::to_string(i);
      const PlotPictures pictures = DrawRun(run, truth.empty() ? nullptr : &truth, o.title);
      std::ofstream svg(base + ".svg", std::ios::binary), png(base + ".png", std::ios::binary);
      svg << pictures.svg;
      png.write(reinterpret_cast<const char*>(pictures.png.data()),
                static_cast<std::streamsize>(pictures.png.size()));
      if (!svg || !png) {
        std::cerr << "corvane-log: cannot write " << base << ".png / .svg\n";
        return 1;
      }
      if (o.json) {
        json.push_back("{\"run\": " + std::to_string(i) + ", \"png\": " + Q(base + ".png") +
                       ", \"svg\": " + Q(base + ".svg") + "}");
      } else {
        std::cout << base << ".png\n" << base << ".svg\n";
      }
    } else if (o.command == "advise" && run.rows.size() < kAdviseCycles) {
      const std::string why = "too short for advise: " + std::to_string(run.rows.size()) +
                              " cycles, at least " + std::to_string(kAdviseCycles) + " needed";
      if (o.json) {
        json.push_back("{\"run\": " + std::to_string(i) + ", \"error\": " + Q(why) + "}");
      } else {
        std::cout << "Run " << i << ": " << why << "\n";
      }
    } else if (o.command == "advise") {
      const bool tty = !o.json && CORVANE_ISATTY(1);
      auto progress = [&](int done, int total) {
        if (!tty) return;
        std::printf("\radvise: %d of %d simulations", done, total);
        std::fflush(stdout);
      };
      const Advice a = Advise(run, s, {}, progress);
      if (tty) std::printf("\r%60s\r", "");
      const std::string unit = s.scale ? "\"" : " px";
      if (o.json) {
        json.push_back("{\"run\": " + std::to_string(i) +
                       ", \"current\": " + ChoiceJson(a.current, a.currentRms) +
                       ", \"recommended\": " + ChoiceJson(a.recommended, a.recommendedRms) +
                       ", \"unit\": " + Q(s.scale ? "arcsec" : "px") +
                       ", \"simulations\": " + std::to_string(a.simulations) +
                       ", \"notes\": " + NotesJson(a.model.notes) + "}");
      } else {
        std::cout << "Run " << i << ": " << a.simulations << " simulated runs of the fitted model\n"
                  << "  Current:     " << ChoiceText(a.current) << ": predicted RMS "
                  << F(a.currentRms, 3) << unit << "\n"
                  << "  Recommended: " << ChoiceText(a.recommended) << ": predicted RMS "
                  << F(a.recommendedRms, 3) << unit << "\n";
        for (const auto& n : a.model.notes) std::cout << "  Note: " << n << "\n";
      }
    } else {
      std::cerr << "corvane-log: unknown command " << o.command << "\n" << kUsage;
      return 2;
    }
  }
  if (o.json) {
    std::cout << "{\"command\": " << Q(o.command) << ", \"log\": " << Q(o.log) << ", \"runs\": [";
    for (std::size_t k = 0; k < json.size(); ++k) std::cout << (k ? ", " : "") << json[k];
    std::cout << "]}\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  Options options;
  std::string error;
  if (!Parse(argc, argv, options, error)) {
    std::cerr << "corvane-log: " << error << "\n" << kUsage;
    return 2;
  }
  try {
    return Execute(options);
  } catch (const guidelog::LogError& e) {
    std::cerr << "corvane-log: " << options.log << ": " << e.what() << "\n";
    return 1;
  }
}
