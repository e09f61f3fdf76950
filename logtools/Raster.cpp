#include "logtools/Raster.h"

#include <algorithm>
#include <cmath>

namespace corvane::logtools {

Rgb ParseColour(std::string_view text) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
  };
  if (text.size() == 4 && text[0] == '#') {  // #rgb
    return {static_cast<std::uint8_t>(hex(text[1]) * 17),
            static_cast<std::uint8_t>(hex(text[2]) * 17),
            static_cast<std::uint8_t>(hex(text[3]) * 17)};
  }
  if (text.size() != 7 || text[0] != '#') return {};
  auto byte = [&](std::size_t i) {
    return static_cast<std::uint8_t>(hex(text[i]) * 16 + hex(text[i + 1]));
  };
  return {byte(1), byte(3), byte(5)};
}

Canvas::Canvas(int width, int height, Rgb background)
    : width_(std::max(1, width)),
      height_(std::max(1, height)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), background) {}

Rgb Canvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                 static_cast<std::size_t>(x)];
}

void Canvas::Set(int x, int y, Rgb colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
          static_cast<std::size_t>(x)] = colour;
}

void Canvas::FillRect(int x, int y, int w, int h, Rgb colour) {
  for (int j = y; j < y + h; ++j) {
    for (int i = x; i < x + w; ++i) Set(i, j, colour);
  }
}

void Canvas::StrokeRect(int x, int y, int w, int h, Rgb colour) {
  for (int i = x; i < x + w; ++i) {
    Set(i, y, colour);
    Set(i, y + h - 1, colour);
  }
  for (int j = y; j < y + h; ++j) {
    Set(x, j, colour);
    Set(x + w - 1, j, colour);
  }
}

namespace {

// Cuts the segment to the rectangle [left, right] x [top, bottom] (Liang-Barsky); false when no
// part of it is inside. Any finite coordinates, however large, come out inside the rectangle.
bool Clip(double& x1, double& y1, double& x2, double& y2, double left, double top, double right,
          double bottom) {
  double t0 = 0.0, t1 = 1.0;
  // Halved differences cannot overflow, and the ratios below do not depend on the halving.
  const double dx = x2 / 2 - x1 / 2, dy = y2 / 2 - y1 / 2;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 / 2 - left / 2, right / 2 - x1 / 2, y1 / 2 - top / 2,
                       bottom / 2 - y1 / 2};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  // Within the rectangle up to rounding, which is large for far ends: clamped into it.
  const double ax = x1, ay = y1;
  x1 = std::clamp(ax + dx * t0 + dx * t0, left, right);
  y1 = std::clamp(ay + dy * t0 + dy * t0, top, bottom);
  x2 = std::clamp(ax + dx * t1 + dx * t1, left, right);
  y2 = std::clamp(ay + dy * t1 + dy * t1, top, bottom);
  return true;
}

}  // namespace

void Canvas::Line(double x1, double y1, double x2, double y2, Rgb colour, int width, bool dashed) {
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
  const double margin = width + 2.0;
  if (!Clip(x1, y1, x2, y2, -margin, -margin, width_ + margin, height_ + margin)) return;
  const double length = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
  const int steps = static_cast<int>(std::ceil(std::min(length, 1e5)));
  for (int s = 0; s <= steps; ++s) {
    if (dashed) {
      const bool on = (dashPhase_++ % 8) < 5;
      if (!on) continue;
    }
    const double t = steps == 0 ? 0.0 : static_cast<double>(s) / steps;
    const int x = static_cast<int>(std::lround(x1 + (x2 - x1) * t));
    const int y = static_cast<int>(std::lround(y1 + (y2 - y1) * t));
    for (int dy = 0; dy < width; ++dy) {
      for (int dx = 0; dx < width; ++dx) Set(x + dx - width / 2, y + dy - width / 2, colour);
    }
  }
}

void Canvas::Dot(double x, double y, int radius, Rgb colour) {
  if (!(x > -radius - 1.0 && x < width_ + radius + 1.0 && y > -radius - 1.0 &&
        y < height_ + radius + 1.0)) {
    return;  // outside the canvas, or not a number
  }
  const int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
  for (int dy = -radius; dy <= radius; ++dy) {
    for (int dx = -radius; dx <= radius; ++dx) {
      if (dx * dx + dy * dy <= radius * radius + radius) Set(cx + dx, cy + dy, colour);
    }
  }
}

