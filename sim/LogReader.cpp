#include "sim/LogReader.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace corvane::sim {
namespace {

std::vector<std::string> SplitFields(std::string_view line) {
  std::vector<std::string> fields;
  std::string current;
  for (char c : line) {
    if (c == ',') {
      fields.push_back(current);
      current.clear();
    } else if (c != '\r') {
      current += c;
    }
  }
  fields.push_back(current);
  return fields;
}

std::string Unquote(const std::string& field) {
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
    return field.substr(1, field.size() - 2);
  }
  return field;
}

bool ToNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end && *end == '\0';
}

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

}  // namespace

std::optional<GuideLogData> ParseGuideLog(std::string_view text, std::string* error) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  if (lines.empty()) {
    Fail(error, "empty file");
    return std::nullopt;
  }
  const auto header = SplitFields(lines[0]);
  // 6 columns, 5 per star, and the empty item that ends every line.
  if (header.size() < 12 || (header.size() - 7) % 5 != 0 || Unquote(header[0]) != "Xave" ||
      Unquote(header[5]) != "Ytim" || !Unquote(header.back()).empty()) {
    Fail(error, "not a Corvane guide log header");
    return std::nullopt;
  }
  GuideLogData data;
  data.stars = static_cast<int>((header.size() - 7) / 5);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto fields = SplitFields(lines[i]);
    if (fields.size() != header.size()) {
      // A line cut short (the host stopped while writing it) ends the readable part.
      break;
    }
    std::vector<double> values(fields.size() - 1);
    bool ok = true;
    for (std::size_t f = 0; f + 1 < fields.size(); ++f) ok = ok && ToNumber(fields[f], values[f]);
    if (!ok) {
      Fail(error, "line " + std::to_string(i + 1) + " holds a field that is not a number");
      return std::nullopt;
    }
    LogRow row{values[0], values[1], values[2], values[3], values[4], values[5], {}};
    for (int s = 0; s < data.stars; ++s) {
      const std::size_t b = 6 + 5 * static_cast<std::size_t>(s);
      row.stars.push_back({values[b], values[b + 1], values[b + 2], values[b + 3], values[b + 4]});
    }
    data.rows.push_back(std::move(row));
  }
  return data;
}

std::optional<GuideLogData> ReadGuideLogFile(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    Fail(error, "cannot open " + path);
    return std::nullopt;
  }
  std::stringstream buffer;
  buffer << file.rdbuf();
  return ParseGuideLog(buffer.str(), error);
}

}  // namespace corvane::sim
