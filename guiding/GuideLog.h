// The guide log's text: a CSV file with one header line and one data line per guide cycle. Each
// line ends with an empty text item ,"" and CR LF. Numbers are written locale-independently with
// '.' as decimal point: a 32-bit float to at most 7 significant digits, a double to at most 15,
// trailing zeros of the fraction dropped, a leading zero before the point ("0.5"), exponent form
// only below 1E-4 or from 10^precision on ("1.234568E+07", "1.5E-05"), zero (also negative zero)
// as "0".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/HostObjects.h"

namespace corvane {

std::string FormatSingle(float value);
std::string FormatDouble(double value);
// A value with its automation type: an Integer as its digits, a Single as FormatSingle, a Double
// as FormatDouble.
std::string FormatNumber(const host::HostNumber& value);

// The header line for 1 to 10 stars, CR LF included.
std::string GuideLogHeader(std::int16_t numberStars);

// One star's five items of a data line.
struct StarRow {
  float Xpos = 0.0f;
  float Ypos = 0.0f;
  float Xoff = 0.0f;  // Xpos - RefX
  float Yoff = 0.0f;  // Ypos - RefY
  float SN = 0.0f;
};

struct GuideLogRow {
  float Xave = 0.0f;
  float Yave = 0.0f;
  float Xoff = 0.0f;
  float Yoff = 0.0f;
  host::HostNumber Xtim{host::HostNumber::Type::Integer, 0.0, false};
  float Ytim = 0.0f;
  std::vector<StarRow> Stars;
};

// One data line, CR LF included.
std::string GuideLogLine(const GuideLogRow& row);

}  // namespace corvane
