// The canvas: a PNG that decodes (stb_image, an independent reader) to the canvas's pixels;
// antialiased text in the embedded font, measured as drawn; lines from far outside cut to the
// canvas.
#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>

#include <memory>

#include "logtools/Raster.h"

namespace corvane::logtools {
namespace {

const Rgb kWhite{255, 255, 255}, kRed{255, 0, 0}, kBlack{0, 0, 0};

TEST(Canvas, PngDecodesToTheCanvasPixels) {
  Canvas canvas(61, 23);
  canvas.FillRect(2, 2, 20, 10, ParseColour("#1f77b4"));
  canvas.Line(0, 22, 60, 0, ParseColour("#d62728"), 2.0, 4.0);
  canvas.Text(25, 18, "Xoff 1.5\"", kBlack, 11.0);
  const std::vector<std::uint8_t> png = canvas.EncodePng();
  int w = 0, h = 0, channels = 0;
  const std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &channels, 3),
      &stbi_image_free);
  ASSERT_NE(pixels, nullptr) << stbi_failure_reason();
  ASSERT_EQ(w, 61);
  ASSERT_EQ(h, 23);
  EXPECT_EQ(channels, 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const stbi_uc* p = pixels.get() + (y * w + x) * 3;
      ASSERT_EQ((Rgb{p[0], p[1], p[2]}), canvas.Pixel(x, y)) << x << "," << y;
    }
  }
}

TEST(Canvas, TextIsAntialiasedInTheEmbeddedFont) {
  Canvas canvas(120, 120);
  canvas.Text(10, 30, "Mean offset 0.29\"", kBlack, 12.0);
  int ink = 0, partial = 0, right = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 120; ++x) {
      const Rgb p = canvas.Pixel(x, y);
      if (p == kWhite) continue;
      ++ink;
      partial += p == kBlack ? 0 : 1;
      right = std::max(right, x);
    }
  }
  EXPECT_GT(ink, 100);
  EXPECT_GT(partial, ink / 3);  // grey edges, not a pixel font
  // Measured as drawn: the ink ends where the measured width says.
  EXPECT_NEAR(right, 10 + Canvas::TextWidth("Mean offset 0.29\"", 12.0), 3.0);
  EXPECT_LT(Canvas::TextWidth("iiii", 12.0), Canvas::TextWidth("WWWW", 12.0) / 2);
  // Vertical text runs upwards from its start, in a column one line high.
  canvas.Text(100, 110, "arcsec", kBlack, 12.0, true);
  int top = 120, left = 120, rightmost = 0;
  for (int y = 50; y < 120; ++y) {
    for (int x = 90; x < 120; ++x) {
      if (canvas.Pixel(x, y) == kWhite) continue;
      top = std::min(top, y);
      left = std::min(left, x);
      rightmost = std::max(rightmost, x);
    }
  }
  EXPECT_NEAR(110 - top, Canvas::TextWidth("arcsec", 12.0), 3.0);
  EXPECT_LE(rightmost - left, 14);
}

// A line from or to far outside the canvas is drawn where it crosses the canvas; one from a value
// of 1e308 mapped to pixels is drawn without an overflow on the way (the sanitizers' build).
TEST(Canvas, LinesFromFarOutsideAreCutToTheCanvas) {
  Canvas canvas(40, 20);
  canvas.Line(-1e7, 5.5, 1e7, 5.5, kRed);
  canvas.Line(10.5, 1e9, 10.5, -1e6, kRed);
  for (int x = 0; x < 40; ++x) EXPECT_EQ(canvas.Pixel(x, 5), kRed) << x;
  for (int y = 0; y < 20; ++y) EXPECT_EQ(canvas.Pixel(10, y), kRed) << y;
  canvas.Line(-1e308, -1e308, 1e308, 1e308, kRed);
  canvas.Line(-1e308, 1e308, -1e300, 1e308, kRed);  // never crosses
  canvas.Dot(1e308, 1e308, 3, kRed);
  canvas.Dot(-1e308, 3, 3, kRed);
  canvas.Text(1e308, -1e308, "far", kRed, 12.0);
  EXPECT_EQ(canvas.Pixel(0, 19), kWhite);
  EXPECT_EQ(canvas.Pixel(39, 0), kWhite);
}

}  // namespace
}  // namespace corvane::logtools
