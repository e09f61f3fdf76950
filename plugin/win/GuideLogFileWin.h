// The guide log on disk: "c:\Corvane.csv", or Corvane.csv in the user's Documents folder when
// the root of C: cannot be written (a standard user may not create files there).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "guiding/RunEnvironment.h"
#include "win/UniqueResource.h"

namespace corvane::win {

inline constexpr const wchar_t* kGuideLogPath = L"c:\\Corvane.csv";
inline constexpr const wchar_t* kGuideLogName = L"Corvane.csv";

// A file created (or emptied) for writing, shared for reading; written with WriteFile. It only
// ever holds whole lines: when a write fails part-way (a full disk), the file is cut back to the
// end of the last whole line before the failure is raised.
class WinGuideLogFile final : public GuideLogFile {
 public:
  // WriteFile's shape; tests put a failing one in place, as a full disk cannot be made here.
  using WriteFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

  WinGuideLogFile(UniqueFile file, std::wstring path, WriteFunction write = &WriteFile)
      : file_(std::move(file)), path_(std::move(path)), write_(write) {}
  WinGuideLogFile(const WinGuideLogFile&) = delete;
  WinGuideLogFile& operator=(const WinGuideLogFile&) = delete;

  void Write(std::string_view bytes) override;
  void Flush() override;
  void Close() override;

  const std::wstring& Path() const { return path_; }

 private:
  void CutBackToWholeLines() noexcept;

  UniqueFile file_;
  std::wstring path_;
  WriteFunction write_;
  std::uint64_t written_ = 0;     // bytes in the file
  std::uint64_t wholeLines_ = 0;  // bytes up to the end of the last whole line
};

// The user's Documents folder ("" when it cannot be found).
std::wstring DocumentsFolder();

// Creates the log at `primary`; when that fails, at `fallbackFolder`\Corvane.csv, and then tells
// the user once through `tell` where it is written. Raises RunFailure(File) with the HRESULT of
// the first failure when neither can be created.
std::unique_ptr<WinGuideLogFile> CreateGuideLogFile(
    const std::wstring& primary, const std::wstring& fallbackFolder,
    const std::function<void(const std::string&)>& tell);

}  // namespace corvane::win
