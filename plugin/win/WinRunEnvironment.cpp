#include "plugin/win/WinRunEnvironment.h"

#include <windows.h>

#include "dialogs/win/DialogWindows.h"
#include "host/win/AutomationValues.h"
#include "plugin/win/GuideLogFileWin.h"

namespace corvane::win {

void ShowMessageBox(const std::string& text) {
  MessageBoxW(nullptr, Widen(text).c_str(), L"Corvane", MB_OK);
}

void WinRunEnvironment::ShowInitial(InitialDialog& dialog) {
  ShowInitialDialog(dialog, reader_);
}

void WinRunEnvironment::ShowSample(SampleDialog& dialog) {
  ShowSampleDialog(dialog, reader_);
}

void WinRunEnvironment::ShowMessage(const std::string& text) {
  ShowMessageBox(text);
}

void WinRunEnvironment::LetHostRun() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The host's own loop must still see it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void WinRunEnvironment::Sleep100ms() {
  Sleep(100);
}

void WinRunEnvironment::WaitForInput() {
  MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

std::unique_ptr<GuideLogFile> WinRunEnvironment::CreateGuideLog() {
  return CreateGuideLogFile(kGuideLogPath, DocumentsFolder(), ShowMessageBox);
}

}  // namespace corvane::win
