// What the file tests share: a file's bytes read while it may still be open for writing, and a
// disk that fills up.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "win/UniqueResource.h"

namespace corvane::win {

// The bytes of the file at `path` (up to 64 KiB), opened as a reader does while the file may
// still be open for writing: sharing reading and writing. "<none>" when it cannot be opened.
inline std::string SharedContents(const std::wstring& path) {
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "<none>";
  std::string bytes(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  return bytes;
}

// A disk that takes this many more bytes: a write that does not fit writes what fits, and the
// next one fails with ERROR_DISK_FULL, as WriteFile does on a full disk.
inline std::atomic<std::size_t> diskSpaceLeft{0};

inline BOOL WINAPI WriteUntilTheDiskIsFull(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                                           LPOVERLAPPED overlapped) {
  *written = 0;
  const auto fits = static_cast<DWORD>(std::min<std::size_t>(size, diskSpaceLeft));
  if (fits > 0 && !WriteFile(file, bytes, fits, written, overlapped)) return FALSE;
  diskSpaceLeft -= *written;
  if (*written == 0 && size > 0) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  return TRUE;
}

}  // namespace corvane::win
