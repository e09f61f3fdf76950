// How the monitor reaches files: every call opens, reads and closes at once, sharing the file with
// every other opener, so the monitor never holds a file that Corvane writes, replaces or a user
// deletes. The Windows shell implements it with CreateFile's full sharing; StandardFileAccess
// (the C++ library) serves the tests and the benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane::monitor {

enum class FileState { Present, Missing, Unreadable };

struct FileChunk {
  FileState state = FileState::Missing;
  std::string error;           // why it cannot be read (Unreadable)
  std::uint64_t size = 0;      // the file's size as it was read
  std::int64_t writeTime = 0;  // its last write, seconds since 1970-01-01 UTC
  std::string bytes;           // from the offset asked for, at most the count asked for
};

struct FolderEntry {
  std::string name;
  std::int64_t writeTime = 0;
};

struct FolderListing {
  FileState state = FileState::Missing;
  std::string error;
  std::vector<FolderEntry> files;  // the files directly in the folder (no folders)
};

class FileAccess {
 public:
  virtual ~FileAccess() = default;
  // Opens the file, reads up to `count` bytes from `offset` and closes it again.
  virtual FileChunk Read(const std::string& path, std::uint64_t offset, std::size_t count) = 0;
  virtual FolderListing List(const std::string& folder) = 0;
};

// The C++ library's files (paths in UTF-8).
class StandardFileAccess : public FileAccess {
 public:
  FileChunk Read(const std::string& path, std::uint64_t offset, std::size_t count) override;
  FolderListing List(const std::string& folder) override;
};

// `folder` and `name` with one separator between them ('\\' where the folder uses it).
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace corvane::monitor
