// A small RGB raster canvas (lines, rectangles, dots, text in a built-in 5 x 7 pixel font) and a
// PNG writer of its own (zlib stream, CRC-32 and Adler-32 here), so a plot needs no converter or
// image library on any platform.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::logtools {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// "#rrggbb" (what the SVG writer uses); other text reads as black.
Rgb ParseColour(std::string_view text);

class Canvas {
 public:
  Canvas(int width, int height, Rgb background = {255, 255, 255});

  int Width() const { return width_; }
  int Height() const { return height_; }
  Rgb Pixel(int x, int y) const;
  void Set(int x, int y, Rgb colour);  // outside the canvas: nothing

  void FillRect(int x, int y, int w, int h, Rgb colour);
  void StrokeRect(int x, int y, int w, int h, Rgb colour);
  // A line of the given width in pixels; dashed: 5 on, 3 off.
  void Line(double x1, double y1, double x2, double y2, Rgb colour, int width = 1,
            bool dashed = false);
  void Dot(double x, double y, int radius, Rgb colour);
  // Text with its baseline-left corner at (x, y) in whole pixels of the 5 x 7 font times scale;
  // vertical text runs upwards (rotated by -90 degrees) from (x, y).
  void Text(int x, int y, std::string_view text, Rgb colour, int scale = 1, bool vertical = false);
  static int TextWidth(std::string_view text, int scale = 1) {
    return static_cast<int>(text.size()) * 6 * scale;
  }

  // The canvas as a PNG file: 8-bit RGB, every row filtered by its difference to the row above.
  std::vector<std::uint8_t> EncodePng() const;

 private:
  int width_, height_;
  std::vector<Rgb> pixels_;
  int dashPhase_ = 0;
};

// The rows of a character of the font ('#' marks ink), nullptr for one it does not have.
const std::array<const char*, 7>* GlyphRows(char c);

// The checksums and the compressed stream of a PNG, public for their tests.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t Adler32(const std::uint8_t* data, std::size_t size);
// A zlib stream: one deflate block with the fixed Huffman codes, where runs of a repeated byte
// become copies at distance 1.
std::vector<std::uint8_t> ZlibCompress(const std::vector<std::uint8_t>& data);

}  // namespace corvane::logtools
