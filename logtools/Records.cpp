#include "logtools/Records.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "guidelog/LogFile.h"

namespace corvane::logtools {

std::optional<RecordName> ReadRecordName(std::string_view name) {
  // "YYYY-MM-DD HH-MM-SS" then ".csv" or " (N).csv".
  static constexpr std::string_view kShape = "0000-00-00 00-00-00";
  if (name.size() < kShape.size() + 4) return std::nullopt;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
    if (kShape[i] == '0' ? !digit : name[i] != kShape[i]) return std::nullopt;
  }
  RecordName record{std::string(name.substr(0, kShape.size())), 1};
  std::string_view rest = name.substr(kShape.size());
  if (rest == ".csv") return record;
  if (rest.size() < 8 || rest.substr(0, 2) != " (" || rest.substr(rest.size() - 5) != ").csv") {
    return std::nullopt;
  }
  const std::string_view number = rest.substr(2, rest.size() - 7);
  if (number.empty() || number.size() > 6 || number.front() == '0') return std::nullopt;
  int sequence = 0;
  for (const char c : number) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    sequence = sequence * 10 + (c - '0');
  }
  record.sequence = sequence;
  return record;
}

std::vector<std::string> RecordsIn(const std::string& folder) {
  namespace fs = std::filesystem;
  struct Found {
    RecordName name;
    fs::path path;
  };
  std::vector<Found> found;
  std::error_code error;
  const fs::path where = guidelog::FilePath(folder);
  for (fs::directory_iterator it(where, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const std::u8string file = it->path().filename().u8string();
    if (auto name = ReadRecordName(
            std::string_view(reinterpret_cast<const char*>(file.data()), file.size()))) {
      found.push_back({*name, it->path()});
    }
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.name.start != b.name.start ? a.name.start < b.name.start
                                        : a.name.sequence < b.name.sequence;
  });
  std::vector<std::string> paths;
  for (const Found& f : found) {
    const std::u8string text = f.path.u8string();
    paths.emplace_back(reinterpret_cast<const char*>(text.data()), text.size());
  }
  return paths;
}

}  // namespace corvane::logtools
