#include "dialogs/win/DialogWindows.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/RunFailure.h"
#include "dialogs/win/DialogIds.h"
#include "win/AutomationValues.h"
#include "win/Failures.h"
#include "win/UniqueResource.h"

namespace corvane::win {

namespace {

namespace ids = dialog_ids;

constexpr int kTwipsPerInch = 1440;

enum class ControlKind { TextBox, Label, Button, DefaultButton };

// One control as designed: lengths in twips.
struct ControlDesign {
  int id;
  ControlKind kind;
  const wchar_t* text;
  int left, top, width, height;
  const wchar_t* tooltip = nullptr;
};

// A window as designed: the client area in twips and the controls in tab order.
struct DialogDesign {
  const wchar_t* caption;
  int clientWidth, clientHeight;
  std::span<const ControlDesign> controls;
};

using enum ControlKind;

constexpr ControlDesign kInitialControls[] = {
    {ids::kNumber1, TextBox, L"6", 2640, 120, 735, 375,
     L"Exposure duration for a full frame image to allow guide star selection"},
    {ids::kLabel1, Label, L"Enter initial exposure duration", 240, 240, 2295, 255},
    {ids::kOK, DefaultButton, L"&OK", 600, 960, 975, 375},
    {ids::kCancel, Button, L"&Cancel", 2160, 960, 975, 375},
};

constexpr DialogDesign kInitialDesign{ids::kInitialExposureCaption, 3735, 1740, kInitialControls};

constexpr ControlDesign kGuideSetupControls[] = {
    {ids::kOK, DefaultButton, L"&OK", 360, 4080, 975, 375},
    {ids::kCancel, Button, L"&Cancel", 1800, 4080, 975, 375},
    {ids::kNumber1, TextBox, L"5", 2520, 240, 495, 285,
     L"Number of guide stars to select (max 10)"},
    {ids::kLabel1, Label, L"Enter number of guide stars", 240, 240, 2055, 255},
    {ids::kLabel3, Label, L"Enter minimum stars to average", 240, 1200, 1455, 495},
    {ids::kNumber3, TextBox, L"4", 2520, 1200, 495, 285,
     L"If fewer than this number of stars meet the SN threshold, no guide commands will be "
     L"issued this cycle"},
    {ids::kNumber2, TextBox, L"3", 2520, 720, 495, 285,
     L"Stars below this threshold will be excluded from a guide cycle"},
    {ids::kLabel2, Label, L"Enter minimum SN ratio", 240, 720, 1815, 255},
    {ids::kLabel4, Label, L"Enter guide exposure duration", 240, 1800, 1695, 375},
    {ids::kNumber4, TextBox, L"2", 2520, 1800, 495, 285,
     L"Guide frame exposure duration in seconds"},
    {ids::kLabel5, Label, L"Minimum move", 240, 3000, 1575, 255},
    {ids::kNumber5, TextBox, L"0.01", 2520, 3000, 495, 285,
     L"Mount movements below this duration in seconds will not be issued"},
    {ids::kLabel6, Label, L"Maximum move", 240, 3480, 1695, 255},
    {ids::kNumber6, TextBox, L"2.00", 2520, 3480, 495, 285,
     L"Mount movements above this duration in seconds will be capped"},
    {ids::kLabel7, Label, L"Enter subframe border in pixels", 240, 2400, 1695, 375},
    {ids::kNumber7, TextBox, L"15", 2520, 2400, 495, 285,
     L"The automatic subframe is extended by this many pixels to allow for guiding errors. enter "
     L"a value larger than your max frame resolution to use the full frame."},
};

constexpr DialogDesign kGuideSetupDesign{ids::kGuideSetupCaption, 3360, 4695, kGuideSetupControls};

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// An in-memory DLGTEMPLATE: the window with its controls in tab order. Positions are placed in
// pixels when the window opens, so the template's dialog units are left at zero.
class DialogTemplate {
 public:
  explicit DialogTemplate(const DialogDesign& design) {
    AlignToDword();
    Dword(kDialogStyle);
    Dword(0);  // extended style
    Word(static_cast<WORD>(design.controls.size()));
    for (int i = 0; i < 4; ++i) Word(0);  // x, y, cx, cy
    Word(0);                              // no menu
    Word(0);                              // the standard dialog class, "#32770"
    Text(design.caption);
    // The font the stored designs were laid out with: MS Sans Serif, 8 points.
    Word(8);
    Text(L"MS Sans Serif");
    for (const ControlDesign& control : design.controls) Item(control);
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Item(const ControlDesign& control) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD extended = 0;
    WORD atom = 0;
    switch (control.kind) {
      case TextBox:
        style |= WS_TABSTOP | WS_GROUP | ES_LEFT | ES_AUTOHSCROLL;
        extended = WS_EX_CLIENTEDGE;
        atom = 0x0081;
        break;
      case Label:
        style |= SS_LEFT | SS_NOPREFIX;
        atom = 0x0082;
        break;
      case Button:
        style |= WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON;
        atom = 0x0080;
        break;
      case DefaultButton:
        style |= WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON;
        atom = 0x0080;
        break;
    }
    AlignToDword();
    Dword(style);
    Dword(extended);
    for (int i = 0; i < 4; ++i) Word(0);  // x, y, cx, cy
    Word(static_cast<WORD>(control.id));
    Word(0xFFFF);
    Word(atom);
    Text(control.text);
    Word(0);  // no creation data
  }

