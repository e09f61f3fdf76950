// The guide log on disk: "c:\Corvane.csv", or Corvane.csv in the user's Documents folder when
// the root of C: cannot be written (a standard user may not create files there).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "guiding/RunEnvironment.h"

namespace corvane::win {

inline constexpr const wchar_t* kGuideLogPath = L"c:\\Corvane.csv";
inline constexpr const wchar_t* kGuideLogName = L"Corvane.csv";

// A file created (or emptied) for writing, shared for reading; written with WriteFile.
class WinGuideLogFile final : public GuideLogFile {
 public:
  WinGuideLogFile(HANDLE file, std::wstring path) : file_(file), path_(std::move(path)) {}
  ~WinGuideLogFile() override;
  WinGuideLogFile(const WinGuideLogFile&) = delete;
  WinGuideLogFile& operator=(const WinGuideLogFile&) = delete;

  void Write(std::string_view bytes) override;
  void Flush() override;
  void Close() override;

  const std::wstring& Path() const { return path_; }

 private:
  HANDLE file_;
  std::wstring path_;
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
