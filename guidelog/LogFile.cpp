#include "guidelog/LogFile.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace corvane::guidelog {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

std::string_view Unquote(std::string_view s) {
  s = Trim(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = line.find(separator, start);
    if (end == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
}

// A number as the DLL writes it (also .5, exponents, a leading +), or with a decimal comma.
bool ToNumber(std::string_view field, bool decimalComma, double& value) {
  std::string text(Unquote(field));
  if (decimalComma) {
    for (char& c : text) {
      if (c == ',') c = '.';
    }
  }
  std::string_view s = text;
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (end != s.data() + s.size()) return false;
  if (error == std::errc::result_out_of_range) {
    // A number beyond a double ("1e999") is read as what it is, an infinite (or zero) value,
    // for the analysis to leave its row out.
    value = std::strtod(std::string(s).c_str(), nullptr);
    return true;
  }
  return error == std::errc();
}

}  // namespace

// The header: "Xave","Yave","Xoff","Yoff","Xtim","Ytim" then five items per star, numbered from 1,
// and the empty item; quotes and the final empty item may be gone after a spreadsheet saved it.
bool ReadHeaderLine(std::string_view line, LogRun& run) {
  const std::string_view trimmed = Trim(line);
  if (Unquote(trimmed.substr(0, std::min<std::size_t>(trimmed.size(), 6))) != "Xave" &&
      trimmed.substr(0, 4) != "Xave") {
    return false;
  }
  const std::size_t afterName = trimmed.find(trimmed.front() == '"' ? "\"" : "e", 1);
  if (afterName == std::string_view::npos || afterName + 1 >= trimmed.size()) return false;
  const char separator = trimmed[afterName + 1];
  if (separator != ',' && separator != ';' && separator != '\t') return false;
  auto fields = Split(trimmed, separator);
  while (!fields.empty() && Unquote(fields.back()).empty()) fields.pop_back();
  static const char* const kColumns[] = {"Xave", "Yave", "Xoff", "Yoff", "Xtim", "Ytim"};
  static const char* const kStar[] = {"Xpos", "Ypos", "Xoff", "Yoff", "SN"};
  if (fields.size() < 11 || (fields.size() - 6) % 5 != 0) return false;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string expected =
        i < 6 ? kColumns[i] : kStar[(i - 6) % 5] + std::to_string((i - 6) / 5 + 1);
    if (Unquote(fields[i]) != expected) return false;
  }
  run.stars = static_cast<int>((fields.size() - 6) / 5);
  run.separator = separator;
  run.decimalComma = separator == ';';
  return true;
}

RowResult ReadDataLine(std::string_view line, const LogRun& run, LogRow& row, std::string& why) {
  auto fields = Split(Trim(line), run.separator);
  while (!fields.empty() && Unquote(fields.back()).empty()) fields.pop_back();
  const std::size_t expected = 6 + 5 * static_cast<std::size_t>(run.stars);
  if (fields.size() != expected) {
    why = "holds " + std::to_string(fields.size()) + " numbers where the header has " +
          std::to_string(expected) + " columns";
    return fields.size() < expected ? RowResult::Short : RowResult::Bad;
  }
  std::vector<double> v(expected);
  for (std::size_t f = 0; f < expected; ++f) {
    if (!ToNumber(fields[f], run.decimalComma, v[f])) {
      why = "item " + std::to_string(f + 1) + " (\"" + std::string(Trim(fields[f])) +
            "\") is not a number";
      return RowResult::Bad;
    }
  }
  row = {v[0], v[1], v[2], v[3], v[4], v[5], {}};
  for (int s = 0; s < run.stars; ++s) {
    const std::size_t b = 6 + 5 * static_cast<std::size_t>(s);
    row.stars.push_back({v[b], v[b + 1], v[b + 2], v[b + 3], v[b + 4]});
  }
  return RowResult::Ok;
}

bool EndsWholeRow(std::string_view line, const LogRun& run) {
  const std::string_view trimmed = Trim(line);
  return !trimmed.empty() && (trimmed.back() == run.separator || trimmed.back() == '"');
}

LogFile ParseLog(std::string_view text) {
  LogFile file;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a spreadsheet's BOM
  file.crlf = text.find("\r\n") != std::string_view::npos;
  int number = 0;
  int pendingShort = 0;  // a short line, harmless only if its run ends there
  std::string pendingWhy;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const bool terminated = end != std::string_view::npos;
    if (!terminated) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (Trim(line).empty()) continue;
    LogRun header;
    if (ReadHeaderLine(line, header)) {
      header.headerLine = number;
      file.runs.push_back(header);
      pendingShort = 0;
      continue;
    }
    if (file.runs.empty()) {
      throw LogError(number,
                     "not a Corvane guide log (its first line must be the header "
                     "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\",...)");
    }
    if (pendingShort != 0) throw LogError(pendingShort, pendingWhy);
    LogRun& run = file.runs.back();
    LogRow row;
    std::string why;
    const RowResult result = ReadDataLine(line, run, row, why);
    if (result == RowResult::Ok && (terminated || EndsWholeRow(line, run))) {
      run.rows.push_back(std::move(row));
      run.rowLines.push_back(number);
    } else if (!terminated) {
      // The last line of the file, not finished: a crash or a stop while it was written.
      run.cutShort = true;
    } else if (result == RowResult::Short) {
      // A line cut short is harmless only as the last line of its run (the file was cut and a
      // later run appended after it): decided by the next line.
      pendingShort = number;
      pendingWhy = why;
      run.cutShort = true;
    } else {
      throw LogError(number, why);
    }
  }
  if (file.runs.empty()) throw LogError(0, "empty file: no guide log header");
  return file;
}

std::optional<LogRun> FirstRun(std::string_view text, std::string* error) {
  try {
    return ParseLog(text).runs.front();
  } catch (const LogError& e) {
    if (error) *error = e.what();
    return std::nullopt;
  }
}

std::filesystem::path FilePath(const std::string& name) {
  try {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
  } catch (const std::filesystem::filesystem_error&) {  // not UTF-8
    return std::filesystem::path(name);
  }
}

std::string ReadFileText(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(FilePath(path), error);
  if (status.type() == std::filesystem::file_type::not_found) throw LogError(0, "no such file");
  if (status.type() == std::filesystem::file_type::directory) {
    throw LogError(0, "a folder, not a file");
  }
  errno = 0;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) {
    throw LogError(0, std::string("cannot be opened: ") +
                          (errno != 0 ? std::strerror(errno) : "unknown reason"));
  }
  std::string text;
  char chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) {
    text.append(chunk, got);
  }
  if (std::ferror(file.get())) throw LogError(0, "cannot be read to its end");
  return text;
}

LogFile ReadLogFile(const std::string& path) {
  return ParseLog(ReadFileText(path));
}

}  // namespace corvane::guidelog
