#include "monitor/win/MonitorWindow.h"

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "monitor/win/MonitorIds.h"
#include "win/AutomationValues.h"

namespace corvane::monitor {
namespace {

namespace ids = monitor_ids;

constexpr UINT_PTR kTimer = 1;
constexpr UINT kContinue = WM_APP + 1;  // more of a file waits: read on at once
constexpr const wchar_t* kChildClass = L"CorvaneMonitorPicture";
constexpr int kMaxStars = 10;

// The system's DPI functions where it has them (Windows 10 1607 and later); else the screen's.
template <typename Function>
Function User32(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

UINT DpiOf(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get = User32<GetDpiForWindowFn>("GetDpiForWindow");
  if (get && window) return get(window);
  const win::UniqueWindowDc screen = win::GetWindowDc(nullptr);
  return static_cast<UINT>(GetDeviceCaps(screen.Get().dc, LOGPIXELSY));
}

// A named CALLBACK: a lambda is not stdcall in the 32-bit build.
int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM flag) {
  *reinterpret_cast<bool*>(flag) = true;
  return 0;
}

bool FaceExists(const wchar_t* face) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  const win::UniqueWindowDc screen = win::GetWindowDc(nullptr);
  EnumFontFamiliesExW(screen.Get().dc, &wanted, &FaceFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// The first face of these the system has (a stock Wine has DejaVu Sans only), else its own.
std::wstring ChooseFace() {
  for (const wchar_t* face : {L"Segoe UI", L"Tahoma", L"DejaVu Sans", L"Arial"}) {
    if (FaceExists(face)) return face;
  }
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return metrics.lfMessageFont.lfFaceName;
}

HFONT MakeFont(const std::wstring& face, int points10, int weight, UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(points10, static_cast<int>(dpi), 720);
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy(font.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  return CreateFontIndirectW(&font);
}

bool IsSpanButton(int id) {
  return id >= ids::kSpan5 && id <= ids::kSpanAll;
}
Span SpanOf(int id) {
  return kSpans[id - ids::kSpan5];
}

bool IsFigure(int id) {
  return (id >= ids::kSpanARms && id <= ids::kSpanTotalPeak) ||
         (id >= ids::kRunARms && id <= ids::kRunTotalPeak) || id == ids::kCycles ||
         id == ids::kLastCycle;
}

}  // namespace

MonitorWindow::MonitorWindow(HINSTANCE instance, Sources sources, std::optional<std::string> file)
    : instance_(instance), monitor_(files_, std::move(sources)), settings_(LoadSettings()) {
  userScale_ = ParseScale(win::Narrow(settings_.scale));
  if (file) monitor_.Open(*file);

  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = &MonitorWindow::Procedure;
  main.hInstance = instance_;
  main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  main.lpszClassName = ids::kWindowClass;
  RegisterClassExW(&main);
  WNDCLASSEXW child{};
  child.cbSize = sizeof child;
  child.lpfnWndProc = &MonitorWindow::ChildProcedure;
  child.hInstance = instance_;
  child.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  child.lpszClassName = kChildClass;
  RegisterClassExW(&child);

  face_ = ChooseFace();
  window_ = CreateWindowExW(0, ids::kWindowClass, ids::kTitle,
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, this);
  dpi_ = DpiOf(window_);
  CreateControls();
  MakeFonts();
  SetNight(settings_.night);
  if (settings_.place) {
    WINDOWPLACEMENT place = *settings_.place;
    place.showCmd = place.showCmd == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    SetWindowPlacement(window_, &place);
  } else {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int w = std::min(S(1040), static_cast<int>(work.right - work.left));
    const int h = std::min(S(700), static_cast<int>(work.bottom - work.top));
    SetWindowPos(window_, nullptr, work.left + (work.right - work.left - w) / 2,
                 work.top + (work.bottom - work.top - h) / 2, w, h, SWP_NOZORDER);
    ShowWindow(window_, SW_SHOWNORMAL);
  }
  dpi_ = DpiOf(window_);
  Layout();
  Tick();
  SetTimer(window_, kTimer, kPollMilliseconds, nullptr);
}

MonitorWindow::~MonitorWindow() {
  if (window_) DestroyWindow(window_);
}

int MonitorWindow::Run() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window_, &message)) continue;  // Tab between the controls
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

HWND MonitorWindow::Control(int id, const wchar_t* kind, const wchar_t* text, DWORD style) {
  HWND control =
      CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, window_,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  shown_[id] = text;
  return control;
}

void MonitorWindow::CreateControls() {
  const DWORD button = BS_OWNERDRAW | WS_TABSTOP;
  const DWORD label = SS_LEFT | SS_NOPREFIX;
  const DWORD number = SS_RIGHT | SS_NOPREFIX;
  Control(ids::kOpen, L"BUTTON", L"Open...", button);
  Control(ids::kFollow, L"BUTTON", L"Follow the newest run", button);
  for (Span span : kSpans) {
    Control(ids::kSpan5 + static_cast<int>(span), L"BUTTON", win::Widen(SpanName(span)).c_str(),
            button);
  }
  Control(ids::kTheme, L"BUTTON", L"Night theme", button);
  Control(ids::kScaleLabel, L"STATIC", L"Pixel scale", label | SS_CENTERIMAGE);
  Control(ids::kScale, L"EDIT", settings_.scale.c_str(), WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL);
  SendDlgItemMessageW(window_, ids::kScale, EM_LIMITTEXT, 12, 0);
  Control(ids::kScaleUnit, L"STATIC", L"\"/px", label | SS_CENTERIMAGE);
  Control(ids::kStatus, L"STATIC", L"", label | SS_ENDELLIPSIS);
  Control(ids::kProblem, L"STATIC", L"", label);
  Control(ids::kCyclesLabel, L"STATIC", L"Cycles", label);
  Control(ids::kCycles, L"STATIC", L"0", label);
  Control(ids::kLastCycleLabel, L"STATIC", L"Last cycle", label);
  Control(ids::kLastCycle, L"STATIC", L"-", label);
  Control(ids::kSpanTitle, L"STATIC", L"", SS_CENTER | SS_NOPREFIX);
  Control(ids::kRunTitle, L"STATIC", L"Whole run", SS_CENTER | SS_NOPREFIX);
  Control(ids::kRmsHeader1, L"STATIC", L"RMS", number);
  Control(ids::kPeakHeader1, L"STATIC", L"Peak", number);
  Control(ids::kRmsHeader2, L"STATIC", L"RMS", number);
  Control(ids::kPeakHeader2, L"STATIC", L"Peak", number);
  Control(ids::kAxisA, L"STATIC", L"X", label);
  Control(ids::kAxisB, L"STATIC", L"Y", label);
  Control(ids::kTotal, L"STATIC", L"Total", label);
  for (int id = ids::kSpanARms; id <= ids::kSpanTotalPeak; ++id) {
    Control(id, L"STATIC", L"-", number);
  }
  for (int id = ids::kRunARms; id <= ids::kRunTotalPeak; ++id) Control(id, L"STATIC", L"-", number);
  Control(ids::kStarsLabel, L"STATIC", L"Guide stars (SN; the mark is the minimum)", label);
  for (int i = 0; i < kMaxStars; ++i) Control(ids::kStar1 + i, L"STATIC", L"", label);
  Control(ids::kWarnings, L"STATIC", L"", label);
  graph_ = CreateWindowExW(0, kChildClass, L"Guide graph", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                           window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kGraph)),
                           instance_, nullptr);
  stars_ = CreateWindowExW(0, kChildClass, L"Stars' SN", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                           window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kStarBars)),
                           instance_, nullptr);
  SetWindowLongPtrW(graph_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(stars_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void MonitorWindow::MakeFonts() {
  font_.Reset(MakeFont(face_, 90, FW_NORMAL, dpi_));
  bold_.Reset(MakeFont(face_, 90, FW_BOLD, dpi_));
  figure_.Reset(MakeFont(face_, 110, FW_SEMIBOLD, dpi_));
  big_.Reset(MakeFont(face_, 160, FW_BOLD, dpi_));
  for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    HGDIOBJ font = font_.Get();
    if (id == ids::kCycles) font = big_.Get();
    if (IsFigure(id) && id != ids::kCycles) font = figure_.Get();
    if (id == ids::kSpanTitle || id == ids::kRunTitle || id == ids::kAxisA || id == ids::kAxisB ||
        id == ids::kTotal || id == ids::kWarnings || id == ids::kStarsLabel) {
      font = bold_.Get();
    }
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
}

void MonitorWindow::Layout() {
  RECT client{};
  GetClientRect(window_, &client);
  const int width = client.right, height = client.bottom;
  const int m = S(10);
  HDWP moves = BeginDeferWindowPos(64);
  const auto place = [&](int id, int x, int y, int w, int h) {
    moves = DeferWindowPos(moves, GetDlgItem(window_, id), nullptr, x, y, w, h,
                           SWP_NOZORDER | SWP_NOACTIVATE);
  };
  // The bar of buttons.
  int x = m;
  const int barH = S(28);
  place(ids::kOpen, x, m, S(80), barH);
  x += S(86);
  place(ids::kFollow, x, m, S(160), barH);
  x += S(178);
  for (Span span : kSpans) {
    place(ids::kSpan5 + static_cast<int>(span), x, m, S(60), barH);
    x += S(62);
  }
  x += S(16);
  place(ids::kTheme, x, m, S(100), barH);
  x += S(118);
  place(ids::kScaleLabel, x, m, S(66), barH);
  place(ids::kScale, x + S(68), m + S(2), S(52), barH - S(4));
  place(ids::kScaleUnit, x + S(124), m, std::max(S(40), width - x - S(124) - m), barH);
  const int statusY = m + barH + S(6);
  place(ids::kStatus, m, statusY, width - 2 * m, S(18));
  place(ids::kProblem, m, statusY + S(18), width - 2 * m, S(18));

  // The warnings along the bottom; the graph and the side panel between.
  const int warningsH = S(74);
  place(ids::kWarnings, m, height - m - warningsH, width - 2 * m, warningsH);
  const int top = statusY + S(40);
  const int bottom = height - m - warningsH - S(8);
  const int side = S(340);
  const int graphW = std::max(S(100), width - 3 * m - side);
  moves = DeferWindowPos(moves, graph_, nullptr, m, top, graphW, std::max(S(60), bottom - top),
                         SWP_NOZORDER | SWP_NOACTIVATE);
  const int sx = m + graphW + m;
  int y = top;
  place(ids::kCyclesLabel, sx, y + S(8), S(80), S(20));
  place(ids::kCycles, sx + S(84), y, side - S(84), S(32));
  y += S(34);
  place(ids::kLastCycleLabel, sx, y, S(80), S(20));
  place(ids::kLastCycle, sx + S(84), y - S(2), side - S(84), S(22));
  y += S(30);
  const int label = S(56), column = (side - label) / 4;
  place(ids::kSpanTitle, sx + label, y, 2 * column, S(18));
  place(ids::kRunTitle, sx + label + 2 * column, y, 2 * column, S(18));
  y += S(18);
  place(ids::kRmsHeader1, sx + label, y, column - S(4), S(18));
  place(ids::kPeakHeader1, sx + label + column, y, column - S(4), S(18));
  place(ids::kRmsHeader2, sx + label + 2 * column, y, column - S(4), S(18));
  place(ids::kPeakHeader2, sx + label + 3 * column, y, column - S(4), S(18));
  y += S(20);
  const int rows[3][5] = {
      {ids::kAxisA, ids::kSpanARms, ids::kSpanAPeak, ids::kRunARms, ids::kRunAPeak},
      {ids::kAxisB, ids::kSpanBRms, ids::kSpanBPeak, ids::kRunBRms, ids::kRunBPeak},
      {ids::kTotal, ids::kSpanTotalRms, ids::kSpanTotalPeak, ids::kRunTotalRms,
       ids::kRunTotalPeak}};
  for (const auto& row : rows) {
    place(row[0], sx, y + S(2), label, S(20));
    for (int c = 0; c < 4; ++c) place(row[c + 1], sx + label + c * column, y, column - S(4), S(22));
    y += S(24);
  }
  y += S(10);
  place(ids::kStarsLabel, sx, y, side, S(18));
  y += S(22);
  const int rowH = S(22), barW = S(110);
  moves = DeferWindowPos(moves, stars_, nullptr, sx, y, barW, rowH * kMaxStars,
                         SWP_NOZORDER | SWP_NOACTIVATE);
  for (int i = 0; i < kMaxStars; ++i) {
    place(ids::kStar1 + i, sx + barW + S(8), y + i * rowH + S(2), side - barW - S(8), rowH - S(2));
  }
  EndDeferWindowPos(moves);
  InvalidateRect(window_, nullptr, TRUE);
}

void MonitorWindow::SetText(int id, const std::string& text) {
  const std::wstring wide = win::Widen(text);
  std::wstring& current = shown_[id];
  if (current == wide) return;
  current = wide;
  SetDlgItemTextW(window_, id, wide.c_str());
}

void MonitorWindow::Tick() {
  const double now = NowSeconds();
  const bool changed = monitor_.Poll(now);
  if (monitor_.CatchingUp()) PostMessageW(window_, kContinue, 0, 0);
  // The texts follow the files, and the clock by the second ("4 s ago", no new cycle for ...).
  if (changed || std::floor(now) != std::floor(textsShown_)) {
    textsShown_ = now;
    ShowTexts();
  }
  if (changed) {
    graphBehind_ = true;
    InvalidateRect(stars_, nullptr, FALSE);
  }
  // The figures show each cycle at once, and so does the graph on the last 5, 15 or 60 minutes
  // (drawn a cycle at a time); the whole run's graph, drawn whole, once its time has moved by a
  // pixel (every few seconds on a night).
  if (graphBehind_ && !monitor_.CatchingUp() && now - graphDrawn_ >= GraphPause()) {
    graphBehind_ = false;
    InvalidateRect(graph_, nullptr, FALSE);
  }
}

double MonitorWindow::GraphPause() const {
  if (SpanSeconds(settings_.span)) return 0.0;
  RECT area{};
  GetClientRect(graph_, &area);
  const RunState* run = monitor_.Run();
  const double shown =
      run && run->Cycles() > 0 ? run->LastTime() - run->TimeOfCycle(1, kUnknownTime) : 0.0;
  const double pixels = std::max<double>(area.right - S(74), 100);
  return std::clamp(shown / pixels, 0.0, kLongestGraphPause);
}

void MonitorWindow::ShowTexts() {
  const ViewTexts v = MakeTexts(monitor_, settings_.span, userScale_, NowSeconds());
  SetText(ids::kStatus, v.status);
  SetText(ids::kProblem, v.problem);
  SetText(ids::kCycles, v.cycles);
  SetText(ids::kLastCycle, v.lastCycle);
  SetText(ids::kAxisA, v.axisA);
  SetText(ids::kAxisB, v.axisB);
  SetText(ids::kSpanTitle, v.spanTitle);
  SetText(ids::kRunTitle, v.runTitle);
  const FigureTexts* figures[] = {&v.spanA, &v.spanB, &v.spanTotal, &v.runA, &v.runB, &v.runTotal};
  const int first[] = {ids::kSpanARms, ids::kSpanBRms, ids::kSpanTotalRms,
                       ids::kRunARms,  ids::kRunBRms,  ids::kRunTotalRms};
  for (int i = 0; i < 6; ++i) {
    SetText(first[i], figures[i]->rms);
    SetText(first[i] + 1, figures[i]->peak);
  }
  for (int i = 0; i < kMaxStars; ++i) {
    SetText(ids::kStar1 + i, static_cast<std::size_t>(i) < v.stars.size() ? v.stars[i] : "");
  }
  if (starRows_ != v.stars.size()) {
    starRows_ = v.stars.size();
    InvalidateRect(stars_, nullptr, FALSE);
  }
  SetText(ids::kWarnings, v.warnings.empty() && monitor_.Run() ? "No warnings." : v.warnings);
}

void MonitorWindow::Command(int id, int notification) {
  if (id == ids::kOpen) {
    OpenFile();
  } else if (id == ids::kFollow) {
    monitor_.FollowNewest();
    Tick();
  } else if (IsSpanButton(id)) {
    SetSpan(SpanOf(id));
  } else if (id == ids::kTheme) {
    SetNight(!settings_.night);
  } else if (id == ids::kScale && notification == EN_CHANGE) {
    wchar_t text[32] = {};
    GetDlgItemTextW(window_, ids::kScale, text, 32);
    settings_.scale = text;
    userScale_ = ParseScale(win::Narrow(text));
    SetText(ids::kScaleUnit, userScale_ || settings_.scale.empty()
                                 ? "\"/px"
                                 : "\"/px: not a positive number, pixels shown");
    ShowTexts();
    InvalidateRect(graph_, nullptr, FALSE);
  }
}

void MonitorWindow::OpenFile() {
  wchar_t path[MAX_PATH] = {};
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = L"Guide logs and night records (*.csv)\0*.csv\0All files\0*.*\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrTitle = L"Open a guide log or a night's record";
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&dialog)) return;
  monitor_.Open(win::Narrow(path));
  Tick();
  InvalidateRect(graph_, nullptr, FALSE);
  InvalidateRect(stars_, nullptr, FALSE);
}

