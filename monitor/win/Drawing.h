// The monitor's pictures: the guide graph from the core's model (its traces antialiased with GDI+,
// the rest with GDI), and each star's SN as a bar. The colours of the day and the
// night theme; the night theme is red on black only, for eyes adapted to the dark.
#pragma once

#include <windows.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitor/Graph.h"
#include "monitor/RunState.h"

namespace corvane::monitor {

struct Theme {
  COLORREF window, text, dim, figure, warning, edit, button, buttonText, selected, selectedText,
      frame;
  COLORREF graph, grid, zero, axisA, axisB, pulseA, pulseB, starved;
  COLORREF barUsed, barLow, barNotFound, track;
};
// A memory DC holding a DIB section of the given size, for drawing off screen.
class Offscreen {
 public:
  Offscreen(HDC like, int width, int height);
  ~Offscreen();
  Offscreen(const Offscreen&) = delete;
  Offscreen& operator=(const Offscreen&) = delete;
  HDC Dc() const { return dc_; }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

// An off-screen picture kept from one paint to the next: made again only when its size changes,
// so no bitmap is made for each frame.
class Picture {
 public:
  HDC Dc(HDC like, int width, int height);  // its memory DC, of that size

 private:
  std::unique_ptr<Offscreen> offscreen_;
  int width_ = 0, height_ = 0;
};

const Theme& DayTheme();
const Theme& NightTheme();

// Paints into `dc` (the whole `area`), a memory DC holding a DIB section (GDI+ draws into its bits
// directly); `scale` is the DPI's factor over 96, `face` the labels' font.
void DrawGraph(HDC dc, const RECT& area, const GraphModel& model, const Theme& theme, float scale,
               const std::wstring& face);
// The newest of what a picture of the cycles holds (the last point of each trace, the time of the
// last pulse bar and mark), so that a later frame on the same axes adds only what came since.
struct DrawnCycles {
  std::optional<GraphPoint> a, b;
  double pulse = -HUGE_VAL, starved = -HUGE_VAL;
};

// The same, into a picture kept from one frame to the next. While the axes stay (on the last 5,
// 15 or 60 minutes, until the clock's next step or a larger offset), only the cycles that came
// since the last frame are drawn onto it; what stays otherwise (background, legend, the offsets'
// and pulses' labels) is drawn once into a picture of its own. Then the picture is copied to `dc`.
class GraphPicture {
 public:
  void Draw(HDC dc, const RECT& area, const GraphModel& model, const Theme& theme, float scale,
            const std::wstring& face);

 private:
  Picture background_, frame_;
  std::wstring backgroundKey_, frameKey_;  // what each shows
  DrawnCycles drawn_;
};

// One bar per star in rows `rowHeight` apart from the top of `area`.
void DrawStarBars(HDC dc, const RECT& area, const std::vector<StarNow>& stars, double minSN,
                  int rowHeight, const Theme& theme, float scale);

}  // namespace corvane::monitor
