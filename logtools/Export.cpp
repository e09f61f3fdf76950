#include "logtools/Export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "logtools/Analysis.h"

namespace corvane::logtools {
namespace {

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int MonthDays(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return kDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
}

struct DateTime {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

std::optional<DateTime> ReadDateTime(const std::string& text) {
  // Exactly "YYYY-MM-DD HH:MM:SS": digits where the pattern has them.
  static const char* const kPattern = "0000-00-00 00:00:00";
  if (text.size() != 19) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kPattern[i] == '0' ? !digit : text[i] != kPattern[i]) return std::nullopt;
  }
  auto number = [&](std::size_t at, std::size_t digits) {
    int v = 0;
    for (std::size_t i = at; i < at + digits; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  DateTime t{number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2)};
  if (t.year < 1900 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > MonthDays(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return t;
}

// start + seconds as "YYYY-MM-DD HH:MM:SS" (whole seconds, proleptic Gregorian calendar).
std::string Later(const std::string& start, double seconds) {
  DateTime t = ReadDateTime(start).value_or(DateTime{});
  long long total = (static_cast<long long>(t.hour) * 60 + t.minute) * 60 + t.second +
                    std::llround(std::clamp(seconds, 0.0, 1e12));
  long long days = total / 86400;
  total %= 86400;
  while (days-- > 0 && t.year <= 9999) {
    if (++t.day > MonthDays(t.year, t.month)) {
      t.day = 1;
      if (++t.month > 12) {
        t.month = 1;
        ++t.year;
      }
    }
  }
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02lld:%02lld:%02lld", t.year, t.month,
                t.day, total / 3600, total / 60 % 60, total % 60);
  return buffer;
}

// How long the run waits for something that takes `seconds`, polling every 100 ms: a whole
// number of polls; for one that ends on a poll, half a poll more on average (found done by that
// poll or the next, as the host's clock falls).
double ExpectedWait(double seconds) {
  constexpr double kPoll = 0.1;
  if (!(seconds > 0.0 && seconds < 1e7)) return 0.0;  // none, or a pulse no guider issues
  const double polls = seconds / kPoll;
  const double whole = std::round(polls);
  if (std::abs(polls - whole) < 1e-6) return (whole + 0.5) * kPoll;
  return std::ceil(polls) * kPoll;
}

// The fields of a frame line, comma separated.
std::string Fields(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + fields[i];
  return line;
}

}  // namespace

bool IsDateTime(const std::string& text) {
  return ReadDateTime(text).has_value();
}

Phd2Calibration CalibrationFor(const RunSettings& s, const MotionFit& fit) {
  Phd2Calibration c;
  // What each figure rests on: the host's settings, the estimate, or nothing.
  std::vector<std::string> host, estimated, unknown;
  const auto take = [&](const std::string& name, const char* format, const std::string& unit,
                        std::optional<double> given, const std::string& givenNote, double estimate,
                        double error, double placeholder) {
    if (given) {
      host.push_back(name + " " + Format(format, *given) + " " + unit + givenNote);
      return *given;
    }
    if (fit.calibrationMeasured) {
      estimated.push_back(name + " " + Format(format, estimate) + " +- " + Format(format, error) +
                          " " + unit);
      return estimate;
    }
    unknown.push_back(name + " " + Format("%g", placeholder) + " " + unit);
    return placeholder;
  };
  const double dec = s.declinationDeg.value_or(0.0);
  c.angleDeg = take("angle", "%.1f", "deg", s.angleDeg, "", fit.angleDeg, fit.angleErrorDeg, 0.0);
  c.xSpeed = take(
      "xRate", "%.3f", "px/s",
      s.xSpeed ? std::optional(*s.xSpeed * std::cos(dec * std::numbers::pi / 180.0)) : std::nullopt,
      s.xSpeed ? " (" + Format("%.3f", *s.xSpeed) + " at the equator, at dec " +
                     Format("%.1f", dec) + ")"
               : "",
      fit.xSpeed, fit.xSpeedError, 1.0);
  c.ySpeed = take("yRate", "%.3f", "px/s", s.ySpeed, "", fit.ySpeed, fit.ySpeedError, 1.0);
  c.reverseX = s.reverseX.value_or(fit.calibrationMeasured && fit.reverseX);
  const std::string reverse = std::string("reverse X ") + (c.reverseX ? "yes" : "no");
  (s.reverseX ? host : fit.calibrationMeasured ? estimated : unknown).push_back(reverse);
  auto line = [&](const std::string& head, const std::vector<std::string>& parts) {
    if (parts.empty()) return;
    std::string text = head;
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? ", " : "") + parts[i];
    c.notes.push_back(text);
  };
  line("Calibration from the host's settings: ", host);
  line("Calibration estimated by corvane-log from how the pulses acted (+- one standard error): ",
       estimated);
  line(
      "Calibration unknown (the run's pulses do not show it), placeholders "
      "written: ",
      unknown);
  return c;
}

std::string ExportPhd2(const std::vector<const guidelog::LogRun*>& runs,
                       const Phd2Settings& settings) {
  const std::string eol = "\r\n";
  std::string out = "PHD2 version " + settings.version + ", Log version 2.5. Log enabled at " +
                    settings.start + eol;
  out += "Converted by " + settings.version +
         (runs.size() == 1 && !runs.front()->seconds.empty()
              ? " from a Corvane run record (times as recorded)"
              : " from a Corvane guide log (times from the exposure, download and pulse lengths)") +
         eol + eol;
  RunSettings guided;  // what tells guided cycles from lost ones
  guided.minSN = settings.minSN;
  guided.minStars = settings.minStars;
  double elapsed = 0.0;
  for (std::size_t index = 0; index < runs.size(); ++index) {
    const guidelog::LogRun& run = *runs[index];
    const bool timed = run.seconds.size() == run.rows.size() && !run.rows.empty();
    Phd2Calibration c{settings.angleDeg, settings.reverseX, settings.xSpeed, settings.ySpeed, {}};
    if (index < settings.calibrations.size()) c = settings.calibrations[index];
    const double a = c.angleDeg * std::numbers::pi / 180.0;
    out += "Guiding Begins at " + Later(settings.start, elapsed) + eol;
    out += "Pixel scale = " + Format("%.3f", settings.scale) +
           " arc-sec/px, Binning = 1, Focal length = 0 mm" + eol;
    out += "Exposure = " + Format("%.0f", settings.exposure * 1000.0) + " ms" + eol;
    out += "Mount = Corvane, connected, guiding enabled, xAngle = " + Format("%.4f", a) +
           ", xRate = " + Format("%.4f", c.xSpeed) +
           ", yAngle = " + Format("%.4f", a + std::numbers::pi / 2.0) +
           ", yRate = " + Format("%.4f", c.ySpeed) + ", parity = " + (c.reverseX ? "-" : "+") +
           "/+" + eol;
    for (const std::string& note : c.notes) out += note + eol;
    for (const std::string& note : settings.notes) {
      // A record's own times need no assumed download.
      if (!timed) out += note + eol;
    }
    out += "X guide algorithm = Corvane, Minimum move = " +
           Format("%.3f", settings.minMove * c.xSpeed) + eol;
    out += "Y guide algorithm = Corvane, Minimum move = " +
           Format("%.3f", settings.minMove * c.ySpeed) + eol;
    out += "Max RA duration = " + Format("%.0f", settings.maxMove * 1000.0) +
           ", Max DEC duration = " + Format("%.0f", settings.maxMove * 1000.0) + eol;
    out +=
        "Frame,Time,mount,dx,dy,RARawDistance,DECRawDistance,RAGuideDistance,"
        "DECGuideDistance,RADuration,RADirection,DECDuration,DECDirection,XStep,YStep,"
        "StarMass,SNR,ErrorCode,ErrorDescription" +
        eol;
    // Events of the first run, as INFO lines after the frame they followed.
    std::size_t info = 0;
    auto infoUpTo = [&](std::size_t frames) {
      for (; index == 0 && info < settings.info.size() && settings.info[info].first <= frames;
           ++info) {
        out += "INFO: " + settings.info[info].second + eol;
      }
    };
    infoUpTo(0);
    const std::vector<CycleUse> uses = CycleUses(run, guided);
    double t = 0.0;
    for (std::size_t i = 0; i < run.rows.size(); ++i) {
      const guidelog::LogRow& r = run.rows[i];
      const std::string frame = std::to_string(i + 1);
      // The frame is taken when the exposure and its download are done (as recorded, when the
      // run's record gives the times); the cycle goes on with the waits for its pulses.
      std::string time;
      if (timed) {
        t = run.seconds[i];
        time = Format("%.3f", t);
      } else {
        const double exposed = ExpectedWait(settings.exposure + settings.download);
        time = Format("%.3f", t + exposed);
        t += exposed + ExpectedWait(std::abs(r.xtim)) + ExpectedWait(std::abs(r.ytim));
      }
      if (uses[i] != CycleUse::Guided) {
        // A dropped frame: no star measured, no pulse; the reason shown as the frame's event.
        const bool lost = uses[i] == CycleUse::Lost;
        const int line = i < run.rowLines.size() ? run.rowLines[i] : 0;
        const std::string why =
            lost ? "Star lost: fewer than MinStars stars at MinSN, no guide pulse"
                 : "Unreadable: line " + std::to_string(line) + " of the Corvane log";
        out += Fields({frame, time, "\"Mount\"", "", "", "", "", "", "", "", "", "", "", "", "",
                       "0", "0.00", std::to_string(lost ? kPhd2StarLost : kPhd2Unreadable),
                       "\"" + why + "\""}) +
               eol;
        infoUpTo(i + 1);
        continue;
      }
      double ra = r.xoff * std::cos(a) + r.yoff * std::sin(a);
      if (c.reverseX) ra = -ra;
      const double dec = r.yoff * std::cos(a) - r.xoff * std::sin(a);
      double sn = 0.0;
      for (const guidelog::LogStar& s : r.stars) sn += s.sn;
      sn /= static_cast<double>(std::max<std::size_t>(1, r.stars.size()));
      out += Fields({frame, time, "\"Mount\"", Format("%.3f", r.xoff), Format("%.3f", r.yoff),
                     Format("%.3f", ra), Format("%.3f", dec), Format("%.3f", r.xtim * c.xSpeed),
                     Format("%.3f", r.ytim * c.ySpeed), Format("%.0f", std::abs(r.xtim) * 1000.0),
                     r.xtim < 0 ? "W" : "E", Format("%.0f", std::abs(r.ytim) * 1000.0),
                     r.ytim < 0 ? "S" : "N", "", "", "0", Format("%.2f", sn), "0", ""}) +
             eol;
      infoUpTo(i + 1);
    }
    infoUpTo(run.rows.size() + 1);
    elapsed += t;
    out += "Guiding Ends at " + Later(settings.start, elapsed) + eol + eol;
  }
  return out;
}

}  // namespace corvane::logtools
