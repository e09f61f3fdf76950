#include "guiding/RecordFormat.h"

#include <cstdio>

namespace corvane::record {
namespace {

constexpr const char* kLineEnd = "\r\n";

std::string TwoDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::string DateText(const CivilTime& time) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", time.year, time.month, time.day);
  return buffer;
}

// The fields of each kind but the cycle's, after the kind and ms fields.
struct Kind {
  const char* name;
  const char* fields;
};
constexpr Kind kKinds[] = {
    {"corvane-record", "format,version,start_local,start_utc,utc_offset_minutes"},
    {"initial", "duration"},
    {"setup", "NumberStars,MinSN,MinStars,Duration,MinMove,MaxMove,Border,PredictPeriodicError"},
    {"sensor", "GuiderXSize,GuiderYSize"},
    {"star", "star,click_x,click_y,x,y,sn"},
    {"setting", "cycle,name,value"},
    {"pulse", "cycle,direction,seconds,end_ms"},
    {"event", "name,value"},
    {"message", "text"},
    {"end", "how,cycles,failure,code,text"},
    {"record-problem", "what,text"},
};

}  // namespace

std::string FileName(const CivilTime& localStart, int sequence) {
  std::string name = DateText(localStart) + ' ' + TwoDigits(localStart.hour) + '-' +
                     TwoDigits(localStart.minute) + '-' + TwoDigits(localStart.second);
  if (sequence > 1) name += " (" + std::to_string(sequence) + ")";
  return name + ".csv";
}

std::string CivilText(const CivilTime& time) {
  return DateText(time) + ' ' + TwoDigits(time.hour) + ':' + TwoDigits(time.minute) + ':' +
         TwoDigits(time.second);
}

