// Reads a Corvane guide log as users have it: written by the DLL (CR LF), cut off by a crash
// (a partial last line), several runs concatenated (each header line starts a run), or re-saved
// by a spreadsheet in a decimal-comma locale (';' between items, "0,5"). Anything else is an
// error that names the line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/LogReader.h"

namespace corvane::logtools {

using sim::LogRow;
using sim::LogStar;

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

  sim::GuideLogData AsGuideLog() const { return {stars, rows}; }
};

struct LogFile {
  std::vector<LogRun> runs;
  bool crlf = false;
};

LogFile ParseLog(std::string_view text);       // throws LogError
LogFile ReadLogFile(const std::string& path);  // throws LogError (line 0: the file itself)

}  // namespace corvane::logtools
