#include "logtools/Records.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "guidelog/LogFile.h"
#include "guidelog/Record.h"

namespace corvane::logtools {

std::vector<std::string> RecordsIn(const std::string& folder) {
  namespace fs = std::filesystem;
  struct Found {
    guidelog::RecordName name;
    fs::path path;
  };
  std::vector<Found> found;
  std::error_code error;
  const fs::path where = guidelog::FilePath(folder);
  for (fs::directory_iterator it(where, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const std::u8string file = it->path().filename().u8string();
    if (auto name = guidelog::ReadRecordName(
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
