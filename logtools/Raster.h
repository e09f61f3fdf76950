// A small RGB raster canvas for the plots: antialiased lines, dots and text (DejaVu Sans through
// stb_truetype, see Font.h), blended over what is there, written as PNG by stb_image_write.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::logtools {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// "#rrggbb" or "#rgb" (what the SVG writer uses); other text reads as black.
Rgb ParseColour(std::string_view text);

using Point = std::pair<double, double>;

class Canvas {
 public:
  Canvas(int width, int height, Rgb background = {255, 255, 255});

  int Width() const { return width_; }
  int Height() const { return height_; }
  Rgb Pixel(int x, int y) const;  // outside the canvas: black
  // `colour` over the pixel with the given opacity (0 to 1); outside the canvas: nothing.
  void Blend(int x, int y, Rgb colour, double opacity);

  void FillRect(int x, int y, int w, int h, Rgb colour, double opacity = 1.0);
  void StrokeRect(int x, int y, int w, int h, Rgb colour);
  // An antialiased line of the given width through the points (round joins and ends, each pixel
  // covered once however many segments pass it); dashed: `dash` pixels on, as many off, along
  // the line. Coordinates are pixel edges: (0.5, 0.5) is the first pixel's centre. Points of any
  // finite size are drawn where the line crosses the canvas.
  void Polyline(const std::vector<Point>& points, Rgb colour, double width = 1.0,
                double dash = 0.0);
  void Line(double x1, double y1, double x2, double y2, Rgb colour, double width = 1.0,
            double dash = 0.0) {
    Polyline({{x1, y1}, {x2, y2}}, colour, width, dash);
  }
  void Dot(double x, double y, double radius, Rgb colour, double opacity = 1.0);
  // UTF-8 text of `size` pixels per em with its baseline's left end at (x, y); vertical text
  // runs upwards from there (rotated by -90 degrees).
  void Text(double x, double y, std::string_view text, Rgb colour, double size,
            bool vertical = false);
  static double TextWidth(std::string_view text, double size);

  // The canvas as a PNG file (8-bit RGB).
  std::vector<std::uint8_t> EncodePng() const;

 private:
  int width_, height_;
  std::vector<Rgb> pixels_;
};

}  // namespace corvane::logtools
