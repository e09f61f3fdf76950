// Corvane Monitor's window: a thin shell over the core. A timer polls the core a few times a
// second; what it says goes into text controls (set only when they change) and the graph and the
// stars' bars are drawn from its numbers with GDI+. Per-monitor DPI aware; a day and a red-on-black
// night theme; the window's place, theme, span and pixel scale remembered.
#pragma once

#include <windows.h>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "monitor/Monitor.h"
#include "monitor/Texts.h"
#include "monitor/win/Drawing.h"
#include "monitor/win/Settings.h"
#include "monitor/win/WinFileAccess.h"
#include "win/UniqueResource.h"

namespace corvane::monitor {

class MonitorWindow {
 public:
  // A new line is shown within half a second of being flushed; each look costs some processor time.
  static constexpr UINT kPollMilliseconds = 400;
  static constexpr double kLongestGraphPause = 5.0;  // seconds

  // `file`: one to show instead of following the newest run.
  MonitorWindow(HINSTANCE instance, Sources sources, std::optional<std::string> file);
  ~MonitorWindow();
  MonitorWindow(const MonitorWindow&) = delete;
  MonitorWindow& operator=(const MonitorWindow&) = delete;
  int Run();  // the message loop, until the window is closed

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  static LRESULT CALLBACK ChildProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(HWND window, UINT message, WPARAM w, LPARAM l);

  void CreateControls();
  HWND Control(int id, const wchar_t* kind, const wchar_t* text, DWORD style);
  void MakeFonts();
  void Layout();
  int S(int dip) const { return MulDiv(dip, static_cast<int>(dpi_), 96); }
  void Tick();
  void ShowTexts();
  double GraphPause() const;  // seconds between two drawings of the graph while cycles come
  void SetText(int id, const std::string& text);
  void Command(int id, int notification);
  void OpenFile();
  void SetNight(bool night);
  void SetSpan(Span span);
  void Remember();
  void PaintGraph(HDC dc, const RECT& area);
  void PaintStars(HDC dc, const RECT& area);
  void DrawButton(const DRAWITEMSTRUCT& item);
  const Theme& CurrentTheme() const { return settings_.night ? NightTheme() : DayTheme(); }

  HINSTANCE instance_;
  WinFileAccess files_;
  Monitor monitor_;
  Settings settings_;
  std::optional<double> userScale_;
  HWND window_ = nullptr;
  HWND graph_ = nullptr, stars_ = nullptr;
  UINT dpi_ = 96;
  std::wstring face_;
  win::UniqueGdiObject font_, bold_, figure_, big_;
  win::UniqueGdiObject background_, editBackground_;
  std::map<int, std::wstring> shown_;  // each text control's text as set
  std::size_t starRows_ = 0;
  bool graphBehind_ = false;  // cycles came since the graph was drawn
  double graphDrawn_ = 0.0;
  double textsShown_ = 0.0;
  Picture starsPicture_;  // drawn off screen, kept between paints
  GraphPicture graphDrawing_;
};

}  // namespace corvane::monitor
