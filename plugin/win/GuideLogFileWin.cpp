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
