// corvane-log: what a night's Corvane guide log (or a run's record) says, and what to change.
//   corvane-log stats|advise|plot|export LOG [options]     (corvane-log COMMAND --help)
// On Windows a command without LOG takes the newest record in Documents\Corvane.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// After windows.h:
#include <io.h>
#include <shellapi.h>
#include <shlobj.h>

#include "win/AutomationValues.h"
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
#include "logtools/Records.h"
#include "logtools/Report.h"
#include "sim/run/Simulation.h"

using namespace corvane::logtools;
namespace guidelog = corvane::guidelog;
#ifdef _WIN32
namespace win = corvane::win;
#endif

namespace {

constexpr const char* kVersion = CORVANE_VERSION;
// Below this the fitted model (seeing, drift, periodic error, speeds) says too little.
constexpr std::size_t kAdviseCycles = 50;

struct Options {
  std::string command, log, output, truth, title = "Corvane guide log", format, start;
  std::optional<int> run;  // none: every run
  std::optional<double> download;
  bool json = false;
  bool advise = false;  // report: the advice into the page
  bool last = false;    // report: the newest record of the records' folder
  bool open = false;    // report, records: open the page / the folder
  std::string folder;   // report --last, records: the records' folder
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
    // A guide log's times are built from the exposure, the pulses and the download per frame.
    if (o.settings.exposure && !o.download) {
      in.notes.push_back(
          "no --download: each cycle's time counts the exposure and the pulses only, so the run's "
          "length, drift per minute and the period in seconds are off by the share of a cycle a "
          "download takes");
    }
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
CLI::App* AddCommand(CLI::App& app, const std::string& name, const std::string& what, Options& o,
                     bool logRequired = true) {
  CLI::App* c = app.add_subcommand(name, what);
#ifdef _WIN32
  (void)logRequired;
  c->add_option("LOG", o.log,
                "the guide log (Corvane.csv) or a run's record (default: the newest record in "
                "Documents\\Corvane)");
#else
  c->add_option("LOG", o.log, "the guide log (Corvane.csv) or a run's record")
      ->required(logRequired);
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

// The user's Documents folder ("" when it cannot be found).
std::string DocumentsFolder() {
#ifdef _WIN32
  // UTF-8, the program's code page (its manifest), as the C library and the arguments spell paths.
  win::UniqueCoTaskMem<wchar_t> path;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, path.Receive()))) return {};
  return win::Narrow(path.Get());
#else
  const char* home = std::getenv("HOME");
  return home ? std::string(home) + "/Documents" : std::string();
#endif
}

std::string RecordFolder(const Options& o) {
  if (!o.folder.empty()) return o.folder;
  const std::string documents = DocumentsFolder();
#ifdef _WIN32
  constexpr const char* kSeparator = "\\";
#else
  constexpr const char* kSeparator = "/";
#endif
  return documents.empty() ? std::string() : documents + kSeparator + kRecordFolder;
}

// Opens a file or folder as a double-click would: the default browser for a page, the file
// manager for a folder.
bool OpenWithTheDesktop(const std::string& path) {
#ifdef _WIN32
  const int size = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(size, 1)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), size);
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
#else
  const std::string command = "xdg-open '" + path + "' >/dev/null 2>&1";
  return path.find('\'') == std::string::npos && std::system(command.c_str()) == 0;
#endif
}

// What a program started from the Start menu has to say: its console window closes at once, so on
// Windows a failure is shown in a message box as well.
int Fail(const Options& o, const std::string& text, int code) {
  std::cerr << "corvane-log: " << text << "\n";
#ifdef _WIN32
  if (o.open) {
    const std::string message = text;
    const int size = MultiByteToWideChar(CP_UTF8, 0, message.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 1)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, message.c_str(), -1, wide.data(), size);
    MessageBoxW(nullptr, wide.c_str(), L"Corvane", MB_OK | MB_ICONEXCLAMATION);
  }
#else
  (void)o;
#endif
  return code;
}

int Records(const Options& o) {
  const std::string folder = RecordFolder(o);
  if (folder.empty()) return Fail(o, "the Documents folder cannot be found", 1);
  const std::vector<std::string> records = RecordsIn(folder);
  if (o.json) {
    std::cout << JsonLine({{"folder", folder}, {"records", records}}) << "\n";
  } else {
    std::cout << folder << " (" << records.size() << " record(s), the newest last)\n";
    for (const std::string& r : records) std::cout << "  " << r << "\n";
  }
  if (o.open) {
    std::error_code error;
    std::filesystem::create_directories(guidelog::FilePath(folder), error);
    if (!OpenWithTheDesktop(folder)) return Fail(o, "cannot open " + folder, 1);
  }
  return 0;
}

