#include <windows.h>

#include "monitor/win/WinFileAccess.h"

#include "win/AutomationValues.h"
#include "win/Failures.h"
#include "win/UniqueResource.h"

namespace corvane::monitor {
namespace {

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

std::string Reason(DWORD error) {
  return win::FailureReason(HRESULT_FROM_WIN32(error));
}

}  // namespace

double UnixSeconds(const FILETIME& time) {
  const auto ticks = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                     time.dwLowDateTime;  // 100 ns since 1601
  return (static_cast<double>(ticks) - 116444736000000000.0) / 1e7;
}

double NowSeconds() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return UnixSeconds(now);
}

FileChunk WinFileAccess::Read(const std::string& path, std::uint64_t offset, std::size_t count) {
  FileChunk chunk;
  const win::UniqueFile file(CreateFileW(win::Widen(path).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    chunk.state = IsMissing(error) ? FileState::Missing : FileState::Unreadable;
    chunk.error = Reason(error);
    return chunk;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.Get(), &info)) {
    chunk.state = FileState::Unreadable;
    chunk.error = Reason(GetLastError());
    return chunk;
  }
  chunk.state = FileState::Present;
  chunk.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  chunk.writeTime = static_cast<std::int64_t>(UnixSeconds(info.ftLastWriteTime));
  if (count == 0 || offset >= chunk.size) return chunk;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) {
    chunk.state = FileState::Unreadable;
    chunk.error = Reason(GetLastError());
    return chunk;
  }
  chunk.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(count, chunk.size - offset)));
  std::size_t done = 0;
  while (done < chunk.bytes.size()) {
    DWORD read = 0;
    const auto want =
        static_cast<DWORD>(std::min<std::size_t>(chunk.bytes.size() - done, 1u << 20));
    if (!ReadFile(file.Get(), chunk.bytes.data() + done, want, &read, nullptr)) {
      chunk.state = FileState::Unreadable;
      chunk.error = Reason(GetLastError());
      chunk.bytes.clear();
      return chunk;
    }
    if (read == 0) break;  // the file was cut meanwhile
    done += read;
  }
  chunk.bytes.resize(done);
  return chunk;
}

FolderListing WinFileAccess::List(const std::string& folder) {
  FolderListing listing;
  std::wstring pattern = win::Widen(folder);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found{};
  const HANDLE search =
      FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return listing;
    listing.state = FileState::Unreadable;
    listing.error = Reason(error);
    return listing;
  }
  listing.state = FileState::Present;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    listing.files.push_back({win::Narrow(found.cFileName),
                             static_cast<std::int64_t>(UnixSeconds(found.ftLastWriteTime))});
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return listing;
}

}  // namespace corvane::monitor