void MonitorWindow::SetNight(bool night) {
  settings_.night = night;
  SetText(ids::kTheme, night ? "Day theme" : "Night theme");
  const Theme& theme = CurrentTheme();
  background_.Reset(CreateSolidBrush(theme.window));
  editBackground_.Reset(CreateSolidBrush(theme.edit));
  // A dark title bar where Windows offers one (Windows 10 20H1 and later).
  using SetAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
  if (HMODULE dwm = LoadLibraryW(L"dwmapi.dll")) {
    if (const auto set = reinterpret_cast<SetAttribute>(
            reinterpret_cast<void*>(GetProcAddress(dwm, "DwmSetWindowAttribute")))) {
      const BOOL dark = night;
      set(window_, 20 /* DWMWA_USE_IMMERSIVE_DARK_MODE */, &dark, sizeof dark);
    }
    FreeLibrary(dwm);
  }
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void MonitorWindow::SetSpan(Span span) {
  settings_.span = span;
  for (Span s : kSpans)
    InvalidateRect(GetDlgItem(window_, ids::kSpan5 + static_cast<int>(s)), nullptr, FALSE);
  ShowTexts();
  InvalidateRect(graph_, nullptr, FALSE);
}

void MonitorWindow::Remember() {
  WINDOWPLACEMENT place{};
  place.length = sizeof place;
  if (GetWindowPlacement(window_, &place)) settings_.place = place;
  SaveSettings(settings_);
}

void MonitorWindow::DrawButton(const DRAWITEMSTRUCT& item) {
  const Theme& theme = CurrentTheme();
  const int id = static_cast<int>(item.CtlID);
  const bool chosen = (IsSpanButton(id) && SpanOf(id) == settings_.span) ||
                      (id == ids::kFollow && monitor_.FollowingNewest());
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const win::UniqueGdiObject fill(
      CreateSolidBrush(chosen || pressed ? theme.selected : theme.button));
  FillRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(fill.Get()));
  const win::UniqueGdiObject frame(CreateSolidBrush(theme.frame));
  FrameRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(frame.Get()));
  wchar_t text[64] = {};
  GetWindowTextW(item.hwndItem, text, 64);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, chosen || pressed ? theme.selectedText : theme.buttonText);
  const HGDIOBJ old = SelectObject(item.hDC, font_.Get());
  RECT r = item.rcItem;
  DrawTextW(item.hDC, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(item.hDC, old);
  if (item.itemState & ODS_FOCUS) {
    RECT f = item.rcItem;
    InflateRect(&f, -S(3), -S(3));
    DrawFocusRect(item.hDC, &f);
  }
}

