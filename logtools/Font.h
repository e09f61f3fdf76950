// The plots' text: DejaVu Sans (from Debian's fonts-dejavu-core, carried inside the program so
// corvane-log.exe needs no font of the system), set and rasterized antialiased by stb_truetype.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace corvane::logtools {

class Font {
 public:
  static const Font& Sans();

  // The advance of UTF-8 `text` at `size` pixels per em, kerning included.
  double Width(std::string_view text, double size) const;
  // Sets `text` with its baseline's left end at (shift, 0), 0 <= shift < 1, and calls
  // ink(x, y, coverage) for every pixel it covers (x to the right, y down, coverage 1 to 255).
  void Render(std::string_view text, double size, double shift,
              const std::function<void(int x, int y, std::uint8_t coverage)>& ink) const;

  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  ~Font();

 private:
  Font(const unsigned char* data, std::size_t size);
  struct Face;
  std::unique_ptr<Face> face_;
};

}  // namespace corvane::logtools
