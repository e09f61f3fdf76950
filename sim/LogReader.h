// Reads a Corvane guide log (the CSV the plug-in writes, here or on Windows): the header decides
// the number of stars; every data line becomes one row of numbers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::sim {

struct LogStar {
  double xpos = 0.0, ypos = 0.0, xoff = 0.0, yoff = 0.0, sn = 0.0;
};

struct LogRow {
  double xave = 0.0, yave = 0.0, xoff = 0.0, yoff = 0.0, xtim = 0.0, ytim = 0.0;
  std::vector<LogStar> stars;
};

struct GuideLogData {
  int stars = 0;
  std::vector<LogRow> rows;
};

// nullopt with a reason in *error when the text is not a guide log.
std::optional<GuideLogData> ParseGuideLog(std::string_view text, std::string* error = nullptr);
std::optional<GuideLogData> ReadGuideLogFile(const std::string& path, std::string* error = nullptr);

}  // namespace corvane::sim
