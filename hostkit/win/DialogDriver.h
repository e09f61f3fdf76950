// Drives the plug-in's dialogs and message boxes from another thread, as a user would: finds a
// visible dialog by caption, types into its text boxes, presses its buttons, reads a message
// box's text and dismisses it. Every function may be called from any thread. Button presses are
// posted, so a press that opens a message box never blocks the driver; texts are sent with a
// time-out.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <string_view>

namespace corvane::hostkit::dialogs {

using namespace std::chrono_literals;

inline constexpr const wchar_t* kDialogClass = L"#32770";
inline constexpr int kMessageBoxTextId = 0xFFFF;

// A visible top-level dialog window with exactly this caption, or nullptr.
HWND FindDialog(std::wstring_view caption);
// Waits for one; nullptr when none has appeared within the timeout.
HWND WaitForDialog(std::wstring_view caption, std::chrono::milliseconds timeout = 20s);
// Waits until the window is gone or hidden; false on timeout.
bool WaitUntilClosed(HWND window, std::chrono::milliseconds timeout = 20s);

// WM_SETTEXT / WM_GETTEXT on a control of the dialog, by control ID.
bool SetText(HWND dialog, int controlId, std::wstring_view text);
std::wstring GetText(HWND dialog, int controlId);
std::wstring Caption(HWND window);

// A check box's state (BM_GETCHECK / BM_SETCHECK, sent with a time-out); Checked is false when
// the dialog has no such control.
bool Checked(HWND dialog, int controlId);
bool SetChecked(HWND dialog, int controlId, bool checked);

// A button press, as WM_COMMAND BN_CLICKED posted to the dialog.
void PressButton(HWND dialog, int controlId);
// A button press, as BM_CLICK posted to the button.
void ClickButton(HWND dialog, int controlId);
// The close box: WM_CLOSE.
void Close(HWND window);

// A message box's text (its static control 0xFFFF) and its OK button.
std::wstring MessageBoxText(HWND box);
void PressOk(HWND box);

}  // namespace corvane::hostkit::dialogs
