// A text file written line by line that only ever holds whole lines (the guide log, the run's
// record): when a write fails part-way (a full disk), the file is cut back to the end of the last
// whole line before the failure is raised; a cut that fails is tried again before the next write,
// and nothing more is written until it succeeds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "win/UniqueResource.h"

namespace corvane::win {

class WholeLineFile {
 public:
  // WriteFile's shape; tests put a failing one in place, as a full disk cannot be made here.
  using WriteFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

  // `name` begins the failures' descriptions: "<name> <path> cannot be written: <why>".
  WholeLineFile(UniqueFile file, std::wstring path, std::string name,
                WriteFunction write = &WriteFile)
      : file_(std::move(file)), path_(std::move(path)), name_(std::move(name)), write_(write) {}
  WholeLineFile(const WholeLineFile&) = delete;
  WholeLineFile& operator=(const WholeLineFile&) = delete;

  // Each raises a RunFailure of kind File with the system's code when it fails.
  void Write(std::string_view bytes);
  void Flush();
  void Close();

  const std::wstring& Path() const { return path_; }

 private:
  bool CutBackToWholeLines() noexcept;
  [[noreturn]] void Fail(const char* what, HRESULT hr) const;

  UniqueFile file_;
  std::wstring path_;
  std::string name_;
  WriteFunction write_;
  std::uint64_t written_ = 0;     // bytes in the file
  std::uint64_t wholeLines_ = 0;  // bytes up to the end of the last whole line
};

}  // namespace corvane::win
