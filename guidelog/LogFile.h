// Reads a Corvane guide log as users have it: written by the DLL (CR LF), cut off by a crash
// (a partial last line), several runs concatenated (each header line starts a run), or re-saved
// by a spreadsheet in a decimal-comma locale (';' between items, "0,5"). Anything else is an
// error that names the line.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::guidelog {

// One star's five items of a data line.
struct LogStar {
  double xpos = 0.0, ypos = 0.0, xoff = 0.0, yoff = 0.0, sn = 0.0;
};

// One data line: the cycle's means, offsets and pulses, and each star's items.
struct LogRow {
  double xave = 0.0, yave = 0.0, xoff = 0.0, yoff = 0.0, xtim = 0.0, ytim = 0.0;
  std::vector<LogStar> stars;
};

// A line of the file that cannot be read; the message starts "line N: " (line 0: the file as a
// whole, e.g. one that cannot be opened or holds nothing).
class LogError : public std::runtime_error {
 public:
  LogError(int line, const std::string& what)
      : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + what : what),
        line_(line) {}
  int Line() const { return line_; }

 private:
  int line_;
};

struct LogRun {
  int stars = 0;
  int headerLine = 0;         // 1-based line number of the run's header
  std::vector<LogRow> rows;   // one per guide cycle
  std::vector<int> rowLines;  // the line number of each row
  bool cutShort = false;      // the file ended inside the run's last line (dropped)
  char separator = ',';
  bool decimalComma = false;
  // From a run's record (guidelog/Record.h): when each cycle's frame arrived, seconds since guiding
  // began. Empty for a guide log, which has no clock.
  std::vector<double> seconds;
};

struct LogFile {
  std::vector<LogRun> runs;
  bool crlf = false;
};

LogFile ParseLog(std::string_view text);  // throws LogError
// The first run of a log that a program has just had written (a simulated or observed run): its
// rows, or nothing with the reason in *error.
std::optional<LogRun> FirstRun(std::string_view text, std::string* error = nullptr);
// A file name as the tools spell them (UTF-8: the Windows programs run with UTF-8 as their code
// page) as the file system's path; a name that is not UTF-8 is taken as the system spells it.
std::filesystem::path FilePath(const std::string& name);
// A whole file's bytes; LogError (line 0) says why it cannot be had: "no such file", "a folder,
// not a file", "cannot be opened: <the system's reason>" (e.g. no permission).
std::string ReadFileText(const std::string& path);
LogFile ReadLogFile(const std::string& path);  // throws LogError (line 0: the file itself)

// One line at a time, for a reader that follows a log while it is written (ParseLog reads with
// these too). A header line sets up `run` (its stars, separator and decimal comma) and gives true.
bool ReadHeaderLine(std::string_view line, LogRun& run);
// A data line of `run`: Ok and the row; Short when it holds fewer items than the header (a line
// cut off); Bad with the reason in `why`.
enum class RowResult { Ok, Short, Bad };
RowResult ReadDataLine(std::string_view line, const LogRun& run, LogRow& row, std::string& why);
// Whether a line without its line break still ends as a whole row does (its empty last item):
// the file's last line when the writer was not cut off in it.
bool EndsWholeRow(std::string_view line, const LogRun& run);

}  // namespace corvane::guidelog
