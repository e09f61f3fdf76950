#include "logtools/Raster.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>

#include "logtools/Font.h"

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

namespace {

// Cuts the segment to the rectangle [left, right] x [top, bottom] (Liang-Barsky); false when no
// part of it is inside. Any finite coordinates, however large, come out inside the rectangle
// (far ends only as precisely as their size allows).
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
  const double ax = x1, ay = y1;
  x1 = std::clamp(ax + dx * t0 + dx * t0, left, right);
  y1 = std::clamp(ay + dy * t0 + dy * t0, top, bottom);
  x2 = std::clamp(ax + dx * t1 + dx * t1, left, right);
  y2 = std::clamp(ay + dy * t1 + dy * t1, top, bottom);
  return true;
}

// Distance from (px, py) to the segment (ax, ay)-(bx, by).
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double vx = bx - ax, vy = by - ay;
  const double length2 = vx * vx + vy * vy;
  double t = length2 > 0.0 ? ((px - ax) * vx + (py - ay) * vy) / length2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(px - ax - t * vx, py - ay - t * vy);
}

}  // namespace

Canvas::Canvas(int width, int height, Rgb background)
    : width_(std::clamp(width, 1, 1 << 14)),
      height_(std::clamp(height, 1, 1 << 14)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), background) {}

Rgb Canvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                 static_cast<std::size_t>(x)];
}

void Canvas::Blend(int x, int y, Rgb colour, double opacity) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || !(opacity > 0.0)) return;
  const double a = std::min(opacity, 1.0);
  Rgb& p = pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                   static_cast<std::size_t>(x)];
  auto mix = [a](std::uint8_t under, std::uint8_t over) {
    return static_cast<std::uint8_t>(std::lround(under + (over - under) * a));
  };
  p = {mix(p.r, colour.r), mix(p.g, colour.g), mix(p.b, colour.b)};
}

void Canvas::FillRect(int x, int y, int w, int h, Rgb colour, double opacity) {
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + std::max(w, 0), width_), y1 = std::min(y + std::max(h, 0), height_);
  for (int j = y0; j < y1; ++j) {
    for (int i = x0; i < x1; ++i) Blend(i, j, colour, opacity);
  }
}

void Canvas::StrokeRect(int x, int y, int w, int h, Rgb colour) {
  FillRect(x, y, w, 1, colour);
  FillRect(x, y + h - 1, w, 1, colour);
  FillRect(x, y + 1, 1, h - 2, colour);
  FillRect(x + w - 1, y + 1, 1, h - 2, colour);
}

void Canvas::Polyline(const std::vector<Point>& points, Rgb colour, double width, double dash) {
  width = std::clamp(std::isfinite(width) ? width : 1.0, 0.1, 64.0);
  const double reach = width / 2 + 1.0;
  // The segments that cross the canvas, cut to it (dashes cut out of them).
  std::vector<std::pair<Point, Point>> segments;
  double along = 0.0;
  for (std::size_t i = 1; i < points.size(); ++i) {
    double x1 = points[i - 1].first, y1 = points[i - 1].second;
    double x2 = points[i].first, y2 = points[i].second;
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) {
      continue;
    }
    if (!Clip(x1, y1, x2, y2, -reach, -reach, width_ + reach, height_ + reach)) continue;
    const double length = std::hypot(x2 - x1, y2 - y1);
    if (!(dash > 0.0) || length == 0.0) {
      segments.push_back({{x1, y1}, {x2, y2}});
      continue;
    }
    // Dashes: on while (along mod 2 dash) < dash, at most a few thousand per segment.
    double s = 0.0;
    for (int pieces = 0; s < length && pieces < 4096; ++pieces) {
      const double phase = std::fmod(along + s, 2 * dash);
      const bool on = phase < dash;
      const double end = std::min(length, s + (on ? dash - phase : 2 * dash - phase));
      if (on) {
        segments.push_back({{x1 + (x2 - x1) * s / length, y1 + (y2 - y1) * s / length},
                            {x1 + (x2 - x1) * end / length, y1 + (y2 - y1) * end / length}});
      }
      s = end;
    }
    along += length;
  }
  if (segments.empty()) return;
  // Each pixel takes the largest coverage of any segment, then the colour is blended once.
  double left = width_, top = height_, right = 0.0, bottom = 0.0;
  for (const auto& [a, b] : segments) {
    left = std::min({left, a.first, b.first});
    right = std::max({right, a.first, b.first});
    top = std::min({top, a.second, b.second});
    bottom = std::max({bottom, a.second, b.second});
  }
  const int x0 = std::max(0, static_cast<int>(std::floor(left - reach)));
  const int y0 = std::max(0, static_cast<int>(std::floor(top - reach)));
  const int x1 = std::min(width_, static_cast<int>(std::ceil(right + reach)));
  const int y1 = std::min(height_, static_cast<int>(std::ceil(bottom + reach)));
  if (x1 <= x0 || y1 <= y0) return;
  const auto w = static_cast<std::size_t>(x1 - x0);
  std::vector<float> coverage(w * static_cast<std::size_t>(y1 - y0), 0.0f);
  for (const auto& [a, b] : segments) {
    const int sx0 = std::max(x0, static_cast<int>(std::floor(std::min(a.first, b.first) - reach)));
    const int sx1 = std::min(x1, static_cast<int>(std::ceil(std::max(a.first, b.first) + reach)));
    const int sy0 =
        std::max(y0, static_cast<int>(std::floor(std::min(a.second, b.second) - reach)));
    const int sy1 = std::min(y1, static_cast<int>(std::ceil(std::max(a.second, b.second) + reach)));
    for (int y = sy0; y < sy1; ++y) {
      for (int x = sx0; x < sx1; ++x) {
        const double d = SegmentDistance(x + 0.5, y + 0.5, a.first, a.second, b.first, b.second);
        const auto c = static_cast<float>(std::clamp(width / 2 + 0.5 - d, 0.0, 1.0));
        float& cell =
            coverage[static_cast<std::size_t>(y - y0) * w + static_cast<std::size_t>(x - x0)];
        cell = std::max(cell, c);
      }
    }
  }
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      Blend(x, y, colour,
            coverage[static_cast<std::size_t>(y - y0) * w + static_cast<std::size_t>(x - x0)]);
    }
  }
}

