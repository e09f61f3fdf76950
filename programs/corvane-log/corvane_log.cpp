// corvane-log: what a night's Corvane guide log (or a run's record) says, and what to change.
//   corvane-log stats|advise|plot|export LOG [options]     (corvane-log COMMAND --help)
// On Windows a command without LOG takes the newest record in Documents\Corvane.
#include <CLI/CLI.hpp>
#include <algorithm>
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
#include <shlobj.h>
#include <windows.h>

#include "win/UniqueResource.h"
#define CORVANE_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define CORVANE_ISATTY(fd) isatty(fd)
#endif

#include "guidelog/LogFile.h"
#include "guidelog/Record.h"
#include "logtools/Advise.h"
#include "logtools/Analysis.h"
#include "logtools/Export.h"
#include "logtools/Output.h"
#include "logtools/Plot.h"
#include "logtools/RecordSettings.h"
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
  std::optional<double> download;
  bool json = false;
  RunSettings settings;
};

// What the file holds: a guide log's runs, or a record's one run with what else it recorded.
struct Input {
  guidelog::LogFile file;
  std::optional<guidelog::Record> record;
  RunSettings settings;  // the flags, over what a record holds
  std::vector<std::string> notes;
};

Input Load(const Options& o) {
  Input in;
  const std::string text = guidelog::ReadFileText(o.log);
  in.settings = o.settings;
  if (!guidelog::LooksLikeRecord(text)) {
    in.file = guidelog::ParseLog(text);
    return in;
  }
  in.record = guidelog::ParseRecord(text);
  if (in.record->run.rows.empty()) {
    throw guidelog::LogError(0, "a record without a guide cycle (the run " +
                                    (in.record->end ? "ended " + in.record->end->how
                                                    : std::string("has no end recorded")) +
                                    ")");
  }
  in.file.runs.push_back(in.record->run);
  in.file.crlf = true;
  in.settings = SettingsFromRecord(*in.record, o.settings, o.download.has_value(), in.notes);
  return in;
}

#ifdef _WIN32
// The newest record in the user's Documents\Corvane folder, "" when there is none. Paths in the
// ANSI code page, as the C library opens them.
std::string NewestRecord(std::string& folderText) {
  corvane::win::UniqueCoTaskMem<wchar_t> documents;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, documents.Receive()))) {
    folderText = "Documents (not found)";
    return {};
  }
  const std::wstring folder = std::wstring(documents.Get()) + L"\\Corvane";
  auto narrow = [](const std::wstring& wide) {
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(size, 1)), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text.data(), size, nullptr, nullptr);
    text.resize(std::strlen(text.c_str()));
    return text;
  };
  folderText = narrow(folder);
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*.csv").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      names.push_back(narrow(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  const std::string newest = guidelog::NewestRecordName(names);
  return newest.empty() ? std::string() : folderText + "\\" + newest;
}
#endif

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
#ifdef _WIN32
  c->add_option("LOG", o.log,
                "the guide log (Corvane.csv) or a run's record (default: the newest record in "
                "Documents\\Corvane)");
#else
  c->add_option("LOG", o.log, "the guide log (Corvane.csv) or a run's record")->required();
