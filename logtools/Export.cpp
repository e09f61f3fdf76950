#include "logtools/Export.h"

#include "logtools/Analysis.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace corvane::logtools {
namespace {

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// start + seconds as "YYYY-MM-DD HH:MM:SS" (whole seconds, proleptic Gregorian calendar).
std::string Later(const std::string& start, double seconds) {
  int y = 2000, mo = 1, d = 1, h = 0, mi = 0, s = 0;
  std::sscanf(start.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
  long long total = ((static_cast<long long>(h) * 60 + mi) * 60 + s) + std::llround(seconds);
  long long days = total / 86400;
  total %= 86400;
  auto monthDays = [](int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  };
  while (days-- > 0) {
    if (++d > monthDays(y, mo)) {
      d = 1;
      if (++mo > 12) {
        mo = 1;
        ++y;
      }
    }
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02lld:%02lld:%02lld", y, mo, d,
                total / 3600, total / 60 % 60, total % 60);
  return buffer;
}

}  // namespace

std::string ExportPhd2(const std::vector<const guidelog::LogRun*>& runs,
                       const Phd2Settings& settings) {
  const std::string eol = "\r\n";
  const double a = settings.angleDeg * std::numbers::pi / 180.0;
  std::string out = "PHD2 version " + settings.version + ", Log version 2.5. Log enabled at " +
                    settings.start + eol;
  out += "Converted by " + settings.version +
         " from a Corvane guide log (times from the exposure, download and pulse lengths)" + eol +
         eol;
  double clock = 0.0;
  for (const guidelog::LogRun* run : runs) {
    out += "Guiding Begins at " + Later(settings.start, clock) + eol;
    out += "Pixel scale = " + Format("%.3f", settings.scale) +
           " arc-sec/px, Binning = 1, Focal length = 0 mm" + eol;
    out += "Exposure = " + Format("%.0f", settings.exposure * 1000.0) + " ms" + eol;
    out += "Mount = Corvane, connected, guiding enabled, xAngle = " + Format("%.4f", a) +
           ", xRate = " + Format("%.4f", settings.xSpeed) +
           ", yAngle = " + Format("%.4f", a + std::numbers::pi / 2.0) +
           ", yRate = " + Format("%.4f", settings.ySpeed) +
           ", parity = " + (settings.reverseX ? "-" : "+") + "/+" + eol;
    out += "X guide algorithm = Corvane, Minimum move = " +
           Format("%.3f", settings.minMove * settings.xSpeed) + eol;
    out += "Y guide algorithm = Corvane, Minimum move = " +
           Format("%.3f", settings.minMove * settings.ySpeed) + eol;
    out += "Max RA duration = " + Format("%.0f", settings.maxMove * 1000.0) +
           ", Max DEC duration = " + Format("%.0f", settings.maxMove * 1000.0) + eol;
    out +=
        "Frame,Time,mount,dx,dy,RARawDistance,DECRawDistance,RAGuideDistance,"
        "DECGuideDistance,RADuration,RADirection,DECDuration,DECDirection,XStep,YStep,"
        "StarMass,SNR,ErrorCode,ErrorDescription" +
        eol;
    double t = 0.0;
    int frame = 0;
    for (const guidelog::LogRow& r : run->rows) {
      t += PolledSeconds(settings.exposure + settings.download);
      double ra = r.xoff * std::cos(a) + r.yoff * std::sin(a);
      if (settings.reverseX) ra = -ra;
      const double dec = r.yoff * std::cos(a) - r.xoff * std::sin(a);
      double sn = 0.0;
      for (const guidelog::LogStar& s : r.stars) sn += s.sn;
      sn /= static_cast<double>(std::max<std::size_t>(1, r.stars.size()));
      out += std::to_string(++frame) + "," + Format("%.3f", t) + ",\"Mount\"," +
             Format("%.3f", r.xoff) + "," + Format("%.3f", r.yoff) + "," + Format("%.3f", ra) +
             "," + Format("%.3f", dec) + "," + Format("%.3f", r.xtim * settings.xSpeed) + "," +
             Format("%.3f", r.ytim * settings.ySpeed) + "," +
             Format("%.0f", std::abs(r.xtim) * 1000.0) + "," + (r.xtim < 0 ? "W" : "E") + "," +
             Format("%.0f", std::abs(r.ytim) * 1000.0) + "," + (r.ytim < 0 ? "S" : "N") + ",,,0," +
             Format("%.2f", sn) + ",0," + eol;
      t += PolledSeconds(std::abs(r.xtim)) + PolledSeconds(std::abs(r.ytim));
    }
    clock += t;
    out += "Guiding Ends at " + Later(settings.start, clock) + eol + eol;
  }
  return out;
}

}  // namespace corvane::logtools