  void Word(WORD value) { words_.push_back(value); }
  void Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
  }
  void Text(const wchar_t* text) {
    for (; *text != L'\0'; ++text) Word(static_cast<WORD>(*text));
    Word(0);
  }
  void AlignToDword() {
    if (words_.size() % 2 != 0) Word(0);
  }

  std::vector<WORD> words_;  // WORD-aligned storage; the template starts DWORD-aligned
};

// What the window procedure needs while a dialog is shown.
struct DialogSession {
  const DialogDesign& design;
  std::function<OkResult(HWND)> ok;
  std::function<void()> cancel;
  std::exception_ptr failure;
  UniqueGdiObject font;  // the font chosen for the controls, when not the system's; outlives them
};

int ToPixels(int twips, int dotsPerInch) {
  return MulDiv(twips, dotsPerInch, kTwipsPerInch);
}

void Arrange(HWND window, const DialogDesign& design) {
  const UniqueWindowDc screen = GetWindowDc(nullptr);
  const int dpiX = GetDeviceCaps(screen.Get().dc, LOGPIXELSX);
  const int dpiY = GetDeviceCaps(screen.Get().dc, LOGPIXELSY);

  for (const ControlDesign& control : design.controls) {
    MoveWindow(GetDlgItem(window, control.id), ToPixels(control.left, dpiX),
               ToPixels(control.top, dpiY), ToPixels(control.width, dpiX),
               ToPixels(control.height, dpiY), FALSE);
  }

  RECT frame{0, 0, ToPixels(design.clientWidth, dpiX), ToPixels(design.clientHeight, dpiY)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// True when the control shows its whole text in its font: a label wraps its words within its
// width into no more lines than its height holds, a text box and a button show one line, and no
// text is wider than its control.
bool TextFits(HWND control, ControlKind kind) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  RECT room;
  GetClientRect(control, &room);
  UINT format = DT_CALCRECT | DT_SINGLELINE;
  switch (kind) {
    case TextBox:
      SendMessageW(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
      format |= DT_NOPREFIX;
      break;
    case Label:
      format = DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX;
      break;
    case Button:
    case DefaultButton:
      InflateRect(&room, -3, -3);  // the button's edges
      break;
  }
  const int width = room.right - room.left;
  const int height = room.bottom - room.top;
  const UniqueWindowDc owned = GetWindowDc(control);
  if (!owned) return true;  // nothing to measure with: leave the font as it is
  const HDC dc = owned.Get().dc;
  const HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT needed{0, 0, width, 0};
  DrawTextW(dc, text.c_str(), -1, &needed, format);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  // The designs give a two-line label a pixel less than two lines: the lowest rows of the last
  // line's descent may be cut, never a line or a glyph's body.
  return needed.right <= width && needed.bottom - metrics.tmDescent / 2 <= height;
}

// The controls whose text the font leaves clipped, once they all have it.
int ClippedWith(HWND window, const DialogDesign& design, HFONT font) {
  int clipped = 0;
  for (const ControlDesign& control : design.controls) {
    SendMessageW(GetDlgItem(window, control.id), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  for (const ControlDesign& control : design.controls) {
    if (!TextFits(GetDlgItem(window, control.id), control.kind)) ++clipped;
  }
  return clipped;
}

// The designs were laid out in MS Sans Serif 8 pt. Where the system has no such font it gives
// another (a stock Wine set-up gives DejaVu Sans), which may be too wide for the designed boxes:
// labels would wrap and lose their second line, numbers would be cut. The layout stays as
// designed; the texts get a font that fits them: a narrower face of the same size if there is
// one, else the given face a pixel smaller at a time, down to three quarters of its size.
void FitFont(HWND window, DialogSession& session) {
  const auto given = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  LOGFONTW design{};
  if (given == nullptr || GetObjectW(given, sizeof(design), &design) == 0) return;
  const int clippedByGiven = ClippedWith(window, session.design, given);
  if (clippedByGiven == 0) return;

  constexpr const wchar_t* kNarrowerFaces[] = {L"Microsoft Sans Serif", L"Tahoma", L"Arial",
                                               L"Liberation Sans", L"DejaVu Sans Condensed"};
  const int size = std::abs(design.lfHeight);
  UniqueGdiObject best;  // empty: the given font is the best so far
  int bestClipped = clippedByGiven;
  auto tryFont = [&](const wchar_t* face, int height) {
    LOGFONTW candidate = design;
    candidate.lfHeight = -height;
    candidate.lfWidth = 0;
    if (face != nullptr) wcsncpy_s(candidate.lfFaceName, LF_FACESIZE, face, _TRUNCATE);
    UniqueGdiObject font(CreateFontIndirectW(&candidate));
    if (!font) return false;
    const int clipped = ClippedWith(window, session.design, static_cast<HFONT>(font.Get()));
    if (clipped < bestClipped) {
      bestClipped = clipped;
      best = std::move(font);
    }
    return clipped == 0;
  };
  bool fits = false;
  for (const wchar_t* face : kNarrowerFaces) {
    if ((fits = tryFont(face, size))) break;
  }
  for (int height = size - 1; !fits && height * 4 >= size * 3; --height) {
    fits = tryFont(nullptr, height);
  }
  // The font that clips least (none, as a rule) stays with the controls for the window's life.
  if (!best) {  // none did better than the given font
    ClippedWith(window, session.design, given);
    return;
  }
  ClippedWith(window, session.design, static_cast<HFONT>(best.Get()));
  session.font = std::move(best);
}

void AddTooltips(HWND window, const DialogDesign& design) {
  HWND tooltips =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                      WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, ThisModule(), nullptr);
  if (tooltips == nullptr) return;  // the window works without them
  // Long tips wrap at about three inches.
  const int width =
      ToPixels(3 * kTwipsPerInch, GetDeviceCaps(GetWindowDc(nullptr).Get().dc, LOGPIXELSX));
  SendMessageW(tooltips, TTM_SETMAXTIPWIDTH, 0, width);
  for (const ControlDesign& control : design.controls) {
    if (control.tooltip == nullptr) continue;
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // comctl32 version 5 without a manifest
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window, control.id));
    tool.lpszText = const_cast<LPWSTR>(control.tooltip);
    SendMessageW(tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* session = reinterpret_cast<DialogSession*>(GetWindowLongPtrW(window, DWLP_USER));
  // No exception leaves a window procedure: one is kept and raised again after the window.
  try {
    switch (message) {
      case WM_INITDIALOG:
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        session = reinterpret_cast<DialogSession*>(lParam);
        Arrange(window, session->design);
        FitFont(window, *session);
        AddTooltips(window, session->design);
        return TRUE;  // the focus goes to the first control in tab order
      case WM_COMMAND:
        if (session == nullptr || HIWORD(wParam) != BN_CLICKED) return FALSE;
        if (LOWORD(wParam) == IDOK) {
          if (session->ok(window) == OkResult::Accepted) {
            EndDialog(window, IDOK);
          } else {
            MessageBoxW(window, Widen(kPleaseEnterANumber).c_str(), L"Corvane", MB_OK);
          }
          return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {  // also Esc and the close box
          session->cancel();
          EndDialog(window, IDCANCEL);
          return TRUE;
        }
        return FALSE;
      default:
        return FALSE;
    }
  } catch (...) {
    if (session != nullptr) session->failure = std::current_exception();
    EndDialog(window, IDABORT);
    return TRUE;
  }
}

std::string TextOf(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

// A hidden window that owns the dialog: an owned window does not appear in the taskbar.
UniqueWindow HiddenOwner() {
  return UniqueWindow(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      ThisModule(), nullptr));
}

void ShowModal(DialogSession& session) {
  static const bool commonControls = [] {
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    return InitCommonControlsEx(&classes) != FALSE;
  }();
  (void)commonControls;

  const DialogTemplate dialogTemplate(session.design);
  const UniqueWindow owner = HiddenOwner();
  const INT_PTR result =
      DialogBoxIndirectParamW(ThisModule(), dialogTemplate.Get(), owner.Get(), DialogProcedure,
                              reinterpret_cast<LPARAM>(&session));
  if (session.failure) std::rethrow_exception(session.failure);
  if (result == -1 || result == 0) {
    HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
    if (!FAILED(hr)) hr = E_FAIL;
    throw RunFailure(
        FailureKind::Window,
        FailureDescription("The window \"" + Narrow(session.design.caption) + "\" cannot be shown",
                           hr),
        static_cast<std::int32_t>(hr));
  }
}

}  // namespace

void ShowInitialExposureDialog(InitialExposureDialog& model, const NumberReader& reader) {
  model.BeginShowing();
  DialogSession session{
      kInitialDesign,
      [&](HWND window) { return model.Accept(TextOf(window, ids::kNumber1), reader); },
      [&] { model.Cancel(); },
      nullptr,
      {}};
  ShowModal(session);
}

void ShowGuideSetupDialog(GuideSetupDialog& model, const NumberReader& reader) {
  model.BeginShowing();
  DialogSession session{kGuideSetupDesign,
                        [&](HWND window) {
                          GuideSetupDialog::Texts texts;
                          for (int n = 1; n <= GuideSetupDialog::Texts::kBoxes; ++n) {
                            texts.Box(n) = TextOf(window, ids::Number(n));
                          }
                          return model.Accept(texts, reader);
                        },
                        [&] { model.Cancel(); },
                        nullptr,
                        {}};
  ShowModal(session);
}

}  // namespace corvane::win
