#include "monitor/win/Drawing.h"

#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <optional>

#include "win/AutomationValues.h"
#include "win/UniqueResource.h"

namespace corvane::monitor {
namespace {

namespace gp = Gdiplus;

gp::Color Of(COLORREF c, BYTE alpha = 255) {
  return gp::Color(alpha, GetRValue(c), GetGValue(c), GetBValue(c));
}

const Theme kDay{.window = RGB(250, 250, 250),
                 .text = RGB(20, 20, 20),
                 .dim = RGB(96, 96, 96),
                 .figure = RGB(0, 0, 0),
                 .warning = RGB(176, 48, 0),
                 .edit = RGB(255, 255, 255),
                 .button = RGB(232, 232, 232),
                 .buttonText = RGB(20, 20, 20),
                 .selected = RGB(40, 90, 170),
                 .selectedText = RGB(255, 255, 255),
                 .frame = RGB(170, 170, 170),
                 .graph = RGB(255, 255, 255),
                 .grid = RGB(226, 226, 226),
                 .zero = RGB(150, 150, 150),
                 .axisA = RGB(30, 90, 210),
                 .axisB = RGB(210, 40, 40),
                 .pulseA = RGB(30, 90, 210),
                 .pulseB = RGB(210, 40, 40),
                 .starved = RGB(230, 140, 0),
                 .barUsed = RGB(40, 150, 60),
                 .barLow = RGB(230, 140, 0),
                 .barNotFound = RGB(200, 40, 40),
                 .track = RGB(225, 225, 225)};
// Red on black: the brightest parts are the traces and the warnings, the rest dim.
const Theme kNight{.window = RGB(0, 0, 0),
                   .text = RGB(190, 20, 20),
                   .dim = RGB(120, 12, 12),
                   .figure = RGB(235, 30, 30),
                   .warning = RGB(255, 40, 40),
                   .edit = RGB(20, 0, 0),
                   .button = RGB(30, 0, 0),
                   .buttonText = RGB(190, 20, 20),
                   .selected = RGB(110, 0, 0),
                   .selectedText = RGB(255, 60, 60),
                   .frame = RGB(90, 0, 0),
                   .graph = RGB(0, 0, 0),
                   .grid = RGB(45, 0, 0),
                   .zero = RGB(100, 0, 0),
                   .axisA = RGB(255, 50, 50),
                   .axisB = RGB(160, 20, 20),
                   .pulseA = RGB(255, 50, 50),
                   .pulseB = RGB(150, 20, 20),
                   .starved = RGB(255, 70, 30),
                   .barUsed = RGB(200, 25, 25),
                   .barLow = RGB(120, 10, 10),
                   .barNotFound = RGB(70, 0, 0),
                   .track = RGB(35, 0, 0)};

// Under Wine, GDI+ fills, wide pens and text cost tens to hundreds of milliseconds a frame, where
// GDI does the same in one or two; its antialiased one-pixel polylines are quick on a DIB section.
// So the traces are GDI+ (antialiased), and the background, grid, bars and labels GDI (the labels
// with antialiased glyphs).
class Canvas {
 public:
  Canvas(HDC dc, float scale, const std::wstring& face) : dc_(dc), scale_(scale), face_(face) {
    SetBkMode(dc_, TRANSPARENT);
  }
  ~Canvas() {
    if (old_) SelectObject(dc_, old_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  float S(float dip) const { return dip * scale_; }
  int Px(float dip) const { return static_cast<int>(std::lround(dip * scale_)); }
  void Fill(float left, float top, float right, float bottom, COLORREF colour) {
    const RECT r{static_cast<LONG>(std::lround(left)), static_cast<LONG>(std::lround(top)),
                 static_cast<LONG>(std::lround(right)), static_cast<LONG>(std::lround(bottom))};
    SetDCBrushColor(dc_, colour);
    FillRect(dc_, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  }
  void HorizontalLine(float left, float right, float y, COLORREF colour) {
    const float at = std::floor(y);
    Fill(left, at, right, at + 1, colour);
  }
  void VerticalLine(float x, float top, float bottom, COLORREF colour) {
    const float at = std::floor(x);
    Fill(at, top, at + 1, bottom, colour);
  }
  void Frame(float left, float top, float right, float bottom, COLORREF colour) {
    HorizontalLine(left, right, top, colour);
    HorizontalLine(left, right, bottom, colour);
    VerticalLine(left, top, bottom, colour);
    VerticalLine(right, top, bottom + 1, colour);
  }
  // Text at (x, y): `align` 0 left of x, 1 centred, 2 right; vertically centred on y.
  void Text(const std::wstring& text, float x, float y, COLORREF colour, int align = 0,
            int points10 = 85) {
    if (points10 != points10_) {
      LOGFONTW font{};
      font.lfHeight = -static_cast<LONG>(std::lround(points10 / 10.0 * 96.0 / 72.0 * scale_));
      font.lfWeight = FW_NORMAL;
      font.lfCharSet = DEFAULT_CHARSET;
      font.lfQuality = ANTIALIASED_QUALITY;
      wcsncpy(font.lfFaceName, face_.c_str(), LF_FACESIZE - 1);
      font_.Reset(CreateFontIndirectW(&font));
      const HGDIOBJ previous = SelectObject(dc_, font_.Get());
      if (!old_) old_ = previous;
      points10_ = points10;
    }
    SetTextColor(dc_, colour);
    const LONG w = Px(400), h = Px(20);
    const LONG left = static_cast<LONG>(std::lround(x)) - (align == 0 ? 0 : align == 1 ? w / 2 : w);
    RECT r{left, static_cast<LONG>(std::lround(y)) - h / 2, left + w,
           static_cast<LONG>(std::lround(y)) + h / 2};
    DrawTextW(dc_, text.c_str(), -1, &r,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_NOCLIP |
                  (align == 0   ? DT_LEFT
                   : align == 1 ? DT_CENTER
                                : DT_RIGHT));
  }

 private:
  HDC dc_;
  float scale_;
  std::wstring face_;
  win::UniqueGdiObject font_;
  int points10_ = 0;
  HGDIOBJ old_ = nullptr;
};

std::wstring W(const std::string& s) {
  return win::Widen(s);
}

}  // namespace

Offscreen::Offscreen(HDC like, int width, int height) : dc_(CreateCompatibleDC(like)) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = std::max(width, 1);
  info.bmiHeader.biHeight = -std::max(height, 1);  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  old_ = SelectObject(dc_, bitmap_);
}

Offscreen::~Offscreen() {
  SelectObject(dc_, old_);
  DeleteObject(bitmap_);
  DeleteDC(dc_);
}

const Theme& DayTheme() {
  return kDay;
}
const Theme& NightTheme() {
  return kNight;
}

namespace {

// Where the graph's parts go in `area`, and the model's values in pixels.
struct GraphFrame {
  GraphFrame(const Canvas& c, const RECT& area, const GraphModel& m) : model(m) {
    left = static_cast<float>(area.left) + c.S(62);
    right = static_cast<float>(area.right) - c.S(12);
    top = static_cast<float>(area.top) + c.S(24);
    bottom = static_cast<float>(area.bottom) - c.S(24);
    legendY = static_cast<float>(area.top) + c.S(12);
    fits = right - left >= c.S(40) && bottom - top >= c.S(60);
    const float gap = c.S(10);
    offsetBottom = std::floor(top + (bottom - top - gap) * 0.72f);
    pulseTop = offsetBottom + gap;
    mid = (top + offsetBottom) / 2;
    pulseMid = std::floor((pulseTop + bottom) / 2);
  }
  float X(double time) const {
    return left +
           static_cast<float>((time - model.from) / (model.to - model.from)) * (right - left);
  }
  float Y(double value) const {
    return mid - static_cast<float>(value / model.range) * (offsetBottom - top) / 2;
  }
  float P(double seconds) const {
    return pulseMid - static_cast<float>(seconds / model.pulseRange) * (bottom - pulseTop) / 2;
  }

