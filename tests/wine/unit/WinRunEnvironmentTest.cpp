// Letting the host run: every pending message is dispatched on this thread, and a WM_QUIT meant
// for the host's loop goes back to it when the run ends instead of waking the waits.
#include <gtest/gtest.h>

#include <windows.h>

#include "plugin/win/WinRunEnvironment.h"
#include "win/UniqueResource.h"

namespace corvane::win {
namespace {

int received = 0;

LRESULT CALLBACK CountingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) ++received;
  return DefWindowProcW(window, message, wParam, lParam);
}

// A window of the "host" that counts the WM_APP messages it gets.
class HostWindow {
 public:
  HostWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = CountingProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"CorvaneTestHostWindow";
    RegisterClassW(&windowClass);
    window_.Reset(CreateWindowExW(0, L"CorvaneTestHostWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, GetModuleHandleW(nullptr), nullptr));
  }
  HWND Get() const { return window_.Get(); }

 private:
  corvane::win::UniqueWindow window_;
};

bool QuitPending(int* code) {
  MSG message;
  if (!PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
  *code = static_cast<int>(message.wParam);
  return true;
}

TEST(LetHostRun, DispatchesEveryPendingMessage) {
  HostWindow host;
  ASSERT_NE(host.Get(), nullptr);
  received = 0;
  for (int i = 0; i < 3; ++i) PostMessageW(host.Get(), WM_APP, 0, 0);
  ModuleDialogs dialogs;
  WinRunEnvironment environment(dialogs);
  environment.LetHostRun();
  EXPECT_EQ(received, 3);
  MSG left;
  EXPECT_FALSE(PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(LetHostRun, AQuitMessageGoesBackToTheHostWhenTheRunEnds) {
  int code = 0;
  {
    ModuleDialogs dialogs;
    WinRunEnvironment environment(dialogs);
    PostQuitMessage(7);
    environment.LetHostRun();
    EXPECT_FALSE(QuitPending(&code));
    // Nothing wakes the wait for input any more.
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE),
              static_cast<DWORD>(WAIT_TIMEOUT));
  }
  EXPECT_TRUE(QuitPending(&code));
  EXPECT_EQ(code, 7);
}

}  // namespace
}  // namespace corvane::win
