#include "hostkit/win/DialogDriver.h"

#include <thread>

namespace corvane::hostkit::dialogs {
namespace {

constexpr auto kPoll = 10ms;
constexpr UINT kSendTimeoutMs = 5000;

}  // namespace

std::wstring Caption(HWND window) {
  wchar_t text[512] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return {};
  }
  return std::wstring(text, copied);
}

HWND FindDialog(std::wstring_view caption) {
  const std::wstring wanted(caption);
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, kDialogClass, wanted.c_str())) != nullptr) {
    if (IsWindowVisible(window)) return window;
  }
  return nullptr;
}

HWND WaitForDialog(std::wstring_view caption, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (HWND found = FindDialog(caption)) return found;
    if (std::chrono::steady_clock::now() > deadline) return nullptr;
    std::this_thread::sleep_for(kPoll);
  }
}

bool WaitUntilClosed(HWND window, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

bool SetText(HWND dialog, int controlId, std::wstring_view text) {
  HWND control = GetDlgItem(dialog, controlId);
  if (!control) return false;
  const std::wstring value(text);
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0 &&
         result == TRUE;
}

std::wstring GetText(HWND dialog, int controlId) {
  HWND control = GetDlgItem(dialog, controlId);
  return control ? Caption(control) : std::wstring();
}

bool Checked(HWND dialog, int controlId) {
  HWND control = GetDlgItem(dialog, controlId);
  DWORD_PTR state = BST_UNCHECKED;
  if (!control ||
      !SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state)) {
    return false;
  }
  return state == BST_CHECKED;
}

bool SetChecked(HWND dialog, int controlId, bool checked) {
  HWND control = GetDlgItem(dialog, controlId);
  DWORD_PTR result = 0;
  return control != nullptr &&
         SendMessageTimeoutW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0,
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0;
}

void PressButton(HWND dialog, int controlId) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

void ClickButton(HWND dialog, int controlId) {
  if (HWND button = GetDlgItem(dialog, controlId)) PostMessageW(button, BM_CLICK, 0, 0);
}

void Close(HWND window) {
  PostMessageW(window, WM_CLOSE, 0, 0);
}

std::wstring MessageBoxText(HWND box) {
  return GetText(box, kMessageBoxTextId);
}

void PressOk(HWND box) {
  PressButton(box, IDOK);
}

}  // namespace corvane::hostkit::dialogs