void MonitorWindow::PaintGraph(HDC dc, const RECT& area) {
  graphDrawn_ = NowSeconds();
  const RunState* run = monitor_.Run();
  GraphModel model;
  if (run) {
    model = MakeGraph(*run, settings_.span, ScaleFor(run, userScale_),
                      std::max(2, static_cast<int>(area.right - area.left)));
  } else {
    model.unit = userScale_ ? "\"" : "px";
    model.axisA = "X";
    model.axisB = "Y";
  }
  graphDrawing_.Draw(dc, area, model, CurrentTheme(), static_cast<float>(dpi_) / 96.0f, face_);
}

void MonitorWindow::PaintStars(HDC dc, const RECT& area) {
  const RunState* run = monitor_.Run();
  DrawStarBars(dc, area, run ? run->Stars() : std::vector<StarNow>{}, run ? run->MinSN() : 3.0,
               S(22), CurrentTheme(), static_cast<float>(dpi_) / 96.0f);
}

LRESULT CALLBACK MonitorWindow::ChildProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<MonitorWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_ERASEBKGND) return 1;
  if (message == WM_PAINT && self) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    RECT area{};
    GetClientRect(window, &area);
    // Drawn off screen (into a bitmap kept between paints), then copied: no flicker at each
    // cycle, and no bitmap made for each. The graph keeps its own, to add each cycle to it.
    HDC memory = nullptr;
    try {
      if (GetDlgCtrlID(window) == monitor_ids::kGraph) {
        self->PaintGraph(dc, area);
      } else {
        memory =
            self->starsPicture_.Dc(dc, std::max<int>(area.right, 1), std::max<int>(area.bottom, 1));
        self->PaintStars(memory, area);
      }
    } catch (...) {
      // A picture that cannot be drawn stays blank; the figures go on.
    }
    if (memory) BitBlt(dc, 0, 0, area.right, area.bottom, memory, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, w, l);
}

