// The runs' records: each run's own file in the "Corvane" folder under the user's Documents,
// named by the run's local start time ("2024-05-01 22-13-05.csv", a second run started in the same
// second "2024-05-01 22-13-05 (2).csv"). Which of them is the newest goes by that name, not by the
// file's time (a copy or an edit changes that).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::logtools {

// The records' folder's name under Documents.
inline constexpr const char* kRecordFolder = "Corvane";

// The start time ("2024-05-01 22-13-05") and sequence of a record's file name; nothing for any
// other name.
struct RecordName {
  std::string start;
  int sequence = 1;
};
std::optional<RecordName> ReadRecordName(std::string_view fileName);

// The records in a folder, oldest first (full paths); empty when there is none or no folder.
std::vector<std::string> RecordsIn(const std::string& folder);

}  // namespace corvane::logtools
