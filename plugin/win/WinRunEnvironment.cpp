#include "plugin/win/WinRunEnvironment.h"

#include <windows.h>

#include "dialogs/win/DialogWindows.h"
#include "plugin/win/GuideLogFileWin.h"
#include "plugin/win/RunRecordFileWin.h"
#include "win/AutomationValues.h"

namespace corvane::win {

void ShowMessageBox(const std::string& text) {
  MessageBoxW(nullptr, Widen(text).c_str(), L"Corvane", MB_OK);
}

std::optional<float> WinRunEnvironment::AskInitialExposure() {
  ShowInitialExposureDialog(dialogs_.InitialExposure, reader_);
  return dialogs_.InitialExposure.Answer();
}

std::optional<GuideSettings> WinRunEnvironment::AskGuideSettings() {
  ShowGuideSetupDialog(dialogs_.GuideSetup, reader_);
  return dialogs_.GuideSetup.Answer();
}

void WinRunEnvironment::ShowMessage(const std::string& text) {
  ShowMessageBox(text);
}

void WinRunEnvironment::LetHostRun() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Meant for the host's own loop: handed back when the run ends. Posting it again now would
      // wake every wait for input at once and turn the click waits into a busy loop.
      quitCode_ = static_cast<int>(message.wParam);
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

WinRunEnvironment::~WinRunEnvironment() {
  if (quitCode_) PostQuitMessage(*quitCode_);
}

void WinRunEnvironment::Sleep100ms() {
  Sleep(100);
}

std::int64_t WinRunEnvironment::Milliseconds() {
  return static_cast<std::int64_t>(GetTickCount64());
}

void WinRunEnvironment::WaitForInput() {
  MsgWaitForMultipleObjectsEx(0, nullptr, 50, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

std::unique_ptr<GuideLogFile> WinRunEnvironment::CreateGuideLog() {
  return CreateGuideLogFile(kGuideLogPath, DocumentsFolder(), [this](const std::string& text) {
    MessageShown(text);
    ShowMessageBox(text);
  });
}

namespace {

CivilTime Civil(const SYSTEMTIME& time) {
  return {time.wYear,   time.wMonth,  time.wDay,         time.wHour,
          time.wMinute, time.wSecond, time.wMilliseconds};
}

}  // namespace

WallTime WinRunEnvironment::WallClock() {
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  return {Civil(utc), Civil(local)};
}

std::unique_ptr<RunRecordFile> WinRunEnvironment::CreateRunRecord(const WallTime& start) {
  return CreateRunRecordFile(DocumentsFolder(), start.local);
}

}  // namespace corvane::win