LRESULT CALLBACK MonitorWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MonitorWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MonitorWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, w, l);
  try {
    return self->Handle(window, message, w, l);
  } catch (...) {
    // No exception leaves a window procedure; what failed is retried at the next tick.
    return DefWindowProcW(window, message, w, l);
  }
}

LRESULT MonitorWindow::Handle(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (!graph_) return DefWindowProcW(window, message, w, l);  // while the controls are made
  switch (message) {
    case WM_TIMER:
      if (w == kTimer) Tick();
      return 0;
    case kContinue:
      Tick();
      return 0;
    case WM_COMMAND:
      Command(LOWORD(w), HIWORD(w));
      return 0;
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      const Theme& theme = CurrentTheme();
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(l));
      const HDC dc = reinterpret_cast<HDC>(w);
      const bool quiet = id == ids::kWarnings && shown_[id] == L"No warnings.";
      SetTextColor(dc, quiet                                         ? theme.dim
                       : id == ids::kWarnings || id == ids::kProblem ? theme.warning
                       : IsFigure(id)                                ? theme.figure
                       : id == ids::kStatus                          ? theme.dim
                                                                     : theme.text);
      SetBkColor(dc, theme.window);
      return reinterpret_cast<LRESULT>(background_.Get());
    }
    case WM_CTLCOLOREDIT: {
      const Theme& theme = CurrentTheme();
      const HDC dc = reinterpret_cast<HDC>(w);
      SetTextColor(dc, theme.figure);
      SetBkColor(dc, theme.edit);
      return reinterpret_cast<LRESULT>(editBackground_.Get());
    }
    case WM_ERASEBKGND: {
      RECT r{};
      GetClientRect(window_, &r);
      FillRect(reinterpret_cast<HDC>(w), &r, static_cast<HBRUSH>(background_.Get()));
      return 1;
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(l);
      info->ptMinTrackSize = {S(820), S(560)};
      return 0;
    }
    case WM_DPICHANGED: {
      dpi_ = HIWORD(w);
      MakeFonts();
      const RECT* suggested = reinterpret_cast<const RECT*>(l);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_CLOSE:
      Remember();
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      KillTimer(window, kTimer);
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, w, l);
  }
}

}  // namespace corvane::monitor
