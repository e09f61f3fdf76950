#include "hostkit/win/ScreenUser.h"

#include "dialogs/win/DialogIds.h"
#include "hostkit/win/DialogDriver.h"
#include "win/AutomationValues.h"

namespace corvane::hostkit {
namespace driver = hostkit::dialogs;
using namespace std::chrono_literals;

namespace {
constexpr const wchar_t* kMessageCaption = L"Corvane";
}

HWND UserActions::Dialog(const wchar_t* caption) {
  HWND dialog = driver::WaitForDialog(caption);
  if (!dialog) throw MissingWindow("no window \"" + win::Narrow(caption) + "\"");
  return dialog;
}

namespace {

// After OK: the dialog closes, or a message box comes up in front of it.
void WaitForOutcome(HWND dialog) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (IsWindow(dialog) && IsWindowVisible(dialog) && !driver::FindDialog(kMessageCaption)) {
    if (std::chrono::steady_clock::now() > deadline) throw MissingWindow("dialog did not react");
    Sleep(5);
  }
}

// The plug-in's message boxes offer an OK button and nothing else.
bool OffersOnlyOk(HWND box) {
  auto offered = [box](int id) {
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
  };
  if (!offered(IDOK)) return false;
  for (int id : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
    if (offered(id)) return false;
  }
  return true;
}

}  // namespace

void UserActions::AnswerInitial(std::optional<std::wstring> number1) {
  HWND dialog = Dialog(dialog_ids::kInitialExposureCaption);
  if (number1) driver::SetText(dialog, dialog_ids::kNumber1, *number1);
  driver::PressButton(dialog, dialog_ids::kOK);
  WaitForOutcome(dialog);
}

void UserActions::AnswerSetup(const std::array<std::optional<std::wstring>, 7>& numbers) {
  HWND dialog = Dialog(dialog_ids::kGuideSetupCaption);
  for (int n = 1; n <= 7; ++n) {
    if (const auto& text = numbers[static_cast<std::size_t>(n - 1)]) {
      driver::SetText(dialog, dialog_ids::Number(n), *text);
    }
  }
  driver::PressButton(dialog, dialog_ids::kOK);
  WaitForOutcome(dialog);
}

void UserActions::Cancel(const wchar_t* caption) {
  HWND dialog = Dialog(caption);
  driver::PressButton(dialog, dialog_ids::kCancel);
  driver::WaitUntilClosed(dialog);
}

void UserActions::CloseByCloseBox(const wchar_t* caption) {
  HWND dialog = Dialog(caption);
  driver::Close(dialog);
  driver::WaitUntilClosed(dialog);
}

std::wstring UserActions::DismissMessage() {
  HWND box = Dialog(kMessageCaption);
  std::wstring text = driver::MessageBoxText(box);
  user_.Note(text);
  if (!OffersOnlyOk(box))
    user_.Problem("the box \"" + win::Narrow(text) + "\" offers more than OK");
  driver::PressOk(box);
  driver::WaitUntilClosed(box);
  return text;
}

ScreenUser::ScreenUser(Script script, StandingAnswers answers)
    : thread_([this, script, answers] { Run(script, answers); }) {}

ScreenUser::~ScreenUser() {
  Finish();
}

void ScreenUser::Finish() {
  finishing_ = true;
  if (thread_.joinable()) thread_.join();
}

void ScreenUser::Run(Script script, StandingAnswers answers) {
  UserActions actions(*this);
  try {
    if (script) script(actions);
  } catch (const std::exception& missing) {
    Problem(missing.what());
  }
  // Whatever still comes up is answered or dismissed, so that the run on the host's thread ends.
  std::size_t initialAnswered = 0, setupAnswered = 0;
  auto answer = [&](HWND dialog, bool setup) {
    if (setup) {
      const auto& texts = answers.setup[setupAnswered++];
      for (int n = 1; n <= 7; ++n) {
        driver::SetText(dialog, dialog_ids::Number(n), texts[static_cast<std::size_t>(n - 1)]);
      }
    } else {
      driver::SetText(dialog, dialog_ids::kNumber1, answers.initial[initialAnswered++]);
    }
    driver::PressButton(dialog, dialog_ids::kOK);
    try {
      WaitForOutcome(dialog);
    } catch (const MissingWindow& stuck) {
      Problem(stuck.what());
    }
  };
  while (!finishing_) {
    if (HWND box = driver::FindDialog(kMessageCaption)) {
      const std::wstring text = driver::MessageBoxText(box);
      Note(text);
      if (!OffersOnlyOk(box)) Problem("the box \"" + win::Narrow(text) + "\" offers more than OK");
      driver::PressOk(box);
      driver::WaitUntilClosed(box, 5s);
    }
    // Each dialog is looked for once per pass and then answered, or cancelled when no answer is
    // left: looking again could find a window that came up in between and cancel it unanswered.
    bool acted = false;
    for (const bool setup : {false, true}) {
      const wchar_t* caption =
          setup ? dialog_ids::kGuideSetupCaption : dialog_ids::kInitialExposureCaption;
      HWND dialog = driver::FindDialog(caption);
      if (!dialog) continue;
      acted = true;
      if (setup ? setupAnswered < answers.setup.size() : initialAnswered < answers.initial.size()) {
        answer(dialog, setup);
      } else {
        Problem("dialog \"" + win::Narrow(caption) + "\" left open; cancelled");
        driver::PressButton(dialog, dialog_ids::kCancel);
        driver::WaitUntilClosed(dialog, 5s);
      }
    }
    if (!acted) Sleep(10);
  }
}

void ScreenUser::Note(std::wstring message) {
  std::lock_guard lock(mutex_);
  messages_.push_back(std::move(message));
}

void ScreenUser::Problem(std::string problem) {
  std::lock_guard lock(mutex_);
  problems_.push_back(std::move(problem));
}

std::vector<std::wstring> ScreenUser::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::string> ScreenUser::Problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

}  // namespace corvane::hostkit
