// The PNG writer: checksums against their published check values, and a picture decoded again by
// an inflater written here from the deflate format (stored and fixed-Huffman blocks).
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "logtools/Raster.h"

namespace corvane::logtools {
namespace {

class BitReader {
 public:
  explicit BitReader(const std::vector<std::uint8_t>& data, std::size_t start)
      : data_(data), byte_(start) {}
  int Bit() {
    if (byte_ >= data_.size()) throw std::runtime_error("deflate stream ends early");
    const int bit = (data_[byte_] >> bit_) & 1;
    if (++bit_ == 8) {
      bit_ = 0;
      ++byte_;
    }
    return bit;
  }
  int Bits(int count) {  // least significant first
    int v = 0;
    for (int i = 0; i < count; ++i) v |= Bit() << i;
    return v;
  }
  int Huffman(int count) {  // most significant first
    int v = 0;
    for (int i = 0; i < count; ++i) v = (v << 1) | Bit();
    return v;
  }
  void Align() {
    if (bit_ != 0) {
      bit_ = 0;
      ++byte_;
    }
  }
  std::size_t Byte() const { return byte_; }
  void Skip(std::size_t n) { byte_ += n; }

 private:
  const std::vector<std::uint8_t>& data_;
  std::size_t byte_;
  int bit_ = 0;
};

// The fixed literal/length code: 7, 8 or 9 bits.
int FixedSymbol(BitReader& r) {
  int code = r.Huffman(7);
  if (code <= 0x17) return code + 256;
  code = (code << 1) | r.Bit();
  if (code >= 0x30 && code <= 0xBF) return code - 0x30;
  if (code >= 0xC0 && code <= 0xC7) return code - 0xC0 + 280;
  code = (code << 1) | r.Bit();
  return code - 0x190 + 144;
}

std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& z) {
  static const int kBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const int kExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  static const int kDistBase[] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                  33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                  1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0) << "zlib header check";
  std::vector<std::uint8_t> out;
  BitReader r(z, 2);
  for (bool last = false; !last;) {
    last = r.Bit() == 1;
    const int type = r.Bits(2);
    if (type == 0) {
      r.Align();
      const std::size_t at = r.Byte();
      const std::size_t len = z[at] | (z[at + 1] << 8);
      out.insert(out.end(), z.begin() + static_cast<std::ptrdiff_t>(at + 4),
                 z.begin() + static_cast<std::ptrdiff_t>(at + 4 + len));
      r.Skip(4 + len);
      continue;
    }
    if (type != 1) throw std::runtime_error("only stored and fixed blocks are written");
    for (;;) {
      const int symbol = FixedSymbol(r);
      if (symbol < 256) {
        out.push_back(static_cast<std::uint8_t>(symbol));
      } else if (symbol == 256) {
        break;
      } else {
        const int length = kBase[symbol - 257] + r.Bits(kExtra[symbol - 257]);
        const int code = r.Huffman(5);
        const int extra = code < 4 ? 0 : code / 2 - 1;
        const std::size_t distance = static_cast<std::size_t>(kDistBase[code] + r.Bits(extra));
        if (distance > out.size()) throw std::runtime_error("distance beyond the start");
        for (int i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
      }
    }
  }
  r.Align();
  const std::size_t at = r.Byte();
  const std::uint32_t adler = (std::uint32_t{z[at]} << 24) | (std::uint32_t{z[at + 1]} << 16) |
                              (std::uint32_t{z[at + 2]} << 8) | z[at + 3];
  EXPECT_EQ(adler, Adler32(out.data(), out.size()));
  return out;
}

std::uint32_t BigEndian(const std::vector<std::uint8_t>& d, std::size_t at) {
  return (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) |
         (std::uint32_t{d[at + 2]} << 8) | d[at + 3];
}

TEST(Png, ChecksumsMatchTheirCheckValues) {
  const char* digits = "123456789";
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(digits);
  EXPECT_EQ(Crc32(bytes, 9), 0xCBF43926u);
  const char* word = "Wikipedia";
  EXPECT_EQ(Adler32(reinterpret_cast<const std::uint8_t*>(word), 9), 0x11E60398u);
}

TEST(Png, CompressedStreamInflatesToTheSameBytes) {
  std::vector<std::uint8_t> data;
  for (int i = 0; i < 5000; ++i) data.push_back(static_cast<std::uint8_t>(i % 7 == 0 ? i : 0));
  data.insert(data.end(), 1000, 0xFF);  // a long run: several copies of 258
  for (int i = 0; i < 300; ++i) data.push_back(static_cast<std::uint8_t>(i * 37));
  data.insert(data.end(), {9, 9, 9, 9});  // a run of 3 after the first
  EXPECT_EQ(Inflate(ZlibCompress(data)), data);
  EXPECT_LT(ZlibCompress(data).size(), data.size() / 2);
}

TEST(Png, PictureDecodesToTheCanvasPixels) {
  Canvas canvas(61, 23);
  canvas.FillRect(2, 2, 20, 10, ParseColour("#1f77b4"));
  canvas.Line(0, 22, 60, 0, ParseColour("#d62728"), 2, true);
  canvas.Text(25, 20, "Xoff 1.5\"", ParseColour("#000000"));
  const std::vector<std::uint8_t> png = canvas.EncodePng();
  ASSERT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
  std::vector<std::uint8_t> idat;
  std::size_t at = 8;
  std::vector<std::string> chunks;
  while (at < png.size()) {
    const std::uint32_t length = BigEndian(png, at);
    const std::string type(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           png.begin() + static_cast<std::ptrdiff_t>(at + 8));
    chunks.push_back(type);
    EXPECT_EQ(BigEndian(png, at + 8 + length), Crc32(png.data() + at + 4, length + 4)) << type;
    if (type == "IHDR") {
      EXPECT_EQ(BigEndian(png, at + 8), 61u);
      EXPECT_EQ(BigEndian(png, at + 12), 23u);
      EXPECT_EQ(png[at + 16], 8);  // bits per sample
      EXPECT_EQ(png[at + 17], 2);  // RGB
    }
    if (type == "IDAT") {
      idat.insert(idat.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                  png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    }
    at += 12 + length;
  }
  EXPECT_EQ(chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  const std::vector<std::uint8_t> raw = Inflate(idat);
  ASSERT_EQ(raw.size(), 23u * (1 + 61 * 3));
  std::vector<std::uint8_t> previous(61 * 3, 0);
  int ink = 0;
  for (int y = 0; y < 23; ++y) {
    const std::uint8_t* line = raw.data() + static_cast<std::size_t>(y) * (1 + 61 * 3);
    ASSERT_EQ(line[0], 2);  // "Up"
    for (int x = 0; x < 61; ++x) {
      Rgb p;
      std::uint8_t* channels[] = {&p.r, &p.g, &p.b};
      for (std::size_t c = 0; c < 3; ++c) {
        const std::size_t k = static_cast<std::size_t>(x) * 3 + c;
        previous[k] = static_cast<std::uint8_t>(line[1 + k] + previous[k]);
        *channels[c] = previous[k];
      }
      EXPECT_EQ(p, canvas.Pixel(x, y)) << x << "," << y;
      ink += p == Rgb{0, 0, 0} ? 1 : 0;
    }
  }
  EXPECT_GT(ink, 40);  // the text is there
}

TEST(Png, FontHasEveryPrintableCharacter) {
  for (char c = ' '; c <= '~'; ++c) {
    const auto* rows = GlyphRows(c);
    ASSERT_NE(rows, nullptr) << c;
    for (const char* row : *rows) EXPECT_EQ(std::strlen(row), 5u) << c;
  }
}

// A line from or to far outside the canvas is drawn where it crosses the canvas; one from a value
// of 1e308 mapped to pixels is drawn without an overflow on the way (the sanitizers' build).
TEST(Canvas, LinesFromFarOutsideAreCutToTheCanvas) {
  Canvas canvas(40, 20);
  const Rgb red{255, 0, 0}, white{255, 255, 255};
  canvas.Line(-1e7, 5, 1e7, 5, red);
  canvas.Line(10, 1e9, 10, -1e6, red);
  for (int x = 0; x < 40; ++x) EXPECT_EQ(canvas.Pixel(x, 5), red) << x;
  for (int y = 0; y < 20; ++y) EXPECT_EQ(canvas.Pixel(10, y), red) << y;
  canvas.Line(-1e308, -1e308, 1e308, 1e308, red);
  canvas.Line(-1e308, 1e308, -1e300, 1e308, red);  // never crosses
  canvas.Dot(1e308, 1e308, 3, red);
  canvas.Dot(-1e308, 3, 3, red);
  EXPECT_EQ(canvas.Pixel(0, 19), white);
  EXPECT_EQ(canvas.Pixel(39, 0), white);
}
}  // namespace
}  // namespace corvane::logtools
