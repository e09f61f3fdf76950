// What a guiding run asks of Windows: the two dialog windows, message boxes, letting the host
// run (one pass over the thread's pending messages), the 100 ms sleep, the wait for input of the
// click waits, and the guide log file.
#pragma once

#include <optional>

#include "dialogs/win/OleNumberReader.h"
#include "guiding/RunEnvironment.h"

namespace corvane::win {

// A modal message box: the text, OK, the caption "Corvane"; no owner window.
void ShowMessageBox(const std::string& text);

class WinRunEnvironment final : public RunEnvironment {
 public:
  WinRunEnvironment() = default;
  ~WinRunEnvironment() override;
  WinRunEnvironment(const WinRunEnvironment&) = delete;
  WinRunEnvironment& operator=(const WinRunEnvironment&) = delete;

  void ShowInitial(InitialDialog& dialog) override;
  void ShowSample(SampleDialog& dialog) override;
  void ShowMessage(const std::string& text) override;
  void LetHostRun() override;
  void Sleep100ms() override;
  void WaitForInput() override;
  std::unique_ptr<GuideLogFile> CreateGuideLog() override;

 private:
  OleNumberReader reader_;
  std::optional<int> quitCode_;  // a WM_QUIT taken from the queue while letting the host run
};

}  // namespace corvane::win