int Report(const Options& o) {
  std::string log = o.log;
  if (o.last) {
    const std::string folder = RecordFolder(o);
    const std::vector<std::string> records =
        folder.empty() ? std::vector<std::string>{} : RecordsIn(folder);
    if (records.empty()) {
      return Fail(o,
                  "no run's record in " + (folder.empty() ? "Documents" : folder) +
                      ": Corvane writes one for each run it guides",
                  1);
    }
    log = records.back();
  } else if (log.empty()) {
    return Fail(o, "report needs a LOG or --last (corvane-log report --help)", 2);
  }
  Options chosen = o;
  chosen.log = log;
  Input in;
  try {
    in = Load(chosen);
  } catch (const guidelog::LogError& e) {
    return Fail(o, log + ": " + e.what(), 1);
  }
  const guidelog::LogFile& file = in.file;
  const RunSettings& settings = in.settings;
  const int count = static_cast<int>(file.runs.size());
  if (o.run && *o.run > count) {
    return Fail(o,
                log + " holds " + std::to_string(count) + " run(s); --run " +
                    std::to_string(*o.run) + " is not one of them",
                2);
  }
  std::string base = o.output.empty() ? log.substr(0, log.rfind('.')) : o.output;
  if (base.size() > 5 && base.substr(base.size() - 5) == ".html") base.resize(base.size() - 5);
  const std::u8string name = guidelog::FilePath(log).filename().u8string();
  ReportSource source;
  source.file.assign(reinterpret_cast<const char*>(name.data()), name.size());
  source.runs = count;
  source.generator = std::string("corvane-log ") + kVersion;
  Json written = Json::array();
  for (int i = 1; i <= count; ++i) {
    if (o.run && *o.run != i) continue;
    const auto& run = file.runs[static_cast<std::size_t>(i - 1)];
    Json advice = nullptr;
    if (o.advise) {
      advice = run.rows.size() < kAdviseCycles
                   ? AdviceRefusedJson(
                         i, "too short for advise: " + std::to_string(run.rows.size()) +
                                " cycles, at least " + std::to_string(kAdviseCycles) + " needed")
                   : AdviceJson(i, Advise(run, settings), settings);
    }
    source.run = i;
    const std::string out =
        base + (count > 1 && !o.run ? "-run" + std::to_string(i) : std::string()) + ".html";
    std::string why;
    if (!WriteFile(out, ReportPage(run, settings, source, advice), why)) {
      return Fail(o, "cannot write " + out + ": " + why, 1);
    }
    written.push_back(out);
    if (!o.json) std::cout << out << "\n";
    if (o.open && !OpenWithTheDesktop(out)) return Fail(o, "cannot open " + out, 1);
  }
  if (o.json) std::cout << JsonLine({{"log", log}, {"reports", written}}) << "\n";
  return 0;
}

int Execute(const Options& o) {
  if (o.command == "report") return Report(o);
  if (o.command == "records") return Records(o);
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
      Advice a = Advise(run, s, {}, progress);
      a.model.notes.insert(a.model.notes.begin(), in.notes.begin(), in.notes.end());
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
  CLI::App* report = AddCommand(
      app, "report", "the night as one HTML page: figures, zoomable guide graph, stars, spectrum",
      o, false);
  report->footer(
      "One self-contained page per run (BASE-runN.html with several) that opens from disk in any "
      "browser and fetches nothing: the figures of stats, the guide graph of every cycle with "
      "the RMS and peak of the span on screen, each star, the periodic error's spectrum, the "
      "calibration check and, with --advise, the advice.");
  report->add_option("-o", o.output, "the page written (default: LOG with .html for its extension)")
      ->type_name("FILE");
  report->add_flag("--advise", o.advise, "runs advise into the page (simulations: a few seconds)");
  report->add_flag(
      "--last", o.last,
      "the newest run's record (Documents\\Corvane) instead of LOG, its page next to it");
  report->add_flag("--open", o.open, "opens the page in the default browser");
  report
      ->add_option("--folder", o.folder,
                   "the records' folder for --last (default: Documents/Corvane)")
      ->type_name("DIR");
  CLI::App* records =
      app.add_subcommand("records", "the runs' records (Documents\\Corvane), newest last");
  records->add_flag("--json", o.json, "JSON for scripts instead of text");
  records->add_flag("--open", o.open, "opens the records' folder (made when missing)");
  records->add_option("--folder", o.folder, "the records' folder (default: Documents/Corvane)")
      ->type_name("DIR");
  records->callback([&o] { o.command = "records"; });
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
              << "\": the commands are stats, advise, plot, export, report and records "
                 "(corvane-log --help)\n";
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
  if (o.log.empty() && o.command != "report" && o.command != "records") {
    const std::string folder = RecordFolder(o);
    const std::vector<std::string> found =
        folder.empty() ? std::vector<std::string>{} : RecordsIn(folder);
    if (found.empty()) {
      std::cerr << "corvane-log: no LOG given and no record in "
                << (folder.empty() ? "Documents (not found)" : folder) << "\n";
      return 2;
    }
    o.log = found.back();
    std::cerr << "corvane-log: the newest record, " << o.log << "\n";
  }
#endif
  try {
    return Execute(o);
  } catch (const guidelog::LogError& e) {
    std::cerr << "corvane-log: " << o.log << ": " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {  // a path the file system cannot take, memory, ...
    std::cerr << "corvane-log: " << e.what() << "\n";
    return 1;
  }
}
