// The guide log on disk: "c:\Corvane.csv", or Corvane.csv in the user's Documents folder when
// the root of C: cannot be written (a standard user may not create files there).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "guiding/RunEnvironment.h"
#include "plugin/win/WholeLineFile.h"
#include "win/UniqueResource.h"

namespace corvane::win {

inline constexpr const wchar_t* kGuideLogPath = L"c:\\Corvane.csv";
inline constexpr const wchar_t* kGuideLogName = L"Corvane.csv";

// A file created (or emptied) for writing, shared for reading; written with WriteFile. It only
// ever holds whole lines (WholeLineFile).
class WinGuideLogFile final : public GuideLogFile {
 public:
  using WriteFunction = WholeLineFile::WriteFunction;

  WinGuideLogFile(UniqueFile file, std::wstring path, WriteFunction write = &WriteFile)
      : file_(std::move(file), std::move(path), "The guide log", write) {}

  void Write(std::string_view bytes) override { file_.Write(bytes); }
  void Flush() override { file_.Flush(); }
  void Close() override { file_.Close(); }

  const std::wstring& Path() const { return file_.Path(); }

 private:
  WholeLineFile file_;
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
