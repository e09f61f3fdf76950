// The runs' records: each run's own file in the "Corvane" folder under the user's Documents,
// named by the run's local start time ("2024-05-01 22-13-05.csv", a second run started in the same
// second "2024-05-01 22-13-05 (2).csv"). Which of them is the newest goes by that name, not by the
// file's time (a copy or an edit changes that).
#pragma once

#include <string>
#include <vector>

namespace corvane::logtools {

// The records' folder's name under Documents.
inline constexpr const char* kRecordFolder = "Corvane";

// The records in a folder (guidelog::ReadRecordName), oldest first (full paths); empty when there
// is none or no folder.
std::vector<std::string> RecordsIn(const std::string& folder);

}  // namespace corvane::logtools
