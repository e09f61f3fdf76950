// The user at the screen: a thread that answers the plug-in's dialogs and message boxes with the
// dialog driver, following a script, while the host's own thread is inside DoModal. When the
// script is done (or a window it waits for never comes) it answers each dialog that still comes
// up with its standing answers while they last, and otherwise dismisses whatever box or dialog
// appears, so that a plug-in that shows more than expected cannot hang its host; everything it
// saw is reported.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace corvane::hostkit {

class ScreenUser;

// What the script can do; each step waits for its window first.
class UserActions {
 public:
  explicit UserActions(ScreenUser& user) : user_(user) {}

  // "Initial Exposure": types the text (when given) and presses OK; returns when the dialog has
  // closed or a message box came up in front of it.
  void AnswerInitial(std::optional<std::wstring> number1 = std::nullopt);
  // "Guide star setup": types the given texts into Number1..Number7, ticks or clears "Predict
  // periodic error" when told, and presses OK.
  void AnswerSetup(const std::array<std::optional<std::wstring>, 7>& numbers = {},
                   std::optional<bool> predictPeriodicError = std::nullopt);
  void Cancel(const wchar_t* caption);           // the Cancel button
  void CloseByCloseBox(const wchar_t* caption);  // WM_CLOSE
  // Waits for the message box "Corvane", records its text and presses OK.
  std::wstring DismissMessage();
  // The dialog with this caption, waited for.
  HWND Dialog(const wchar_t* caption);

 private:
  ScreenUser& user_;
};

// Texts typed whenever a dialog comes up after the script, in order: into "Initial Exposure" each
// time it appears, and the seven numbers of "Guide star setup". Once they are used up, a dialog
// that comes up is cancelled (and reported as left open).
// The problem reported when "Predict periodic error" could not be ticked.
inline constexpr const char* kCannotTickPrediction =
    "no check box \"Predict periodic error\" to tick";

struct StandingAnswers {
  std::vector<std::wstring> initial;
  std::vector<std::array<std::wstring, 7>> setup;
  bool predictPeriodicError = false;  // "Guide star setup"'s check box, with each answer
};

class ScreenUser {
 public:
  using Script = std::function<void(UserActions&)>;

  explicit ScreenUser(Script script, StandingAnswers answers = {});
  ~ScreenUser();
  ScreenUser(const ScreenUser&) = delete;
  ScreenUser& operator=(const ScreenUser&) = delete;

  // Stops dismissing windows and waits for the thread.
  void Finish();

  // Every message box text seen, in order (also those dismissed after the script).
  std::vector<std::wstring> Messages() const;
  // Windows waited for in vain, and dialogs that were still open after the script.
  std::vector<std::string> Problems() const;

 private:
  friend class UserActions;
  void Run(Script script, StandingAnswers answers);
  void Note(std::wstring message);
  void Problem(std::string problem);

  mutable std::mutex mutex_;
  std::vector<std::wstring> messages_;
  std::vector<std::string> problems_;
  std::atomic<bool> finishing_{false};
  std::thread thread_;
};

// A window that the script waited for did not come.
class MissingWindow : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace corvane::hostkit