void Canvas::Text(int x, int y, std::string_view text, Rgb colour, int scale, bool vertical) {
  int pen = 0;
  for (char c : text) {
    const auto* rows = GlyphRows(c);
    if (!rows) rows = GlyphRows('?');
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if ((*rows)[static_cast<std::size_t>(row)][col] != '#') continue;
        // The glyph's top row sits 7 * scale above the baseline.
        const int u = pen + col * scale, v = (row - 7) * scale;
        for (int a = 0; a < scale; ++a) {
          for (int b = 0; b < scale; ++b) {
            if (vertical) {
              Set(x + v + b, y - u - a, colour);
            } else {
              Set(x + u + a, y + v + b, colour);
            }
          }
        }
      }
    }
    pen += 6 * scale;
  }
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t Adler32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t a = 1, b = 0;
  for (std::size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

namespace {

// Bits go into the stream least significant first; Huffman codes are sent most significant first.
class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void Bits(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
  }
  void Code(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
  }
  void Flush() {
    if (used_ > 0) out_.push_back(current_);
    current_ = 0;
    used_ = 0;
  }

 private:
  void Bit(std::uint32_t bit) {
    current_ = static_cast<std::uint8_t>(current_ | (bit << used_));
    if (++used_ == 8) Flush();
  }
  std::vector<std::uint8_t>& out_;
  std::uint8_t current_ = 0;
  int used_ = 0;
};

// The fixed literal/length code of deflate.
void Symbol(BitWriter& w, int symbol) {
  if (symbol < 144) {
    w.Code(static_cast<std::uint32_t>(0x30 + symbol), 8);
  } else if (symbol < 256) {
    w.Code(static_cast<std::uint32_t>(0x190 + symbol - 144), 9);
  } else if (symbol < 280) {
    w.Code(static_cast<std::uint32_t>(symbol - 256), 7);
  } else {
    w.Code(static_cast<std::uint32_t>(0xC0 + symbol - 280), 8);
  }
}

// A copy of `length` (3 to 258) bytes from distance 1.
void CopyFromPrevious(BitWriter& w, int length) {
  static constexpr int kBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static constexpr int kExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  int code = 28;
  while (kBase[code] > length) --code;
  Symbol(w, 257 + code);
  w.Bits(static_cast<std::uint32_t>(length - kBase[code]), kExtra[code]);
  w.Code(0, 5);  // distance code 0: distance 1
}

void BigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void Chunk(std::vector<std::uint8_t>& png, const char* type,
           const std::vector<std::uint8_t>& data) {
  BigEndian(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  BigEndian(png, Crc32(png.data() + start, png.size() - start));
}

}  // namespace

std::vector<std::uint8_t> ZlibCompress(const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> out = {0x78, 0x01};  // deflate, 32 KiB window, no dictionary
  BitWriter w(out);
  w.Bits(1, 1);  // the last block
  w.Bits(1, 2);  // fixed Huffman codes
  std::size_t i = 0;
  while (i < data.size()) {
    Symbol(w, data[i]);
    std::size_t run = 0;
    while (i + 1 + run < data.size() && data[i + 1 + run] == data[i]) ++run;
    std::size_t left = run;
    while (left >= 3) {
      const int length = static_cast<int>(std::min<std::size_t>(left, 258));
      // Never leave 1 or 2 bytes that a copy could not take unless they go as literals.
      CopyFromPrevious(w, length);
      left -= static_cast<std::size_t>(length);
    }
    for (std::size_t k = 0; k < left; ++k) Symbol(w, data[i]);
    i += 1 + run;
  }
  Symbol(w, 256);  // end of block
  w.Flush();
  BigEndian(out, Adler32(data.data(), data.size()));
  return out;
}

std::vector<std::uint8_t> Canvas::EncodePng() const {
  std::vector<std::uint8_t> raw;
  const std::size_t stride = static_cast<std::size_t>(width_) * 3;
  raw.reserve((stride + 1) * static_cast<std::size_t>(height_));
  std::vector<std::uint8_t> previous(stride, 0), row(stride);
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const Rgb p = Pixel(x, y);
      const std::size_t k = static_cast<std::size_t>(x) * 3;
      row[k] = p.r;
      row[k + 1] = p.g;
      row[k + 2] = p.b;
    }
    raw.push_back(2);  // filter "Up"
    for (std::size_t k = 0; k < stride; ++k) {
      raw.push_back(static_cast<std::uint8_t>(row[k] - previous[k]));
    }
    previous.swap(row);
  }
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  BigEndian(header, static_cast<std::uint32_t>(width_));
  BigEndian(header, static_cast<std::uint32_t>(height_));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive, no interlace
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", ZlibCompress(raw));
  Chunk(png, "IEND", {});
  return png;
}

}  // namespace corvane::logtools