void Canvas::Dot(double x, double y, double radius, Rgb colour, double opacity) {
  radius = std::clamp(std::isfinite(radius) ? radius : 1.0, 0.1, 64.0);
  if (!(x > -radius - 1.0 && x < width_ + radius + 1.0 && y > -radius - 1.0 &&
        y < height_ + radius + 1.0)) {
    return;  // outside the canvas, or not a number
  }
  const int x0 = static_cast<int>(std::floor(x - radius - 1)),
            x1 = static_cast<int>(std::ceil(x + radius + 1));
  const int y0 = static_cast<int>(std::floor(y - radius - 1)),
            y1 = static_cast<int>(std::ceil(y + radius + 1));
  for (int j = y0; j <= y1; ++j) {
    for (int i = x0; i <= x1; ++i) {
      const double d = std::hypot(i + 0.5 - x, j + 0.5 - y);
      Blend(i, j, colour, opacity * std::clamp(radius + 0.5 - d, 0.0, 1.0));
    }
  }
}

void Canvas::Text(double x, double y, std::string_view text, Rgb colour, double size,
                  bool vertical) {
  if (!std::isfinite(x) || !std::isfinite(y) || std::abs(x) > 1e6 || std::abs(y) > 1e6) return;
  size = std::clamp(std::isfinite(size) ? size : 12.0, 1.0, 200.0);
  const double along = vertical ? -y : x;  // the direction the text runs in
  const double whole = std::floor(along);
  const int baseX = static_cast<int>(std::lround(vertical ? x : whole));
  const int baseY = static_cast<int>(std::lround(vertical ? -whole : y));
  // Coverage as a little heavier than linear: small text on white reads as too thin otherwise.
  Font::Sans().Render(text, size, along - whole, [&](int gx, int gy, std::uint8_t c) {
    const double opacity = std::pow(c / 255.0, 0.8);
    if (vertical) {
      Blend(baseX + gy, baseY - gx - 1, colour, opacity);
    } else {
      Blend(baseX + gx, baseY + gy, colour, opacity);
    }
  });
}

double Canvas::TextWidth(std::string_view text, double size) {
  return Font::Sans().Width(text, size);
}

std::vector<std::uint8_t> Canvas::EncodePng() const {
  std::vector<std::uint8_t> png;
  std::vector<std::uint8_t> rgb;
  rgb.reserve(pixels_.size() * 3);
  for (const Rgb& p : pixels_) rgb.insert(rgb.end(), {p.r, p.g, p.b});
  stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        auto* out = static_cast<std::vector<std::uint8_t>*>(context);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        out->insert(out->end(), bytes, bytes + size);
      },
      &png, width_, height_, 3, rgb.data(), width_ * 3);
  return png;
}

}  // namespace corvane::logtools
