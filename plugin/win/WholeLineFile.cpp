#include "plugin/win/WholeLineFile.h"

#include <algorithm>

#include "base/RunFailure.h"
#include "win/AutomationValues.h"
#include "win/Failures.h"

namespace corvane::win {

namespace {

HRESULT LastError() {
  const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
  return FAILED(hr) ? hr : E_FAIL;
}

}  // namespace

void WholeLineFile::Fail(const char* what, HRESULT hr) const {
  throw RunFailure(FailureKind::File, FailureDescription(name_ + " " + Narrow(path_) + what, hr),
                   static_cast<std::int32_t>(hr));
}

void WholeLineFile::Write(std::string_view bytes) {
  if (!file_) Fail(" is closed", E_HANDLE);
  // A part line left by an earlier failure goes first, or nothing is written after it.
  if (written_ != wholeLines_ && !CutBackToWholeLines()) Fail(" cannot be written", LastError());
  while (!bytes.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    if (!write_(file_.Get(), bytes.data(), chunk, &written, nullptr) || written == 0) {
      const HRESULT hr = LastError();
      written_ += written;
      CutBackToWholeLines();
      Fail(" cannot be written", hr);
    }
    written_ += written;
    const std::string_view done = bytes.substr(0, written);
    if (const auto end = done.rfind('\n'); end != std::string_view::npos) {
      wholeLines_ = written_ - (done.size() - end - 1);
    }
    bytes.remove_prefix(written);
  }
}

bool WholeLineFile::CutBackToWholeLines() noexcept {
  // Best effort: the write's own failure is the one reported.
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(wholeLines_);
  if (SetFilePointerEx(file_.Get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file_.Get())) {
    written_ = wholeLines_;
    return true;
  }
  return false;
}

void WholeLineFile::Flush() {
  if (file_ && !FlushFileBuffers(file_.Get())) Fail(" cannot be written", LastError());
}

void WholeLineFile::Close() {
  if (!file_) return;
  if (written_ != wholeLines_) CutBackToWholeLines();
  if (!CloseHandle(file_.Release())) Fail(" cannot be closed", LastError());
}

}  // namespace corvane::win