#endif
  c->add_option("--run", o.run, "only the N-th run of a file holding several (default: each run)")
      ->type_name("N")
      ->check(Whole(1, 1000000));
  c->add_flag("--json", o.json, "JSON for scripts instead of text");
  RunSettings& s = o.settings;
  const std::string group =
      "The run's settings the log does not hold (missing ones are estimated or named where "
      "needed; a run's record holds all but the scale, and these override it)";
  auto number = [&](const char* flag, std::optional<double>& target, const char* unit,
                    const char* help, const CLI::Validator& range) {
    c->add_option(flag, target, help)->type_name(unit)->check(range)->group(group);
  };
  number("--exposure", s.exposure, "S", "the guide exposure, seconds", Within(0, 3600, true));
  c->add_option("--download", o.download,
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

int Export(const Options& o, const Input& in, const std::vector<int>& chosen) {
  const guidelog::LogFile& file = in.file;
  RunSettings s = in.settings;
  std::vector<std::string> notes;
  if (!s.exposure) notes.push_back("no --exposure: 2 s per frame assumed for the times");
  if (!o.download && !in.record) {
    s.download = kDefaultDownloadSeconds;
    notes.push_back("no --download: " + Shown(kDefaultDownloadSeconds) +
                    " s per frame assumed for the times");
  }
  Phd2Settings p;
  p.exposure = s.exposure.value_or(2.0);
  p.download = s.download;
  p.minSN = s.minSN;
  p.minStars = s.minStars;
  std::vector<const guidelog::LogRun*> runs;
  bool lost = false;
  for (int i : chosen) {
    const guidelog::LogRun& run = file.runs[static_cast<std::size_t>(i - 1)];
    runs.push_back(&run);
    // The calibration from the pulses only where the settings do not give it (a record gives it
    // all): the fit searches the periodic error and takes seconds on a long night.
    const bool calibrated = s.angleDeg && s.reverseX && s.xSpeed && s.ySpeed;
    p.calibrations.push_back(CalibrationFor(s, calibrated ? MotionFit{} : Analyse(run, s).fit));
    for (const CycleUse use : CycleUses(run, s)) lost = lost || use == CycleUse::Lost;
  }
  if (!s.angleDeg || !s.xSpeed || !s.ySpeed) {
    notes.push_back(
        "calibration not given in full (--angle, --x-speed, --y-speed): the "
        "estimate from the pulses is used");
  }
  if (lost && (!s.minSN || !s.minStars)) {
    notes.push_back(
        "no --min-sn or --min-stars: the cycles lost for want of stars are those "
        "with fewer than " +
        std::to_string(s.minStars.value_or(4)) + " stars at SN " + Shown(s.minSN.value_or(3.0)) +
        " and no pulse");
  }
  p.scale = s.scale.value_or(1.0);
  if (!s.scale) notes.push_back("no --scale: 1 arcsec per pixel written");
  p.minMove = std::abs(s.minMove.value_or(0.0));
  p.maxMove = std::abs(s.maxMove.value_or(0.0));
  if (in.record) {
    const std::string begun =
        guidelog::LaterTime(in.record->startLocal,
                            static_cast<double>(in.record->guidingBeginsMs.value_or(0)) / 1000.0);
    if (!begun.empty()) p.start = begun;
    p.info = RecordInfo(*in.record);
  }
  if (!o.start.empty()) p.start = o.start;
  p.version = std::string("corvane-log ") + kVersion;
  for (const std::string& note : notes) {
    // The calibration's own lines say what it rests on.
    if (note.rfind("calibration", 0) != 0) p.notes.push_back("Note: " + note);
  }
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
  const Input in = Load(o);
  const guidelog::LogFile& file = in.file;
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
  const RunSettings& s = in.settings;
  if (o.command == "export") return Export(o, in, chosen);

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
      RunFigures f = Analyse(run, s);
      f.notes.insert(f.notes.begin(), in.notes.begin(), in.notes.end());
      if (o.json) {
        runs.push_back(StatsJson(run, i, f));
      } else {
        std::cout << StatsText(run, i, f, s);
      }
    } else if (o.command == "plot") {
      std::string base = o.output.empty() ? o.log.substr(0, o.log.rfind('.')) : o.output;
      if (several) base += "-run" + std::to_string(i);
      const PlotPictures pictures = DrawRun(run, truth.empty() ? nullptr : &truth, o.title, s);
      std::string why;
      if (!WriteFile(base + ".svg", pictures.svg, why)) {
        std::cerr << "corvane-log: cannot write " << base << ".svg: " << why << "\n";
        return 1;
      }
      const std::vector<std::uint8_t> png = pictures.Png();
      if (!WriteFile(base + ".png", png.data(), png.size(), why)) {
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
      // The rows no figure could use, named as stats names them.
      std::vector<int> unreadable;
      ReadableRows(run, CycleUses(run, s), &unreadable);
      if (o.json) {
        Json advice = AdviceJson(i, a, s);
        advice["unreadable_lines"] = unreadable;
        runs.push_back(advice);
      } else {
        std::cout << AdviceText(i, a, s);
        if (!unreadable.empty()) {
          std::cout << "  Note: " << LineRanges(unreadable)
                    << (unreadable.size() == 1 ? " holds" : " hold")
                    << " a value no guider writes: left out of the fitted model\n";
        }
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
  exporter
      ->add_option(
          "--start", o.start,
          "when the first run began (default: a record's own start of guiding, a guide log's "
          "2000-01-01 00:00:00)")
      ->type_name("\"YYYY-MM-DD HH:MM:SS\"")
      ->check(CLI::Validator(
          [](const std::string& text) -> std::string {
            if (IsDateTime(text)) return {};
            return "\"" + text + "\" is not a date and time as YYYY-MM-DD HH:MM:SS";
          },
          "DATE TIME"));
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
  if (o.download) o.settings.download = *o.download;
#ifdef _WIN32
  if (o.log.empty()) {
    std::string folder;
    o.log = NewestRecord(folder);
    if (o.log.empty()) {
      std::cerr << "corvane-log: no LOG given and no record in " << folder << "\n";
      return 2;
    }
    std::cerr << "corvane-log: the newest record, " << o.log << "\n";
  }
#endif
  try {
    return Execute(o);
  } catch (const guidelog::LogError& e) {
    std::cerr << "corvane-log: " << o.log << ": " << e.what() << "\n";
    return 1;
  }
}
