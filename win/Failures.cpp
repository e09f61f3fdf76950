#include "win/Failures.h"

#include <cstdio>

#include "win/AutomationValues.h"
#include "win/UniqueResource.h"

namespace corvane::win {

std::string SystemText(HRESULT hr) {
  UniqueLocalMem<wchar_t> buffer;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(buffer.Receive()), 0, nullptr);
  std::wstring text(buffer ? buffer.Get() : L"", buffer ? length : 0);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  return Narrow(text);
}

std::string FailureReason(HRESULT hr) {
  std::string reason = SystemText(hr);
  if (reason.empty()) {
    char number[32];
    std::snprintf(number, sizeof number, "error 0x%08lX", static_cast<unsigned long>(hr));
    reason = number;
  }
  return reason;
}

std::string FailureDescription(std::string_view what, HRESULT hr) {
  return std::string(what) + ": " + FailureReason(hr);
}

}  // namespace corvane::win
