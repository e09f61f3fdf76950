#include "logtools/Font.h"

#include <stb/stb_truetype.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "logtools/Assets.h"

namespace corvane::logtools {

namespace {

// The code points of UTF-8 text; a byte that starts no valid sequence reads as U+FFFD.
std::vector<int> CodePoints(std::string_view text) {
  std::vector<int> points;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const int length = byte < 0x80         ? 1
                       : (byte >> 5) == 6  ? 2
                       : (byte >> 4) == 14 ? 3
                       : (byte >> 3) == 30 ? 4
                                           : 0;
    int point = length == 1   ? byte
                : length == 2 ? byte & 0x1F
                : length == 3 ? byte & 0x0F
                              : byte & 0x07;
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      valid = (next >> 6) == 2;
      point = (point << 6) | (next & 0x3F);
    }
    points.push_back(valid ? point : 0xFFFD);
    i += valid ? static_cast<std::size_t>(length) : 1;
  }
  return points;
}

// The pen moved past code point i: its advance, and its kerning with the next one.
void MovePen(const stbtt_fontinfo* info, const std::vector<int>& points, std::size_t i, float scale,
             double& pen) {
  int advance = 0, bearing = 0;
  stbtt_GetCodepointHMetrics(info, points[i], &advance, &bearing);
  pen += advance * static_cast<double>(scale);
  if (i + 1 < points.size()) {
    pen +=
        stbtt_GetCodepointKernAdvance(info, points[i], points[i + 1]) * static_cast<double>(scale);
  }
}

}  // namespace

struct Font::Face {
  stbtt_fontinfo info;
};

Font::Font(const unsigned char* data, std::size_t size) : face_(std::make_unique<Face>()) {
  const int offset = stbtt_GetFontOffsetForIndex(data, 0);
  if (size < 12 || offset < 0 || stbtt_InitFont(&face_->info, data, offset) == 0) {
    throw std::runtime_error("the embedded font cannot be read");
  }
}

Font::~Font() = default;

const Font& Font::Sans() {
  static const std::string_view bytes = assets::DejaVuSans();
  static const Font font(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return font;
}

double Font::Width(std::string_view text, double size) const {
  const stbtt_fontinfo* info = &face_->info;
  const float scale = stbtt_ScaleForMappingEmToPixels(info, static_cast<float>(size));
  const std::vector<int> points = CodePoints(text);
  double pen = 0.0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    MovePen(info, points, i, scale, pen);
  }
  return pen;
}

void Font::Render(std::string_view text, double size, double shift,
                  const std::function<void(int, int, std::uint8_t)>& ink) const {
  const stbtt_fontinfo* info = &face_->info;
  const float scale = stbtt_ScaleForMappingEmToPixels(info, static_cast<float>(size));
  const std::vector<int> points = CodePoints(text);
  double pen = shift;
  std::vector<unsigned char> bitmap;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const double whole = std::floor(pen);
    const auto fraction = static_cast<float>(pen - whole);
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetCodepointBitmapBoxSubpixel(info, points[i], scale, scale, fraction, 0.0f, &x0, &y0,
                                        &x1, &y1);
    const int w = x1 - x0, h = y1 - y0;
    if (w > 0 && h > 0) {
      bitmap.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
      stbtt_MakeCodepointBitmapSubpixel(info, bitmap.data(), w, h, w, scale, scale, fraction, 0.0f,
                                        points[i]);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const unsigned char c = bitmap[static_cast<std::size_t>(y * w + x)];
          if (c != 0) ink(static_cast<int>(whole) + x0 + x, y0 + y, c);
        }
      }
    }
    MovePen(info, points, i, scale, pen);
  }
}

}  // namespace corvane::logtools
