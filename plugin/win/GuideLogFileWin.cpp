#include "plugin/win/GuideLogFileWin.h"

#include <shlobj.h>

#include "base/RunFailure.h"
#include "host/win/Dispatch.h"
#include "win/AutomationValues.h"

namespace corvane::win {

namespace {

HRESULT LastError() {
  const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
  return FAILED(hr) ? hr : E_FAIL;
}

[[noreturn]] void ThrowFileFailure(const std::string& what, HRESULT hr) {
  throw RunFailure(FailureKind::File, FailureDescription(what, hr), static_cast<std::int32_t>(hr));
}

UniqueFile CreateForWriting(const std::wstring& path) {
  return UniqueFile(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

void WinGuideLogFile::Write(std::string_view bytes) {
  if (!file_) ThrowFileFailure("The guide log " + Narrow(path_) + " is closed", E_HANDLE);
  while (!bytes.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    if (!write_(file_.Get(), bytes.data(), chunk, &written, nullptr) || written == 0) {
      const HRESULT hr = LastError();
      CutBackToWholeLines();
      ThrowFileFailure("The guide log " + Narrow(path_) + " cannot be written", hr);
    }
    written_ += written;
    const std::string_view done = bytes.substr(0, written);
    if (const auto end = done.rfind('\n'); end != std::string_view::npos) {
      wholeLines_ = written_ - (done.size() - end - 1);
    }
    bytes.remove_prefix(written);
  }
}

void WinGuideLogFile::CutBackToWholeLines() noexcept {
  // Best effort: the write's own failure is the one reported.
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(wholeLines_);
  if (SetFilePointerEx(file_.Get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file_.Get())) {
    written_ = wholeLines_;
  }
}

void WinGuideLogFile::Flush() {
  if (file_ && !FlushFileBuffers(file_.Get())) {
    ThrowFileFailure("The guide log " + Narrow(path_) + " cannot be written", LastError());
  }
}

void WinGuideLogFile::Close() {
  if (!file_) return;
  if (!CloseHandle(file_.Release())) {
    ThrowFileFailure("The guide log " + Narrow(path_) + " cannot be closed", LastError());
  }
}

std::wstring DocumentsFolder() {
  UniqueCoTaskMem<wchar_t> folder;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, folder.Receive()))) return {};
  return folder.Get();
}

std::unique_ptr<WinGuideLogFile> CreateGuideLogFile(
    const std::wstring& primary, const std::wstring& fallbackFolder,
    const std::function<void(const std::string&)>& tell) {
  // The file has its owner before anything that may throw (the allocations below).
  UniqueFile file = CreateForWriting(primary);
  if (file) return std::make_unique<WinGuideLogFile>(std::move(file), primary);
  const HRESULT primaryError = LastError();

  if (!fallbackFolder.empty()) {
    std::wstring fallback = fallbackFolder;
    if (fallback.back() != L'\\' && fallback.back() != L'/') fallback += L'\\';
    fallback += kGuideLogName;
    file = CreateForWriting(fallback);
    if (file) {
      auto log = std::make_unique<WinGuideLogFile>(std::move(file), fallback);
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
