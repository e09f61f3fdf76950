// What a guiding run asks of Windows: the two dialog windows, message boxes, letting the host
// run (one pass over the thread's pending messages), the 100 ms sleep, the wait for input of the
// click waits, the clocks, the guide log file and the run's record.
#pragma once

#include <optional>

#include "dialogs/Dialogs.h"
#include "dialogs/win/OleNumberReader.h"
#include "guiding/RunEnvironment.h"

namespace corvane::win {

// A modal message box: the text, OK, the caption "Corvane"; no owner window.
void ShowMessageBox(const std::string& text);

class WinRunEnvironment final : public RunEnvironment {
 public:
  // The questions are asked with the module's dialogs, which keep their values between runs.
  explicit WinRunEnvironment(ModuleDialogs& dialogs) : dialogs_(dialogs) {}
  ~WinRunEnvironment() override;
  WinRunEnvironment(const WinRunEnvironment&) = delete;
  WinRunEnvironment& operator=(const WinRunEnvironment&) = delete;

  std::optional<float> AskInitialExposure() override;
  std::optional<GuideSettings> AskGuideSettings() override;
  void ShowMessage(const std::string& text) override;
  void LetHostRun() override;
  void Sleep100ms() override;
  void WaitForInput() override;
  std::int64_t Milliseconds() override;
  std::unique_ptr<GuideLogFile> CreateGuideLog() override;
  WallTime WallClock() override;
  std::unique_ptr<RunRecordFile> CreateRunRecord(const WallTime& start) override;

 private:
  ModuleDialogs& dialogs_;
  OleNumberReader reader_;
  std::optional<int> quitCode_;  // a WM_QUIT taken from the queue while letting the host run
};

}  // namespace corvane::win
