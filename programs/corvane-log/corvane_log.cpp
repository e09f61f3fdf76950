// corvane-log: what a night's Corvane guide log says, and what to change.
//   corvane-log stats|advise|plot|export LOG [options]     (corvane-log COMMAND --help)
#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
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
#include "logtools/Output.h"
#include "logtools/Plot.h"
#include "sim/run/Simulation.h"

using namespace corvane::logtools;
namespace guidelog = corvane::guidelog;

namespace {

constexpr const char* kVersion = CORVANE_VERSION;
// Below this the fitted model (seeing, drift, periodic error, speeds) says too little.
constexpr std::size_t kAdviseCycles = 50;

struct Options {
  std::string command, log, output, truth, title = "Corvane guide log", format, start;
  std::optional<int> run;  // none: every run
  bool json = false;
  RunSettings settings;
};

// A number as typed in the C locale: all of the text, finite.
std::optional<double> ReadNumber(const std::string& text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string Shown(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

// A number between low and high; an open end excludes its bound.
CLI::Validator Within(double low, double high, bool lowOpen = false, bool highOpen = false) {
  const std::string range =
      std::string(lowOpen ? "(" : "[") + Shown(low) + ", " + Shown(high) + (highOpen ? ")" : "]");
  return CLI::Validator(
      [=](const std::string& text) -> std::string {
        const std::optional<double> v = ReadNumber(text);
        if (!v) return "\"" + text + "\" is not a number";
        const bool above = lowOpen ? *v > low : *v >= low;
        const bool below = highOpen ? *v < high : *v <= high;
        if (above && below) return {};
        std::string want = std::string(lowOpen ? "more than " : "at least ") + Shown(low) +
                           " and " + (highOpen ? "less than " : "at most ") + Shown(high);
        return text + " is out of range: it must be " + want;
      },
      range);
}

// A whole number between low and high.
CLI::Validator Whole(int low, int high) {
  return CLI::Validator(
      [=](const std::string& text) -> std::string {
        int value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (error == std::errc() && stop == end && value >= low && value <= high) return {};
        return "\"" + text + "\" is not a whole number from " + std::to_string(low) + " to " +
               std::to_string(high);
      },
      "[" + std::to_string(low) + ".." + std::to_string(high) + "]");
}

// What every command takes: the log, the run, JSON, and the run's settings the log does not hold.
CLI::App* AddCommand(CLI::App& app, const std::string& name, const std::string& what, Options& o) {
  CLI::App* c = app.add_subcommand(name, what);
  c->add_option("LOG", o.log, "the guide log (Corvane.csv)")->required();
  c->add_option("--run", o.run, "only the N-th run of a file holding several (default: each run)")
      ->type_name("N")
      ->check(Whole(1, 1000000));
  c->add_flag("--json", o.json, "JSON for scripts instead of text");
  RunSettings& s = o.settings;
  const std::string group =
      "The run's settings the log does not hold (missing ones are "
      "estimated or named where needed)";
  auto number = [&](const char* flag, std::optional<double>& target, const char* unit,
                    const char* help, const CLI::Validator& range) {
    c->add_option(flag, target, help)->type_name(unit)->check(range)->group(group);
  };
  number("--exposure", s.exposure, "S", "the guide exposure, seconds", Within(0, 3600, true));
  c->add_option("--download", s.download,
                "seconds each frame takes besides the exposure (download, the host's overhead)")
      ->type_name("S")
      ->check(Within(0, 600))
      ->group(group);
  number("--aggressiveness", s.aggressiveness, "A", "the host's guider aggressiveness",
         Within(0, 20, true));
  number("--min-move", s.minMove, "S", "the setup's minimum move, seconds (taken by magnitude)",
         Within(-60, 60));
  number("--max-move", s.maxMove, "S", "the setup's maximum move, seconds (taken by magnitude)",
         Within(-60, 60));
  number("--min-sn", s.minSN, "X", "the setup's minimum SN ratio", Within(0, 10000));
  c->add_option("--min-stars", s.minStars, "the setup's minimum stars to average")
      ->type_name("N")
      ->check(Whole(1, 10))
      ->group(group);
  number("--x-speed", s.xSpeed, "PX_PER_S", "the host's X guide speed (GuiderXSpeed)",
         Within(0, 10000, true));
  number("--y-speed", s.ySpeed, "PX_PER_S", "the host's Y guide speed (GuiderYSpeed)",
         Within(0, 10000, true));
  number("--angle", s.angleDeg, "DEG", "the host's guider angle (GuiderAngle)", Within(-360, 360));
  CLI::Option* reverse =
      c->add_flag_callback(
           "--reverse-x", [&s] { s.reverseX = true; }, "the host's GuiderReverseX is on")
          ->group(group);
  CLI::Option* straight =
      c->add_flag_callback(
           "--no-reverse-x", [&s] { s.reverseX = false; }, "the host's GuiderReverseX is off")
          ->group(group);
  reverse->excludes(straight);
  number("--dec", s.declinationDeg, "DEG", "the declination guided at (GuiderDeclination)",
         Within(-90, 90, true, true));
  number("--scale", s.scale, "ARCSEC_PER_PX", "the guide camera's pixel scale",
         Within(0, 1000, true));
  c->callback([&o, name] { o.command = name; });
  return c;
}

// Writes a whole file; false with the system's reason in `why`.
bool WriteFile(const std::string& path, const void* bytes, std::size_t size, std::string& why) {
  errno = 0;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                             &std::fclose);
  if (!file) {
    why = errno != 0 ? std::strerror(errno) : "cannot be created";
    return false;
  }
  if (std::fwrite(bytes, 1, size, file.get()) != size || std::fflush(file.get()) != 0) {
    why = errno != 0 ? std::strerror(errno) : "not all of it written";
    return false;
  }
  return true;
}

bool WriteFile(const std::string& path, const std::string& text, std::string& why) {
  return WriteFile(path, text.data(), text.size(), why);
}

int Export(const Options& o, const guidelog::LogFile& file, const std::vector<int>& chosen) {
  const RunSettings& s = o.settings;
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
  std::string why;
  if (!WriteFile(out, ExportPhd2(runs, p), why)) {
    std::cerr << "corvane-log: cannot write " << out << ": " << why << "\n";
    return 1;
  }
  if (o.json) {
    std::cout << JsonLine({{"output", out}, {"runs", runs.size()}, {"notes", notes}}) << "\n";
  } else {
    std::cout << out << " (" << runs.size() << " run(s) as a PHD2 guide log)\n";
    for (const auto& n : notes) std::cout << "Note: " << n << "\n";
  }
  return 0;
}

int Execute(const Options& o) {
  const guidelog::LogFile file = guidelog::ReadLogFile(o.log);
  const int count = static_cast<int>(file.runs.size());
  if (o.run && *o.run > count) {
    std::cerr << "corvane-log: " << o.log << " holds " << count << " run(s); --run " << *o.run
              << " is not one of them\n";
    return 2;
  }
  std::vector<int> chosen;
  for (int i = 1; i <= count; ++i) {
    if (!o.run || *o.run == i) chosen.push_back(i);
  }
  const bool several = chosen.size() > 1;
  const RunSettings& s = o.settings;
  if (o.command == "export") return Export(o, file, chosen);

  std::vector<corvane::sim::CycleTruth> truth;
  if (!o.truth.empty()) {
    try {
      truth = corvane::sim::ParseTruthCsv(guidelog::ReadFileText(o.truth));
    } catch (const guidelog::LogError& e) {
      std::cerr << "corvane-log: " << o.truth << ": " << e.what() << "\n";
      return 1;
    }
  }
  Json runs = Json::array();
  for (int i : chosen) {
    const auto& run = file.runs[static_cast<std::size_t>(i - 1)];
    if (o.command == "stats") {
      const RunFigures f = Analyse(run, s);
      if (o.json) {
        runs.push_back(StatsJson(run, i, f));
      } else {
        std::cout << StatsText(run, i, f, s);
      }
    } else if (o.command == "plot") {
      std::string base = o.output.empty() ? o.log.substr(0, o.log.rfind('.')) : o.output;
      if (several) base += "-run" + std::to_string(i);
      const PlotPictures pictures = DrawRun(run, truth.empty() ? nullptr : &truth, o.title);
      std::string why;
      if (!WriteFile(base + ".svg", pictures.svg, why)) {
        std::cerr << "corvane-log: cannot write " << base << ".svg: " << why << "\n";
        return 1;
      }
      if (!WriteFile(base + ".png", pictures.png.data(), pictures.png.size(), why)) {
        std::cerr << "corvane-log: cannot write " << base << ".png: " << why << "\n";
        return 1;
      }
      if (o.json) {
        runs.push_back({{"run", i}, {"png", base + ".png"}, {"svg", base + ".svg"}});
      } else {
        std::cout << base << ".png\n" << base << ".svg\n";
      }
    } else if (run.rows.size() < kAdviseCycles) {
      const std::string why = "too short for advise: " + std::to_string(run.rows.size()) +
                              " cycles, at least " + std::to_string(kAdviseCycles) + " needed";
      if (o.json) {
        runs.push_back(AdviceRefusedJson(i, why));
      } else {
        std::cout << AdviceRefusedText(i, why);
      }
    } else {
      const bool tty = !o.json && CORVANE_ISATTY(1);
      auto progress = [&](int done, int total) {
        if (!tty) return;
        std::printf("\radvise: %d of %d simulations", done, total);
        std::fflush(stdout);
      };
      const Advice a = Advise(run, s, {}, progress);
      if (tty) std::printf("\r%60s\r", "");
      if (o.json) {
        runs.push_back(AdviceJson(i, a, s));
      } else {
        std::cout << AdviceText(i, a, s);
      }
    }
  }
  if (o.json) {
    std::cout << JsonLine({{"command", o.command}, {"log", o.log}, {"runs", runs}}) << "\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app("corvane-log: what a night's Corvane guide log says, and what to change",
               "corvane-log");
  app.set_version_flag("--version", std::string("corvane-log ") + kVersion);
  app.require_subcommand(1);
  app.footer(
      "corvane-log COMMAND --help: the command's options. For example:\n"
      "  corvane-log stats Corvane.csv --exposure 2 --scale 1.5");
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string("corvane-log: ") + e.what() +
           "\n(corvane-log --help lists the commands, corvane-log COMMAND --help their options)\n";
  });
  AddCommand(app, "stats", "the run's figures: RMS, stars, pulses, calibration, the mount's motion",
             o)
      ->footer(
          "Cycles, stars, RMS and peak to peak of the mean offset (and in the mount's axes), each "
          "star's SN, the pulses, the last line; the stars' split into independent noise and "
          "common motion; the calibration as the pulses acted, and the mount's own motion.");
  AddCommand(app, "advise", "recommends aggressiveness, minimum move and guide exposure", o)
      ->footer(
          "Fits the simulated observatory to the run and recommends aggressiveness, minimum move "
          "and guide exposure, with the predicted RMS for the current and the new ones.");
  CLI::App* plot = AddCommand(app, "plot", "the run's pictures as PNG and SVG", o);
  plot->footer("One pair of pictures per run of the file (BASE-runN with several).");
  plot->add_option("-o", o.output,
                   "where the pictures go: BASE.png and BASE.svg (default: LOG "
                   "without its extension)")
      ->type_name("BASE");
  plot->add_option("--truth", o.truth, "adds the simulator's true error (its truth.csv)")
      ->type_name("FILE");
  plot->add_option("--title", o.title, "the pictures' title")->type_name("TEXT");
  CLI::App* exporter =
      AddCommand(app, "export", "the runs as a PHD2 guide log for the common guide-log viewers", o);
  exporter->add_option("--format", o.format, "the log format written")
      ->required()
      ->check(CLI::IsMember({"phd2"}));
  exporter
      ->add_option("-o", o.output,
                   "the file written (default: LOG with .phd2.txt for its "
                   "extension)")
      ->type_name("FILE");
  exporter->add_option("--start", o.start, "when the first run began (default 2000-01-01 00:00:00)")
      ->type_name("\"YYYY-MM-DD HH:MM:SS\"");
  // A first word that is neither a command nor an option (a log named first, a typing error).
  if (argc < 2) {
    std::cerr << app.help();
    return 2;
  }
  const std::string first = argv[1];
  const auto commands =
      app.get_subcommands([&first](CLI::App* c) { return c->get_name() == first; });
  if ((first.empty() || first.front() != '-') && commands.empty()) {
    std::cerr << "corvane-log: unknown command \"" << first
              << "\": the commands are stats, advise, plot and export (corvane-log --help)\n";
    return 2;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  try {
    return Execute(o);
  } catch (const guidelog::LogError& e) {
    std::cerr << "corvane-log: " << o.log << ": " << e.what() << "\n";
    return 1;
  }
}
