#include "guiding/GuideLog.h"

#include <array>
#include <charconv>
#include <cmath>

namespace corvane {
namespace {

constexpr const char* kLineEnd = ",\"\"\r\n";

// printf's %.<precision>G without its locale: std::to_chars in general form already drops the
// trailing zeros and picks the exponent form by the same rule; only the exponent letter differs.
template <typename Number>
std::string FormatGeneral(Number value, int precision) {
  if (value == 0) return "0";  // also negative zero
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::general, precision);
  std::string text(buffer.data(), result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

void AppendQuoted(std::string& line, const std::string& text) {
  line += '"';
  line += text;
  line += "\",";
}

void AppendNumber(std::string& line, const std::string& number) {
  line += number;
  line += ',';
}

}  // namespace

std::string FormatSingle(float value) {
  return FormatGeneral(value, 7);
}
std::string FormatDouble(double value) {
  return FormatGeneral(value, 15);
}

std::string FormatNumber(const host::HostNumber& value) {
  switch (value.type) {
    case host::HostNumber::Type::Integer:
      return std::to_string(static_cast<long long>(value.value));
    case host::HostNumber::Type::Single:
      return FormatSingle(static_cast<float>(value.value));
    case host::HostNumber::Type::Double:
      break;
  }
  return FormatDouble(value.value);
}

std::string GuideLogHeader(std::int16_t numberStars) {
  std::string line;
  for (const char* word : {"Xave", "Yave", "Xoff", "Yoff", "Xtim", "Ytim"}) {
    AppendQuoted(line, word);
  }
  for (int n = 1; n <= numberStars; ++n) {
    const std::string number = std::to_string(n);
    for (const char* word : {"Xpos", "Ypos", "Xoff", "Yoff", "SN"}) {
      AppendQuoted(line, word + number);
    }
  }
  // The items were each followed by a comma; the line ends with the empty item.
  line.pop_back();
  line += kLineEnd;
  return line;
}

std::string GuideLogLine(const GuideLogRow& row) {
  std::string line;
  AppendNumber(line, FormatSingle(row.Xave));
  AppendNumber(line, FormatSingle(row.Yave));
  AppendNumber(line, FormatSingle(row.Xoff));
  AppendNumber(line, FormatSingle(row.Yoff));
  AppendNumber(line, FormatNumber(row.Xtim));
  AppendNumber(line, FormatSingle(row.Ytim));
  for (const StarRow& star : row.Stars) {
    AppendNumber(line, FormatSingle(star.Xpos));
    AppendNumber(line, FormatSingle(star.Ypos));
    AppendNumber(line, FormatSingle(star.Xoff));
    AppendNumber(line, FormatSingle(star.Yoff));
    AppendNumber(line, FormatSingle(star.SN));
  }
  line.pop_back();
  line += kLineEnd;
  return line;
}

}  // namespace corvane
