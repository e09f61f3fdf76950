// The monitor's files on Windows: each read opens the file with every sharing flag (read, write,
// delete), so Corvane can go on writing it, replace it and a user can delete it while the monitor
// reads, and closes it before it returns.
#pragma once

#include "monitor/FileAccess.h"

namespace corvane::monitor {

class WinFileAccess : public FileAccess {
 public:
  FileChunk Read(const std::string& path, std::uint64_t offset, std::size_t count) override;
  FolderListing List(const std::string& folder) override;
};

// Seconds since 1970 (UTC) of a Windows file time.
double UnixSeconds(const FILETIME& time);
double NowSeconds();

}  // namespace corvane::monitor
