#include "plugin/win/GuideLogFileWin.h"

#include <shlobj.h>

#include "guiding/RunFailure.h"
#include "host/win/AutomationValues.h"
#include "host/win/Dispatch.h"

namespace corvane::win {

namespace {

HRESULT LastError() {
  const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
  return FAILED(hr) ? hr : E_FAIL;
}

[[noreturn]] void ThrowFileFailure(const std::string& what, HRESULT hr) {
  throw RunFailure(FailureKind::File, what + ": " + SystemText(hr), static_cast<std::int32_t>(hr));
}

HANDLE CreateForWriting(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

WinGuideLogFile::~WinGuideLogFile() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

void WinGuideLogFile::Write(std::string_view bytes) {
  if (file_ == INVALID_HANDLE_VALUE) {
    ThrowFileFailure("The guide log " + Narrow(path_) + " is closed", E_HANDLE);
  }
  while (!bytes.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    if (!WriteFile(file_, bytes.data(), chunk, &written, nullptr) || written == 0) {
      ThrowFileFailure("The guide log " + Narrow(path_) + " cannot be written", LastError());
    }
    bytes.remove_prefix(written);
  }
}

void WinGuideLogFile::Flush() {
  if (file_ != INVALID_HANDLE_VALUE && !FlushFileBuffers(file_)) {
    ThrowFileFailure("The guide log " + Narrow(path_) + " cannot be written", LastError());
  }
}

void WinGuideLogFile::Close() {
  if (file_ == INVALID_HANDLE_VALUE) return;
  const HANDLE file = std::exchange(file_, INVALID_HANDLE_VALUE);
  if (!CloseHandle(file)) {
    ThrowFileFailure("The guide log " + Narrow(path_) + " cannot be closed", LastError());
  }
}

std::wstring DocumentsFolder() {
  PWSTR folder = nullptr;
  std::wstring path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &folder))) path = folder;
  CoTaskMemFree(folder);
  return path;
}

std::unique_ptr<WinGuideLogFile> CreateGuideLogFile(
    const std::wstring& primary, const std::wstring& fallbackFolder,
    const std::function<void(const std::string&)>& tell) {
  HANDLE file = CreateForWriting(primary);
  if (file != INVALID_HANDLE_VALUE) return std::make_unique<WinGuideLogFile>(file, primary);
  const HRESULT primaryError = LastError();

  if (!fallbackFolder.empty()) {
    std::wstring fallback = fallbackFolder;
    if (fallback.back() != L'\\' && fallback.back() != L'/') fallback += L'\\';
    fallback += kGuideLogName;
    file = CreateForWriting(fallback);
    if (file != INVALID_HANDLE_VALUE) {
      auto log = std::make_unique<WinGuideLogFile>(file, fallback);
      tell("The guide log cannot be written to " + Narrow(primary) + ". It is written to " +
           Narrow(fallback) + " instead.");
      return log;
    }
  }
  ThrowFileFailure(
      "The guide log cannot be created at " + Narrow(primary) +
          (fallbackFolder.empty() ? std::string() : " nor in " + Narrow(fallbackFolder)),
      primaryError);
}

}  // namespace corvane::win
