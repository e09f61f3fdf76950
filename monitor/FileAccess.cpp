#include "monitor/FileAccess.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace corvane::monitor {
namespace {

namespace fs = std::filesystem;

std::int64_t UnixSeconds(fs::file_time_type time) {
  const auto system = std::chrono::file_clock::to_sys(time);
  return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

FileChunk StandardFileAccess::Read(const std::string& path, std::uint64_t offset,
                                   std::size_t count) {
  FileChunk chunk;
  const fs::path p = PathOf(path);
  std::error_code error;
  const fs::file_status status = fs::status(p, error);
  if (!fs::exists(status)) {
    chunk.state = FileState::Missing;
    return chunk;
  }
  if (error || !fs::is_regular_file(status)) {
    chunk.state = FileState::Unreadable;
    chunk.error = error ? error.message() : "it is not a file";
    return chunk;
  }
  std::ifstream in(p, std::ios::binary);
  const auto size = fs::file_size(p, error);
  const auto written = fs::last_write_time(p, error);
  if (!in || error) {
    chunk.state = FileState::Unreadable;
    chunk.error = error ? error.message() : "it cannot be opened";
    return chunk;
  }
  chunk.state = FileState::Present;
  chunk.size = size;
  chunk.writeTime = UnixSeconds(written);
  if (count > 0 && offset < size) {
    chunk.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(count, size - offset)));
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(chunk.bytes.data(), static_cast<std::streamsize>(chunk.bytes.size()));
    chunk.bytes.resize(static_cast<std::size_t>(in.gcount()));
  }
  return chunk;
}

FolderListing StandardFileAccess::List(const std::string& folder) {
  FolderListing listing;
  std::error_code error;
  const fs::path p = PathOf(folder);
  if (!fs::exists(p, error)) return listing;
  fs::directory_iterator it(p, error);
  if (error) {
    listing.state = FileState::Unreadable;
    listing.error = error.message();
    return listing;
  }
  listing.state = FileState::Present;
  for (const fs::directory_entry& entry : it) {
    if (!entry.is_regular_file(error)) continue;
    const auto written = entry.last_write_time(error);
    if (error) continue;
    const std::u8string name = entry.path().filename().u8string();
    listing.files.push_back({std::string(name.begin(), name.end()), UnixSeconds(written)});
  }
  return listing;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '\\' || last == '/') return folder + name;
  return folder + (folder.find('\\') != std::string::npos ? "\\" : "/") + name;
}

}  // namespace corvane::monitor