  const GraphModel& model;
  float left, right, top, bottom, legendY, offsetBottom, pulseTop, mid, pulseMid;
  bool fits;
};

// What stays while cycles come: the background, the legend and the offsets' and pulses' labels.
void DrawGraphBackground(Canvas& c, const RECT& area, const GraphFrame& f, const Theme& theme) {
  const GraphModel& model = f.model;
  c.Fill(static_cast<float>(area.left), static_cast<float>(area.top),
         static_cast<float>(area.right), static_cast<float>(area.bottom), theme.graph);
  if (!f.fits) return;
  const std::wstring unit = model.unit == "px" ? L"pixels" : L"arcseconds";
  const float ly = f.legendY;
  c.Text(W(model.axisA) + L" and " + W(model.axisB) + L" offsets in " + unit, f.left, ly,
         theme.dim);
  const float legend = f.right - c.S(150);
  c.Fill(legend, ly - 1, legend + c.S(22), ly + 1, theme.axisA);
  c.Text(W(model.axisA), legend + c.S(27), ly, theme.text);
  c.Fill(legend + c.S(70), ly - 1, legend + c.S(92), ly + 1, theme.axisB);
  c.Text(W(model.axisB), legend + c.S(97), ly, theme.text);
  if (model.empty) {
    c.Frame(f.left, f.top, f.right, f.offsetBottom, theme.grid);
    c.Frame(f.left, f.pulseTop, f.right, f.bottom, theme.grid);
    c.Text(L"No guide cycle yet", (f.left + f.right) / 2, (f.top + f.offsetBottom) / 2, theme.dim,
           1, 110);
    return;
  }
  for (const Tick& t : model.offsetTicks)
    c.Text(W(t.label), f.left - c.S(6), f.Y(t.value), theme.dim, 2);
  for (const Tick& t : model.pulseTicks)
    c.Text(W(t.label), f.left - c.S(6), f.P(t.value), theme.dim, 2);
  c.Text(L"pulses", f.right - c.S(4), f.pulseTop + c.S(9), theme.dim, 2, 75);
}

DrawnCycles NewestOf(const GraphModel& model, DrawnCycles drawn) {
  if (!model.a.empty()) drawn.a = model.a.back();
  if (!model.b.empty()) drawn.b = model.b.back();
  if (!model.pulses.empty()) drawn.pulse = model.pulses.back().time;
  if (!model.starved.empty()) drawn.starved = model.starved.back();
  return drawn;
}

// The pulses' bars: as wide as the cycles' spacing allows, in whole pixels.
float BarWidth(const Canvas& c, const GraphFrame& f) {
  const double perCycle =
      (f.right - f.left) * f.model.cycleSeconds / std::max(f.model.to - f.model.from, 1e-9);
  return std::max(1.0f, std::floor(std::min(c.S(4), static_cast<float>(perCycle / 2.2))));
}

// What moves with the clock: its grid and labels, the grid lines over them.
void DrawGraphGrid(Canvas& c, const GraphFrame& f, const Theme& theme) {
  const GraphModel& model = f.model;
  if (!f.fits || model.empty) return;
  const float left = f.left, right = f.right, top = f.top, bottom = f.bottom;
  const float offsetBottom = f.offsetBottom, pulseTop = f.pulseTop;
  for (const Tick& t : model.timeTicks) {
    const float x = f.X(t.value);
    c.VerticalLine(x, top, offsetBottom, theme.grid);
    c.VerticalLine(x, pulseTop, bottom, theme.grid);
    c.Text(W(t.label), x, bottom + c.S(11), theme.dim, 1);
  }
  for (const Tick& t : model.offsetTicks) {
    c.HorizontalLine(left, right, f.Y(t.value), t.value == 0.0 ? theme.zero : theme.grid);
  }
  for (const Tick& t : model.pulseTicks) {
    c.HorizontalLine(left, right, f.P(t.value), t.value == 0.0 ? theme.zero : theme.grid);
  }
  c.Frame(left, top, right, offsetBottom, theme.grid);
  c.Frame(left, pulseTop, right, bottom, theme.grid);
}

// What each cycle adds, after `since`: the cycles without a pulse, the pulses, and the offsets
// (antialiased, joined to the last point drawn).
void DrawGraphCycles(HDC dc, Canvas& c, const GraphFrame& f, const Theme& theme, float scale,
                     const DrawnCycles& since) {
  const GraphModel& model = f.model;
  if (!f.fits || model.empty) return;
  const float left = f.left, right = f.right, top = f.top, bottom = f.bottom;
  const float offsetBottom = f.offsetBottom, pulseTop = f.pulseTop, pulseMid = f.pulseMid;

  // The cycles without a pulse for want of stars, along the top.
  for (double t : model.starved) {
    if (t <= since.starved) continue;
    const float x = f.X(t);
    c.Fill(x - c.S(1.5f), top + 1, x + c.S(1.5f), top + c.S(7), theme.starved);
  }

  // Pulses as bars from the zero line, the two axes side by side (the newest column's again: it
  // may have grown).
  const float barWidth = BarWidth(c, f);
  for (const PulseBar& bar : model.pulses) {
    if (bar.time < since.pulse) continue;
    const float x = f.X(bar.time);
    const auto draw = [&](double value, float dx, COLORREF colour) {
      if (value == 0.0) return;
      const float y = std::clamp(f.P(value), pulseTop + 1, bottom - 1);
      c.Fill(x + dx, std::min(pulseMid, y), x + dx + barWidth, std::max(pulseMid + 1, y), colour);
    };
    draw(bar.a, -barWidth, theme.pulseA);
    draw(bar.b, 0.0f, theme.pulseB);
  }

  // The offsets, antialiased. Into the DIB section's bits where the DC holds one: GDI+ then
  // blends into them directly, where through the DC it draws each trace into a bitmap of its own
  // first and blends that in.
  {
    DIBSECTION dib{};
    const HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    std::unique_ptr<gp::Bitmap> bits;
    if (bitmap && GetObjectW(bitmap, sizeof dib, &dib) == sizeof dib && dib.dsBm.bmBits &&
        dib.dsBm.bmBitsPixel == 32 && dib.dsBmih.biHeight < 0) {
      bits =
          std::make_unique<gp::Bitmap>(dib.dsBm.bmWidth, dib.dsBm.bmHeight, dib.dsBm.bmWidthBytes,
                                       PixelFormat32bppRGB, static_cast<BYTE*>(dib.dsBm.bmBits));
      GdiFlush();  // GDI's drawing is in the bits before GDI+ draws over it
    }
    const std::unique_ptr<gp::Graphics> graphics =
        bits ? std::make_unique<gp::Graphics>(bits.get()) : std::make_unique<gp::Graphics>(dc);
    gp::Graphics& g = *graphics;
    g.SetSmoothingMode(gp::SmoothingModeAntiAlias);
    g.SetPixelOffsetMode(gp::PixelOffsetModeHalf);
    const gp::RectF clip(left + 1, top + 1, right - left - 1, offsetBottom - top - 1);
    g.SetClip(clip);
    const float width = std::max(1.0f, std::floor(scale));
    const gp::Pen penA(Of(theme.axisA), width), penB(Of(theme.axisB), width);
    std::vector<gp::PointF> line;
    const auto trace = [&](const std::vector<GraphPoint>& points,
                           const std::optional<GraphPoint>& last, const gp::Pen& pen) {
      line.clear();
      if (last) line.emplace_back(f.X(last->time), f.Y(last->value));
      const auto first =
          last ? std::partition_point(points.begin(), points.end(),
                                      [&](const GraphPoint& p) { return p.time <= last->time; })
               : points.begin();
      for (auto pt = first; pt != points.end(); ++pt)
        line.emplace_back(f.X(pt->time), f.Y(pt->value));
      if (line.size() >= 2) g.DrawLines(&pen, line.data(), static_cast<INT>(line.size()));
      if (line.size() == 1 && !last) g.DrawEllipse(&pen, line[0].X - 1, line[0].Y - 1, 2.0f, 2.0f);
    };
    trace(model.b, since.b, penB);
    trace(model.a, since.a, penA);
  }
  if (!model.note.empty()) {
    c.Text(W(model.note), right - c.S(4), offsetBottom - c.S(9), theme.dim, 2, 75);
  }
}

// What the background depends on.
std::wstring BackgroundKey(const RECT& area, const GraphModel& model, const Theme& theme,
                           float scale, const std::wstring& face) {
  std::wstring key = std::to_wstring(area.right - area.left) + L"x" +
                     std::to_wstring(area.bottom - area.top) + L" " +
                     std::to_wstring(reinterpret_cast<std::uintptr_t>(&theme)) + L" " +
                     std::to_wstring(scale) + L" " + face + L" " + W(model.axisA) + L" " +
                     W(model.axisB) + L" " + W(model.unit) + (model.empty ? L" empty" : L"") +
                     L" " + std::to_wstring(model.range) + L" " + std::to_wstring(model.pulseRange);
  for (const auto* ticks : {&model.offsetTicks, &model.pulseTicks}) {
    for (const Tick& t : *ticks) key += L"|" + W(t.label);
  }
  return key;
}

}  // namespace

HDC Picture::Dc(HDC like, int width, int height) {
  if (!offscreen_ || width != width_ || height != height_) {
    offscreen_.reset();
    offscreen_ = std::make_unique<Offscreen>(like, width, height);
    width_ = width;
    height_ = height;
  }
  return offscreen_->Dc();
}

void DrawGraph(HDC dc, const RECT& area, const GraphModel& model, const Theme& theme, float scale,
               const std::wstring& face) {
  Canvas c(dc, scale, face);
  const GraphFrame frame(c, area, model);
  DrawGraphBackground(c, area, frame, theme);
  DrawGraphGrid(c, frame, theme);
  DrawGraphCycles(dc, c, frame, theme, scale, DrawnCycles{});
}

void GraphPicture::Draw(HDC dc, const RECT& area, const GraphModel& model, const Theme& theme,
                        float scale, const std::wstring& face) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  const RECT whole{0, 0, width, height};
  std::wstring key = BackgroundKey(whole, model, theme, scale, face);
  const HDC background = background_.Dc(dc, width, height);
  const HDC frame = frame_.Dc(dc, width, height);
  Canvas c(frame, scale, face);
  const GraphFrame place(c, whole, model);
  if (key != backgroundKey_) {
    Canvas b(background, scale, face);
    DrawGraphBackground(b, whole, GraphFrame(b, whole, model), theme);
    backgroundKey_ = key;
  }
  // The kept frame takes the new cycles while the axes, the first points shown and the rest stay.
  for (const double value : {model.from, model.to, static_cast<double>(BarWidth(c, place))}) {
    key += L" " + std::to_wstring(value);
  }
  for (const auto* points : {&model.a, &model.b}) {
    if (!points->empty()) {
      key += L" " + std::to_wstring(points->front().time) + L"," +
             std::to_wstring(points->front().value);
    }
  }
  DrawnCycles since = drawn_;
  if (key != frameKey_ || model.empty || !model.note.empty()) {
    BitBlt(frame, 0, 0, width, height, background, 0, 0, SRCCOPY);
    DrawGraphGrid(c, place, theme);
    since = DrawnCycles{};
    frameKey_ = std::move(key);
  }
  DrawGraphCycles(frame, c, place, theme, scale, since);
  drawn_ = NewestOf(model, since);
  BitBlt(dc, area.left, area.top, width, height, frame, 0, 0, SRCCOPY);
}

void DrawStarBars(HDC dc, const RECT& area, const std::vector<StarNow>& stars, double minSN,
                  int rowHeight, const Theme& theme, float scale) {
  Canvas c(dc, scale, L"");
  c.Fill(static_cast<float>(area.left), static_cast<float>(area.top),
         static_cast<float>(area.right), static_cast<float>(area.bottom), theme.window);
  double top = std::max(2.0 * minSN, 20.0);
  for (const StarNow& s : stars) {
    if (std::isfinite(s.sn)) top = std::max(top, s.sn * 1.1);
  }
  const float left = static_cast<float>(area.left) + c.S(2);
  const float width = static_cast<float>(area.right - area.left) - c.S(4);
  for (std::size_t i = 0; i < stars.size(); ++i) {
    const float y = static_cast<float>(area.top) + static_cast<float>(i * rowHeight) +
                    std::floor(static_cast<float>(rowHeight) * 0.2f);
    const float h = std::floor(static_cast<float>(rowHeight) * 0.6f);
    c.Fill(left, y, left + width, y + h, theme.track);
    const double sn = std::isfinite(stars[i].sn) ? std::max(stars[i].sn, 0.0) : 0.0;
    const float w = std::max(1.0f, width * static_cast<float>(std::min(sn / top, 1.0)));
    const COLORREF fill = stars[i].state == StarState::Used         ? theme.barUsed
                          : stars[i].state == StarState::BelowMinSN ? theme.barLow
                                                                    : theme.barNotFound;
    c.Fill(left, y, left + w, y + h, fill);
    const float mark = std::floor(left + width * static_cast<float>(minSN / top));
    c.Fill(mark, y - c.S(2), mark + std::max(1.0f, std::floor(c.S(1.5f))), y + h + c.S(2),
           theme.text);
  }
}

}  // namespace corvane::monitor