std::int64_t DaysFromCivil(int year, int month, int day) {
  // Eras of 400 years, each starting on 1 March so that the leap day ends a year.
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::int64_t UtcOffsetMinutes(const WallTime& time) {
  auto minutes = [](const CivilTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * 1440 + t.hour * 60 + t.minute;
  };
  return minutes(time.local) - minutes(time.utc);
}

const char* HostName(GuiderSetting setting) {
  switch (setting) {
    case GuiderSetting::Angle:
      return "GuiderAngle";
    case GuiderSetting::Declination:
      return "GuiderDeclination";
    case GuiderSetting::ReverseX:
      return "GuiderReverseX";
    case GuiderSetting::Aggressiveness:
      return "GuiderAggressiveness";
    case GuiderSetting::XSpeed:
      return "GuiderXSpeed";
    case GuiderSetting::YSpeed:
      return "GuiderYSpeed";
    case GuiderSetting::OutputEnables:
      break;
  }
  return "GuiderOutputEnables";
}

const char* Word(RunEnd end) {
  switch (end) {
    case RunEnd::InitialCancelled:
      return "initial-cancelled";
    case RunEnd::CameraLinkRefused:
      return "camera-link-refused";
    case RunEnd::TelescopeRefused:
      return "telescope-refused";
    case RunEnd::SetupCancelled:
      return "setup-cancelled";
    case RunEnd::NoGuiderImage:
      return "no-guider-image";
    case RunEnd::StoppedByCameraEvent:
      return "stopped-by-camera-event";
    case RunEnd::StoppedByAggressiveness:
      return "stopped-by-aggressiveness";
    case RunEnd::CameraDisconnected:
      return "camera-disconnected";
    case RunEnd::GuiderImageClosed:
      return "guider-image-closed";
    case RunEnd::Failed:
      break;
  }
  return "failed";
}

StarState StateOf(const GuideStar& star) {
  if (star.TookPart) return StarState::Used;
  // Also an SN that is not a number counts as nothing found.
  return star.SN >= kFoundSN ? StarState::BelowMinSN : StarState::NotFound;
}

const char* Word(StarState state) {
  switch (state) {
    case StarState::Used:
      return "used";
    case StarState::BelowMinSN:
      return "below-min-sn";
    case StarState::NotFound:
      break;
  }
  return "not-found";
}

const char* Word(Participation participation) {
  switch (participation) {
    case Participation::All:
      return "all";
    case Participation::Enough:
      return "enough";
    case Participation::TooFew:
      break;
  }
  return "too-few";
}

const char* FailureWord(FailureKind kind) {
  switch (kind) {
    case FailureKind::Overflow:
      return "overflow";
    case FailureKind::DivisionByZero:
      return "division-by-zero";
    case FailureKind::SubscriptOutOfRange:
      return "subscript-out-of-range";
    case FailureKind::TypeMismatch:
      return "type-mismatch";
    case FailureKind::Host:
      return "host";
    case FailureKind::File:
      return "file";
    case FailureKind::Window:
      break;
  }
  return "window";
}

LineBuilder::LineBuilder(std::string_view kind, std::int64_t ms) : line_(kind) {
  Integer(ms);
}

LineBuilder& LineBuilder::Word(std::string_view word) {
  line_ += ',';
  line_ += word;
  return *this;
}

LineBuilder& LineBuilder::Integer(std::int64_t value) {
  return Word(std::to_string(value));
}

LineBuilder& LineBuilder::Single(float value) {
  return Word(FormatSingle(value));
}

LineBuilder& LineBuilder::Double(double value) {
  return Word(FormatDouble(value));
}

LineBuilder& LineBuilder::Text(std::string_view text) {
  line_ += ",\"";
  for (const char c : text) {
    if (c == '"') {
      line_ += "\"\"";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      line_ += ' ';  // a line break or other control character would tear the line
    } else {
      line_ += c;
    }
  }
  line_ += '"';
  return *this;
}

LineBuilder& LineBuilder::Empty() {
  line_ += ',';
  return *this;
}

std::string LineBuilder::Line() const {
  return line_ + kLineEnd;
}

std::vector<std::string> StartLines(const std::string& version, const WallTime& start) {
  std::vector<std::string> lines{LineBuilder("corvane-record", 0)
                                     .Integer(kFormat)
                                     .Text(version)
                                     .Text(CivilText(start.local))
                                     .Text(CivilText(start.utc))
                                     .Integer(UtcOffsetMinutes(start))
                                     .Line()};
  for (const Kind& kind : kKinds) {
    lines.push_back(std::string("#") + kind.name + ",ms," + kind.fields + kLineEnd);
  }
  return lines;
}

std::string InitialLine(std::int64_t ms, float firstDuration) {
  return LineBuilder("initial", ms).Single(firstDuration).Line();
}

std::string SetupLine(std::int64_t ms, const GuideSettings& settings) {
  return LineBuilder("setup", ms)
      .Integer(settings.NumberStars)
      .Single(settings.MinSN)
      .Integer(settings.MinStars)
      .Single(settings.Duration)
      .Single(settings.MinMove)
      .Single(settings.MaxMove)
      .Integer(settings.Border)
      // Options added to the setup dialog follow here, in the order of their names in kKinds.
      .Integer(settings.PredictPeriodicError ? 1 : 0)
      .Line();
}

std::string CycleColumns(std::int16_t numberStars) {
  std::string line =
      "#cycle,ms,cycle,exposure_start_ms,exposure_end_ms,Xave,Yave,Xoff,Yoff,Xtim,Ytim,used,"
      "participation";
  for (int n = 1; n <= numberStars; ++n) {
    const std::string number = std::to_string(n);
    for (const char* word : {"Xpos", "Ypos", "Xoff", "Yoff", "SN", "state"}) {
      line += ',';
      line += word + number;
    }
  }
  return line + kLineEnd;
}

std::string SensorLine(std::int64_t ms, double width, double height) {
  return LineBuilder("sensor", ms).Double(width).Double(height).Line();
}

std::string StarLine(std::int64_t ms, int star, double clickX, double clickY, float x, float y,
                     std::optional<double> sn) {
  LineBuilder line("star", ms);
  line.Integer(star).Double(clickX).Double(clickY).Single(x).Single(y);
  if (sn) {
    line.Double(*sn);
  } else {
    line.Empty();
  }
  return line.Line();
}

std::string SettingLine(std::int64_t ms, std::int64_t cycle, GuiderSetting setting, double value) {
  return LineBuilder("setting", ms).Integer(cycle).Word(HostName(setting)).Double(value).Line();
}

std::string CycleLine(std::int64_t ms, const CycleRecord& cycle) {
  const GuideLogRow& row = cycle.row;
  std::int64_t used = 0;
  for (const StarState state : cycle.states) used += state == StarState::Used ? 1 : 0;
  LineBuilder line("cycle", ms);
  line.Integer(cycle.cycle)
      .Integer(cycle.exposureStartMs)
      .Integer(cycle.exposureEndMs)
      .Single(row.Xave)
      .Single(row.Yave)
      .Single(row.Xoff)
      .Single(row.Yoff)
      .Word(FormatNumber(row.Xtim))
      .Single(row.Ytim)
      .Integer(used)
      .Word(Word(cycle.participation));
  for (std::size_t n = 0; n < row.Stars.size(); ++n) {
    const StarRow& star = row.Stars[n];
    line.Single(star.Xpos).Single(star.Ypos).Single(star.Xoff).Single(star.Yoff).Single(star.SN);
    line.Word(n < cycle.states.size() ? Word(cycle.states[n]) : "");
  }
  return line.Line();
}

std::string PulseLine(std::int64_t ms, std::int64_t cycle, std::int16_t direction,
                      const host::HostNumber& seconds, std::optional<std::int64_t> endMs) {
  LineBuilder line("pulse", ms);
  line.Integer(cycle).Integer(direction).Word(FormatNumber(seconds));
  if (endMs) {
    line.Integer(*endMs);
  } else {
    line.Empty();
  }
  return line.Line();
}

std::string EventLine(std::int64_t ms, std::string_view name, std::string_view value) {
  return LineBuilder("event", ms).Word(name).Word(value).Line();
}

std::string MessageLine(std::int64_t ms, std::string_view text) {
  return LineBuilder("message", ms).Text(text).Line();
}

std::string EndLine(std::int64_t ms, RunEnd end, std::int64_t cycles, const EndDetail& detail) {
  LineBuilder line("end", ms);
  line.Word(Word(end)).Integer(cycles).Word(detail.failure);
  if (detail.failure.empty() || detail.code == 0) {
    line.Empty();
  } else {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(detail.code));
    line.Word(code);
  }
  return line.Text(detail.text).Line();
}

std::string ProblemLine(std::int64_t ms, std::string_view what, std::string_view text) {
  return LineBuilder("record-problem", ms).Word(what).Text(text).Line();
}

}  // namespace corvane::record
