// The two dialog windows, shown on this thread and driven from another one as a user would
// drive them: their look as designed (texts, sizes from twips, tooltips, tab order, focus, no
// visible owner, centred) and their behaviour (OK, Enter, Esc, the close box, "Please enter a
// number" with the window staying open).
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "dialogs/Dialogs.h"
#include "dialogs/win/DialogIds.h"
#include "dialogs/win/DialogWindows.h"
#include "dialogs/win/OleNumberReader.h"
#include "hostkit/win/DialogDriver.h"
#include "win/AutomationValues.h"
#include "win/UniqueResource.h"

namespace corvane::win {
namespace {

namespace ids = dialog_ids;
namespace driver = hostkit::dialogs;

// What the driver saw of a window while it was open.
struct Seen {
  bool found = false;
  std::map<int, std::wstring> texts;
  SIZE client{};
  SIZE expectedClient{};
  POINT centreOffset{};
  LONG_PTR style = 0;
  bool hasHiddenOwner = false;
  int focus = 0;
  std::vector<int> tabOrder;
  std::vector<std::wstring> tooltips;
  std::wstring rejection;
  std::wstring textAfterRejection;
  bool openAfterRejection = false;
  std::vector<std::string> clipped;  // controls whose text does not fit, with the figures
  std::string font;                  // the labels' font: face and height in pixels
};

int DpiX() {
  return GetDeviceCaps(corvane::win::GetWindowDc(nullptr).Get().dc, LOGPIXELSX);
}

int DpiY() {
  return GetDeviceCaps(corvane::win::GetWindowDc(nullptr).Get().dc, LOGPIXELSY);
}

struct TooltipSearch {
  HWND dialog;
  std::vector<std::wstring> texts;
};

BOOL CALLBACK CollectTooltips(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<TooltipSearch*>(parameter);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (std::wstring(name) != TOOLTIPS_CLASSW || GetWindow(window, GW_OWNER) != search.dialog) {
    return TRUE;
  }
  const auto count = SendMessageW(window, TTM_GETTOOLCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[512] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.lpszText = text;
    SendMessageW(window, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tool));
    search.texts.push_back(text);
  }
  return TRUE;
}

// The texts of the tooltips the dialog owns.
std::vector<std::wstring> TooltipsOf(HWND dialog, DWORD thread) {
  TooltipSearch search{dialog, {}};
  EnumThreadWindows(thread, CollectTooltips, reinterpret_cast<LPARAM>(&search));
  return search.texts;
}

// What the control cannot show of its text in the font it was given ("" when it shows all): a
// label wraps its words within its width and must not need more lines than its height holds; a
// text box and a button show one line; nothing may be wider than its control.
std::string Clipping(HWND control, std::string* font = nullptr) {
  wchar_t className[32] = {};
  GetClassNameW(control, className, 32);
  const std::wstring kind = className;
  const std::wstring text = driver::GetText(GetParent(control), GetDlgCtrlID(control));
  RECT room;
  GetClientRect(control, &room);
  if (_wcsicmp(kind.c_str(), L"Edit") == 0) {
    SendMessageW(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
  } else if (_wcsicmp(kind.c_str(), L"Button") == 0) {
    InflateRect(&room, -3, -3);  // the button's edges
  }
  const int width = room.right - room.left, height = room.bottom - room.top;
  const corvane::win::UniqueWindowDc owned = corvane::win::GetWindowDc(control);
  const HDC dc = owned.Get().dc;
  const HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  RECT needed{0, 0, width, 0};
  const bool label = _wcsicmp(kind.c_str(), L"Static") == 0;
  DrawTextW(dc, text.c_str(), -1, &needed,
            DT_CALCRECT | (label ? DT_WORDBREAK | DT_NOPREFIX : DT_SINGLELINE));
  SelectObject(dc, old);
  if (font != nullptr) *font = Narrow(face) + " " + std::to_string(metrics.tmHeight) + " px";
  // The stored layout gives a two-line label a pixel less than two lines' height: the lowest
  // rows of the descent may go, a line may not.
  if (needed.right <= width && needed.bottom - metrics.tmDescent / 2 <= height) return {};
  return Narrow(text) + " in " + Narrow(face) + " " + std::to_string(metrics.tmHeight) +
         " px: needs " + std::to_string(needed.right) + "x" + std::to_string(needed.bottom) +
         ", has " + std::to_string(width) + "x" + std::to_string(height);
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string joined;
  for (const auto& line : lines) joined += line + "\n";
  return joined;
}

// Looks at the open window: everything in Seen but the rejection.
void Look(HWND dialog, DWORD thread, std::initializer_list<int> controls, int clientTwipsWidth,
          int clientTwipsHeight, Seen& seen) {
  seen.found = true;
  for (int id : controls) seen.texts[id] = driver::GetText(dialog, id);
  RECT client;
  GetClientRect(dialog, &client);
  seen.client = {client.right, client.bottom};
  seen.expectedClient = {MulDiv(clientTwipsWidth, DpiX(), 1440),
                         MulDiv(clientTwipsHeight, DpiY(), 1440)};
  RECT frame;
  GetWindowRect(dialog, &frame);
  seen.centreOffset = {(frame.left + frame.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2,
                       (frame.top + frame.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2};
  seen.style = GetWindowLongPtrW(dialog, GWL_STYLE);
  HWND owner = GetWindow(dialog, GW_OWNER);
  seen.hasHiddenOwner = owner != nullptr && !IsWindowVisible(owner);
  GUITHREADINFO gui{};
  gui.cbSize = sizeof(GUITHREADINFO);
  GetGUIThreadInfo(thread, &gui);
  seen.focus = GetDlgCtrlID(gui.hwndFocus);
  HWND first = GetDlgItem(dialog, seen.focus);
  HWND next = first;
  do {
    seen.tabOrder.push_back(GetDlgCtrlID(next));
    next = GetNextDlgTabItem(dialog, next, FALSE);
  } while (next != nullptr && next != first && seen.tabOrder.size() < 20);
  seen.tooltips = TooltipsOf(dialog, thread);
  for (int id : controls) {
    if (auto clipping = Clipping(GetDlgItem(dialog, id), &seen.font); !clipping.empty()) {
      seen.clipped.push_back(clipping);
    }
  }
  for (int id : {ids::kOK, ids::kCancel}) {
    if (auto clipping = Clipping(GetDlgItem(dialog, id)); !clipping.empty()) {
      seen.clipped.push_back(clipping);
    }
  }
}

// Types `text` into `textBox`, presses OK and answers the message box that follows.
void TypeAndBeRejected(HWND dialog, int textBox, const wchar_t* text, Seen& seen) {
  driver::SetText(dialog, textBox, text);
  driver::PressButton(dialog, ids::kOK);
  HWND box = driver::WaitForDialog(L"Corvane", std::chrono::seconds(10));
  if (box == nullptr) return;
  seen.rejection = driver::MessageBoxText(box);
  driver::PressOk(box);
  driver::WaitUntilClosed(box, std::chrono::seconds(10));
  seen.openAfterRejection = IsWindow(dialog) && IsWindowVisible(dialog);
  seen.textAfterRejection = driver::GetText(dialog, textBox);
}

// Shows the window on this thread while `drive` works it from another.
void ShowWhileDriving(const std::function<void()>& show,
                      const std::function<void(DWORD uiThread)>& drive) {
  const DWORD uiThread = GetCurrentThreadId();
  std::thread driverThread([&] { drive(uiThread); });
  std::exception_ptr failure;
  try {
    show();
  } catch (...) {
    failure = std::current_exception();
  }
  driverThread.join();
  if (failure) std::rethrow_exception(failure);
}

class DialogWindows : public ::testing::Test {
 protected:
  OleNumberReader reader;
};

TEST_F(DialogWindows, InitialExposureLooksAsDesigned) {
  InitialExposureDialog model;
  Seen seen;
  ShowWhileDriving([&] { ShowInitialExposureDialog(model, reader); },
                   [&](DWORD thread) {
                     HWND dialog = driver::WaitForDialog(ids::kInitialExposureCaption);
                     if (dialog == nullptr) return;
                     Look(dialog, thread, {ids::kNumber1, ids::kLabel1, ids::kOK, ids::kCancel},
                          3735, 1740, seen);
                     driver::Close(dialog);
                   });
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.texts[ids::kNumber1], L"6");
  EXPECT_EQ(seen.texts[ids::kLabel1], L"Enter initial exposure duration");
  EXPECT_EQ(seen.texts[ids::kOK], L"&OK");
  EXPECT_EQ(seen.texts[ids::kCancel], L"&Cancel");
  EXPECT_TRUE(seen.clipped.empty()) << Joined(seen.clipped);
  std::printf("Font: %s\n", seen.font.c_str());
  EXPECT_EQ(seen.client.cx, seen.expectedClient.cx);
  EXPECT_EQ(seen.client.cy, seen.expectedClient.cy);
  EXPECT_LE(std::abs(seen.centreOffset.x), 1);
  EXPECT_LE(std::abs(seen.centreOffset.y), 1);
  EXPECT_EQ(seen.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
  EXPECT_NE(seen.style & WS_SYSMENU, 0);  // the close box
  EXPECT_TRUE(seen.hasHiddenOwner);       // so it stays out of the taskbar
  EXPECT_EQ(seen.focus, ids::kNumber1);
  EXPECT_EQ(seen.tabOrder, (std::vector<int>{ids::kNumber1, ids::kOK, ids::kCancel}));
  EXPECT_EQ(seen.tooltips, std::vector<std::wstring>{
                               L"Exposure duration for a full frame image to allow guide star "
                               L"selection"});
  EXPECT_FALSE(model.DataValid());  // closed by the close box: cancelled
}

TEST_F(DialogWindows, InitialExposureRejectsTextThatIsNoNumberAndStaysOpen) {
  InitialExposureDialog model;
  Seen seen;
  ShowWhileDriving([&] { ShowInitialExposureDialog(model, reader); },
                   [&](DWORD) {
                     HWND dialog = driver::WaitForDialog(ids::kInitialExposureCaption);
                     if (dialog == nullptr) return;
                     seen.found = true;
                     TypeAndBeRejected(dialog, ids::kNumber1, L"abc", seen);
                     driver::SetText(dialog, ids::kNumber1, L"2.5");
                     driver::ClickButton(dialog, ids::kOK);
                     if (!driver::WaitUntilClosed(dialog, std::chrono::seconds(10))) {
                       driver::Close(dialog);
                     }
                   });
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.rejection, L"Please enter a number");
  EXPECT_TRUE(seen.openAfterRejection);
  EXPECT_EQ(seen.textAfterRejection, L"abc");
  EXPECT_TRUE(model.DataValid());
  EXPECT_EQ(model.GetDuration(), 2.5f);
}

TEST_F(DialogWindows, EnterPressesOkAndEscPressesCancel) {
  InitialExposureDialog model;
  bool found = false;
  ShowWhileDriving([&] { ShowInitialExposureDialog(model, reader); },
                   [&](DWORD) {
                     HWND dialog = driver::WaitForDialog(ids::kInitialExposureCaption);
                     if (dialog == nullptr) return;
                     found = true;
                     driver::SetText(dialog, ids::kNumber1, L"4");
                     PostMessageW(GetDlgItem(dialog, ids::kNumber1), WM_KEYDOWN, VK_RETURN, 0);
                     if (!driver::WaitUntilClosed(dialog, std::chrono::seconds(10))) {
                       driver::Close(dialog);
                     }
                   });
  ASSERT_TRUE(found);
  EXPECT_TRUE(model.DataValid());
  EXPECT_EQ(model.GetDuration(), 4.0f);

  GuideSetupDialog sample;
  found = false;
  ShowWhileDriving([&] { ShowGuideSetupDialog(sample, reader); },
                   [&](DWORD) {
                     HWND dialog = driver::WaitForDialog(ids::kGuideSetupCaption);
                     if (dialog == nullptr) return;
                     found = true;
                     PostMessageW(GetDlgItem(dialog, ids::kOK), WM_KEYDOWN, VK_ESCAPE, 0);
                     if (!driver::WaitUntilClosed(dialog, std::chrono::seconds(10))) {
                       driver::Close(dialog);
                     }
                   });
  ASSERT_TRUE(found);
  EXPECT_FALSE(sample.DataValid());
}

TEST_F(DialogWindows, AltWithTheUnderlinedLetterPressesTheButton) {
  // Alt+C on the first showing: Cancel. Alt+O on the second: OK.
  InitialExposureDialog model;
  for (const wchar_t key : {L'c', L'o'}) {
    bool found = false;
    bool closedByKey = false;
    ShowWhileDriving([&] { ShowInitialExposureDialog(model, reader); },
                     [&](DWORD) {
                       HWND dialog = driver::WaitForDialog(ids::kInitialExposureCaption);
                       if (dialog == nullptr) return;
                       found = true;
                       constexpr LPARAM kAltDown = 1 << 29;
                       PostMessageW(GetDlgItem(dialog, ids::kNumber1), WM_SYSCHAR, key,
                                    kAltDown | 1);
                       closedByKey = driver::WaitUntilClosed(dialog, std::chrono::seconds(5));
                       if (!closedByKey) driver::Close(dialog);
                     });
    ASSERT_TRUE(found);
    EXPECT_TRUE(closedByKey) << static_cast<char>(key);
    EXPECT_EQ(model.DataValid(), key == L'o') << static_cast<char>(key);
  }
  EXPECT_EQ(model.GetDuration(), 6.0f);
}

TEST_F(DialogWindows, GuideStarSetupLooksAsDesigned) {
  GuideSetupDialog model;
  Seen seen;
  ShowWhileDriving([&] { ShowGuideSetupDialog(model, reader); },
                   [&](DWORD thread) {
                     HWND dialog = driver::WaitForDialog(ids::kGuideSetupCaption);
                     if (dialog == nullptr) return;
                     Look(dialog, thread,
                          {ids::kNumber1, ids::kNumber2, ids::kNumber3, ids::kNumber4,
                           ids::kNumber5, ids::kNumber6, ids::kNumber7, ids::kLabel1, ids::kLabel2,
                           ids::kLabel3, ids::kLabel4, ids::kLabel5, ids::kLabel6, ids::kLabel7},
                          3360, 4695, seen);
                     driver::ClickButton(dialog, ids::kOK);
                     if (!driver::WaitUntilClosed(dialog, std::chrono::seconds(10)))
                       driver::Close(dialog);
                   });
  ASSERT_TRUE(seen.found);
  const std::map<int, std::wstring> designed = {{ids::kNumber1, L"5"},
                                                {ids::kNumber2, L"3"},
                                                {ids::kNumber3, L"4"},
                                                {ids::kNumber4, L"2"},
                                                {ids::kNumber5, L"0.01"},
                                                {ids::kNumber6, L"2.00"},
                                                {ids::kNumber7, L"15"},
                                                {ids::kLabel1, L"Enter number of guide stars"},
                                                {ids::kLabel2, L"Enter minimum SN ratio"},
                                                {ids::kLabel3, L"Enter minimum stars to average"},
                                                {ids::kLabel4, L"Enter guide exposure duration"},
                                                {ids::kLabel5, L"Minimum move"},
                                                {ids::kLabel6, L"Maximum move"},
                                                {ids::kLabel7, L"Enter subframe border in pixels"}};
  EXPECT_EQ(seen.texts, designed);
  // Whatever font this machine gives for the design's, every text shows whole.
  EXPECT_TRUE(seen.clipped.empty()) << Joined(seen.clipped);
  std::printf("Font: %s\n", seen.font.c_str());
  EXPECT_EQ(seen.client.cx, seen.expectedClient.cx);
  EXPECT_EQ(seen.client.cy, seen.expectedClient.cy);
  EXPECT_LE(std::abs(seen.centreOffset.x), 1);
  EXPECT_LE(std::abs(seen.centreOffset.y), 1);
  EXPECT_TRUE(seen.hasHiddenOwner);
  EXPECT_EQ(seen.focus, ids::kOK);
  EXPECT_EQ(seen.tabOrder,
            (std::vector<int>{ids::kOK, ids::kCancel, ids::kNumber1, ids::kNumber3, ids::kNumber2,
                              ids::kNumber4, ids::kNumber5, ids::kNumber6, ids::kNumber7}));
  EXPECT_EQ(seen.tooltips.size(), 7u);
  // OK with the designed texts.
  EXPECT_TRUE(model.DataValid());
  EXPECT_EQ(model.GetNumberStars(), 5);
  EXPECT_EQ(model.GetMinSN(), 3.0f);
  EXPECT_EQ(model.GetMinStars(), 4);
  EXPECT_EQ(model.GetDuration(), 2.0f);
  EXPECT_EQ(model.GetMinMove(), 0.01f);
  EXPECT_EQ(model.GetMaxMove(), 2.0f);
  EXPECT_EQ(model.GetBorder(), 15);
}

TEST_F(DialogWindows, GuideStarSetupRejectsElevenStarsAndAGroupSeparator) {
  GuideSetupDialog model;
  Seen eleven, grouped;
  ShowWhileDriving([&] { ShowGuideSetupDialog(model, reader); },
                   [&](DWORD) {
                     HWND dialog = driver::WaitForDialog(ids::kGuideSetupCaption);
                     if (dialog == nullptr) return;
                     eleven.found = true;
                     TypeAndBeRejected(dialog, ids::kNumber1, L"11", eleven);
                     driver::SetText(dialog, ids::kNumber1, L"10");
                     TypeAndBeRejected(dialog, ids::kNumber6, L"1,5", grouped);
                     driver::SetText(dialog, ids::kNumber6, L"1.5");
                     driver::ClickButton(dialog, ids::kOK);
                     if (!driver::WaitUntilClosed(dialog, std::chrono::seconds(10))) {
                       driver::Close(dialog);
                     }
                   });
  ASSERT_TRUE(eleven.found);
  EXPECT_EQ(eleven.rejection, L"Please enter a number");
  EXPECT_TRUE(eleven.openAfterRejection);
  EXPECT_EQ(eleven.textAfterRejection, L"11");
  EXPECT_EQ(grouped.rejection, L"Please enter a number");
  EXPECT_EQ(grouped.textAfterRejection, L"1,5");
  EXPECT_TRUE(model.DataValid());
  EXPECT_EQ(model.GetNumberStars(), 10);
  EXPECT_EQ(model.GetMaxMove(), 1.5f);
}

}  // namespace
}  // namespace corvane::win
