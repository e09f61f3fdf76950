// The guide graph as the window draws it, a cycle at a time onto the picture it keeps, looks as
// the same graph drawn whole at once (across a step of the clock, with pulses and cycles without
// a pulse), drawn by Wine's own GDI and GDI+.
#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "monitor/Graph.h"
#include "monitor/RunState.h"
#include "monitor/win/Drawing.h"

namespace corvane::monitor {
namespace {

constexpr int kWidth = 640, kHeight = 400;

std::vector<std::uint32_t> Pixels(HDC dc) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
  const HBITMAP bitmap = static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP));
  EXPECT_EQ(GetDIBits(dc, bitmap, 0, kHeight, pixels.data(), &info, DIB_RGB_COLORS), kHeight);
  return pixels;
}

int Channel(std::uint32_t pixel, int shift) {
  return static_cast<int>((pixel >> shift) & 0xff);
}

TEST(GraphPicture, ACycleAtATimeLooksAsTheWholeGraphDrawnAtOnce) {
  ULONG_PTR token = 0;
  const Gdiplus::GdiplusStartupInput input;
  ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
  {
    RunState run(RunInfo{3, {}, {}, {}, {}, false, {}, {}});
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 0.25);
    const auto add = [&](int i) {
      CycleLine line;
      line.row.xoff = 0.6 * std::sin(i / 40.0) + noise(random);
      line.row.yoff = noise(random);
      line.row.xtim = i % 7 == 0 ? 0.0 : -0.4 * line.row.xoff;
      line.row.ytim = -0.4 * line.row.yoff;
      const bool lost = i % 53 == 0;  // no star: no pulse
      line.row.stars.assign(3, {0, 0, 0, 0, lost ? 0.0 : 30.0});
      if (lost) line.row.xtim = line.row.ytim = 0.0;
      run.Add(line, 1.7e9 + i);
    };
    const HDC screen = GetDC(nullptr);
    const RECT area{0, 0, kWidth, kHeight};
    const Offscreen window(screen, kWidth, kHeight), whole(screen, kWidth, kHeight);
    GraphPicture kept;
    GraphModel model;
    for (int i = 0; i < 400; ++i) {
      add(i);
      if (i < 340) continue;
      model = MakeGraph(run, Span::Minutes5, std::nullopt, kWidth);
      kept.Draw(window.Dc(), area, model, DayTheme(), 1.0f, L"Tahoma");
    }
    ASSERT_FALSE(model.starved.empty());
    DrawGraph(whole.Dc(), area, model, DayTheme(), 1.0f, L"Tahoma");
    const std::vector<std::uint32_t> drawn = Pixels(window.Dc()), expected = Pixels(whole.Dc());
    ReleaseDC(nullptr, screen);

    // Inked: what differs from the graph's white; apart: more than a faint antialiased edge.
    int inked = 0, apart = 0;
    for (std::size_t p = 0; p < drawn.size(); ++p) {
      if ((expected[p] & 0xffffff) != 0xffffff) ++inked;
      int most = 0;
      for (int shift : {0, 8, 16}) {
        most = std::max(most, std::abs(Channel(drawn[p], shift) - Channel(expected[p], shift)));
      }
      if (most > 96) ++apart;
    }
    EXPECT_GT(inked, 5000);
    EXPECT_LT(apart, inked / 100) << apart << " of " << inked << " inked pixels apart";
  }
  Gdiplus::GdiplusShutdown(token);
}

}  // namespace
}  // namespace corvane::monitor
