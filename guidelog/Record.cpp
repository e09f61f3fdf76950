#include "guidelog/Record.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <unordered_map>

namespace corvane::guidelog {
namespace {

constexpr std::string_view kFirstKind = "corvane-record";

// The fields of a line: quoted ones may hold the separator and doubled quotes.
std::vector<std::string> SplitFields(std::string_view line, char separator) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        fields.back() += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == separator) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// A kind's field names, after the kind (so "ms" first), and where each is.
struct Names {
  std::vector<std::string> list;
  std::unordered_map<std::string, std::size_t> at;
};

Names MakeNames(std::vector<std::string> list) {
  Names names;
  for (std::size_t i = 0; i < list.size(); ++i) names.at.emplace(list[i], i);  // the first kept
  names.list = std::move(list);
  return names;
}

// The names of every kind's fields as the record's '#' lines give them; a record cut before
// them is read with the first format's.
std::map<std::string, Names> FirstFormatNames() {
  auto split = [](std::string_view text) { return MakeNames(SplitFields(text, ',')); };
  return {
      {"corvane-record", split("ms,format,version,start_local,start_utc,utc_offset_minutes")},
      {"initial", split("ms,duration")},
      {"setup", split("ms,NumberStars,MinSN,MinStars,Duration,MinMove,MaxMove,Border")},
      {"sensor", split("ms,GuiderXSize,GuiderYSize")},
      {"star", split("ms,star,click_x,click_y,x,y,sn")},
      {"setting", split("ms,cycle,name,value")},
      {"pulse", split("ms,cycle,direction,seconds,end_ms")},
      {"event", split("ms,name,value")},
      {"message", split("ms,text")},
      {"end", split("ms,how,cycles,failure,code,text")},
      {"record-problem", split("ms,what,text")},
  };
}

// One line of a known kind, its fields by name.
class FieldLine {
 public:
  FieldLine(int number, const Names& names, std::vector<std::string> fields, bool decimalComma)
      : number_(number), names_(names), fields_(std::move(fields)), decimalComma_(decimalComma) {}

  bool Has(const std::string& name) const { return Index(name) < fields_.size(); }
  const std::string& Text(const std::string& name) const {
    const std::size_t at = Index(name);
    if (at >= fields_.size()) Fail("has no " + name);
    return fields_[at];
  }
  double Number(const std::string& name) const {
    std::string text = Text(name);
    if (decimalComma_) std::replace(text.begin(), text.end(), ',', '.');
    std::string_view s = text;
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || error != std::errc() || end != s.data() + s.size()) {
      Fail(name + " (\"" + text + "\") is not a number");
    }
    return value;
  }
  std::optional<double> NumberIfAny(const std::string& name) const {
    if (!Has(name) || Text(name).empty()) return std::nullopt;
    return Number(name);
  }
  int Integer(const std::string& name) const { return static_cast<int>(Number(name)); }
  std::int64_t Ms(const std::string& name) const { return static_cast<std::int64_t>(Number(name)); }
  [[noreturn]] void Fail(const std::string& what) const { throw LogError(number_, what); }

 private:
  std::size_t Index(const std::string& name) const {
    const auto it = names_.at.find(name);
    return it == names_.at.end() ? fields_.size() : it->second + 1;
  }

  int number_;
  const Names& names_;
  std::vector<std::string> fields_;
  bool decimalComma_;
};

}  // namespace

class RecordReader::Lines {
 public:
  explicit Lines(bool keepCycles) : keepCycles_(keepCycles) {}

  Record Read(std::string_view text) {
    if (!LooksLikeRecord(text))
      throw LogError(1, "not a Corvane record (its first field must be \"corvane-record\")");
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      const bool whole = end != std::string_view::npos;
      if (!whole) end = text.size();
      std::string_view line = text.substr(start, end - start);
      start = end + 1;
      ++number;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty()) continue;
      if (!whole) {
        // Every line is written with its line end: one without it was cut off by a crash.
        record_.run.cutShort = true;
        break;
      }
      ReadLine(number, line);
    }
    Finish();
    return std::move(record_);
  }

  void ReadLine(int number, std::string_view text) {
    readCycle_ = false;
    if (!begun_) {
      if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a spreadsheet's BOM
      if (!LooksLikeRecord(text))
        throw LogError(number,
                       "not a Corvane record (its first field must be "
                       "\"corvane-record\")");
      separator_ = text[kFirstKind.size()];
      decimalComma_ = separator_ == ';';
      begun_ = true;
    }
    std::vector<std::string> fields = SplitFields(text, separator_);
    const std::string kind = fields.front();
    if (!kind.empty() && kind.front() == '#') {
      names_[kind.substr(1)] =
          MakeNames(std::vector<std::string>(fields.begin() + 1, fields.end()));
      if (kind == "#cycle") record_.run.headerLine = number;
      return;
    }
    const auto names = names_.find(kind);
    if (names == names_.end()) {
      ++record_.skippedLines;
      return;
    }
    const FieldLine line(number, names->second, std::move(fields), decimalComma_);
    if (kind == "corvane-record") {
      record_.format = line.Integer("format");
      record_.version = line.Text("version");
      record_.startLocal = line.Text("start_local");
      record_.startUtc = line.Text("start_utc");
      record_.utcOffsetMinutes = line.Integer("utc_offset_minutes");
    } else if (kind == "initial") {
      record_.initialExposure = line.Number("duration");
    } else if (kind == "setup") {
      ReadSetup(line, names->second.list);
    } else if (kind == "sensor") {
      record_.sensorWidth = line.Number("GuiderXSize");
      record_.sensorHeight = line.Number("GuiderYSize");
    } else if (kind == "star") {
      record_.stars.push_back({line.Integer("star"), line.Number("click_x"), line.Number("click_y"),
                               line.Number("x"), line.Number("y"), line.NumberIfAny("sn")});
    } else if (kind == "setting") {
      RecordSettingChange change{line.Ms("ms"), line.Integer("cycle"), line.Text("name"),
                                 line.Number("value")};
      settings_[change.name] = change.value;
      record_.settingChanges.push_back(std::move(change));
    } else if (kind == "cycle") {
      ReadCycle(number, line);
    } else if (kind == "pulse") {
      ReadPulse(line);
    } else if (kind == "event") {
      record_.events.push_back({line.Ms("ms"), line.Text("name"), line.Text("value")});
      if (line.Text("name") == "guiding-begins") record_.guidingBeginsMs = line.Ms("ms");
    } else if (kind == "message") {
      record_.messages.push_back({line.Ms("ms"), line.Text("text")});
    } else if (kind == "end") {
      record_.end = RecordEnd{line.Ms("ms"),        line.Text("how"),  line.Integer("cycles"),
                              line.Text("failure"), line.Text("code"), line.Text("text")};
    } else if (kind == "record-problem") {
      record_.problems.push_back(line.Text("what") + ": " + line.Text("text"));
    } else {
      ++record_.skippedLines;
    }
  }

  void ReadSetup(const FieldLine& line, const std::vector<std::string>& names) {
    RecordSetup setup;
    setup.numberStars = line.Integer("NumberStars");
    setup.minSN = line.Number("MinSN");
    setup.minStars = line.Integer("MinStars");
    setup.duration = line.Number("Duration");
    setup.minMove = line.Number("MinMove");
    setup.maxMove = line.Number("MaxMove");
    setup.border = line.Integer("Border");
    static const char* const kKnown[] = {"ms",       "NumberStars", "MinSN",   "MinStars",
                                         "Duration", "MinMove",     "MaxMove", "Border"};
    for (const std::string& name : names) {
      if (std::find(std::begin(kKnown), std::end(kKnown), name) == std::end(kKnown)) {
        setup.more[name] = line.Has(name) ? line.Text(name) : "";
      }
    }
    record_.setup = setup;
  }

  void ReadCycle(int number, const FieldLine& line) {
    RecordCycle cycle;
    cycle.cycle = line.Integer("cycle");
    cycle.line = number;
    cycle.ms = line.Ms("ms");
    cycle.exposureStartMs = line.Ms("exposure_start_ms");
    cycle.exposureEndMs = line.Ms("exposure_end_ms");
    cycle.used = line.Integer("used");
    cycle.participation = line.Text("participation");
    cycle.settings = settings_;
    LogRow row{line.Number("Xave"),
               line.Number("Yave"),
               line.Number("Xoff"),
               line.Number("Yoff"),
               line.Number("Xtim"),
               line.Number("Ytim"),
               {}};
    for (int n = 1; line.Has("Xpos" + std::to_string(n)); ++n) {
      const std::string s = std::to_string(n);
      row.stars.push_back({line.Number("Xpos" + s), line.Number("Ypos" + s),
                           line.Number("Xoff" + s), line.Number("Yoff" + s),
                           line.Number("SN" + s)});
      cycle.states.push_back(line.Text("state" + s));
    }
    if (firstCycleStars_ && row.stars.size() != *firstCycleStars_) {
      line.Fail("holds " + std::to_string(row.stars.size()) + " stars where the record's first " +
                "cycle holds " + std::to_string(*firstCycleStars_));
    }
    firstCycleStars_ = row.stars.size();
    if (!keepCycles_) {
      record_.run.rows.clear();
      record_.run.rowLines.clear();
      record_.cycles.clear();
    }
    readCycle_ = true;
    record_.run.rows.push_back(std::move(row));
    record_.run.rowLines.push_back(number);
    record_.cycles.push_back(std::move(cycle));
  }

  void ReadPulse(const FieldLine& line) {
    const int cycle = line.Integer("cycle");
    if (record_.cycles.empty() || record_.cycles.back().cycle != cycle) {
      line.Fail("a pulse of cycle " + std::to_string(cycle) + " after no line of that cycle");
    }
    std::optional<std::int64_t> end;
    if (const auto value = line.NumberIfAny("end_ms")) end = static_cast<std::int64_t>(*value);
    record_.cycles.back().pulses.push_back(
        {line.Ms("ms"), line.Integer("direction"), line.Number("seconds"), end});
  }

  void Finish() {
    LogRun& run = record_.run;
    run.stars = record_.setup ? record_.setup->numberStars : 0;
    if (firstCycleStars_) run.stars = static_cast<int>(*firstCycleStars_);
    run.separator = separator_;
    run.decimalComma = decimalComma_;
    const std::int64_t begins = record_.guidingBeginsMs.value_or(0);
    for (const RecordCycle& cycle : record_.cycles) {
      run.seconds.push_back(static_cast<double>(cycle.exposureEndMs - begins) / 1000.0);
    }
  }

  Record record_;
  bool keepCycles_ = true;
  bool begun_ = false;
  bool readCycle_ = false;
  std::optional<std::size_t> firstCycleStars_;
  std::map<std::string, Names> names_ = FirstFormatNames();
  GuiderReads settings_;
  char separator_ = ',';
  bool decimalComma_ = false;
};

RecordReader::RecordReader(bool keepCycles) : lines_(std::make_unique<Lines>(keepCycles)) {}
RecordReader::~RecordReader() = default;
RecordReader::RecordReader(RecordReader&&) noexcept = default;
RecordReader& RecordReader::operator=(RecordReader&&) noexcept = default;

void RecordReader::Line(int number, std::string_view text) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (text.empty()) {
    lines_->readCycle_ = false;
    return;
  }
  lines_->ReadLine(number, text);
}

bool RecordReader::ReadACycle() const {
  return lines_->readCycle_;
}

const Record& RecordReader::Current() const {
  return lines_->record_;
}

namespace {

// Days from the civil date (eras of 400 years starting on 1 March).
long long DaysSince1970(long long year, long long month, long long day) {
  year -= month <= 2 ? 1 : 0;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yoe = year - era * 400;
  const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

}  // namespace

bool LooksLikeRecord(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.size() <= kFirstKind.size() || text.substr(0, kFirstKind.size()) != kFirstKind) {
    return false;
  }
  const char separator = text[kFirstKind.size()];
  return separator == ',' || separator == ';' || separator == '\t';
}

Record ParseRecord(std::string_view text) {
  return RecordReader::Lines(true).Read(text);
}

Record ReadRecordFile(const std::string& path) {
  return ParseRecord(ReadFileText(path));
}

GuiderReads PrevailingSettings(const Record& record) {
  std::map<std::string, std::vector<std::pair<double, int>>> counts;  // values in first-seen order
  for (const RecordCycle& cycle : record.cycles) {
    for (const auto& setting : cycle.settings) {
      const double value = setting.second;
      auto& seen = counts[setting.first];
      const auto it = std::find_if(seen.begin(), seen.end(),
                                   [&](const auto& entry) { return entry.first == value; });
      if (it == seen.end()) {
        seen.emplace_back(value, 1);
      } else {
        ++it->second;
      }
    }
  }
  GuiderReads prevailing;
  for (const auto& [name, seen] : counts) {
    const auto best = std::max_element(
        seen.begin(), seen.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    prevailing[name] = best->first;
  }
  return prevailing;
}

std::vector<std::string> SettingChangesText(const Record& record) {
  std::vector<std::string> texts;
  GuiderReads known;
  auto number = [](double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return std::string(buffer);
  };
  for (const RecordSettingChange& change : record.settingChanges) {
    const auto it = known.find(change.name);
    if (it != known.end()) {
      texts.push_back(change.name + " " + number(it->second) + " -> " + number(change.value) +
                      " at cycle " + std::to_string(change.cycle));
    }
    known[change.name] = change.value;
  }
  return texts;
}

std::optional<RecordName> ReadRecordName(std::string_view name) {
  // "YYYY-MM-DD HH-MM-SS" then ".csv" or " (N).csv".
  static constexpr std::string_view kShape = "0000-00-00 00-00-00";
  if (name.size() < kShape.size() + 4) return std::nullopt;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
    if (kShape[i] == '0' ? !digit : name[i] != kShape[i]) return std::nullopt;
  }
  RecordName record{std::string(name.substr(0, kShape.size())), 1};
  std::string_view rest = name.substr(kShape.size());
  if (rest == ".csv") return record;
  if (rest.size() < 8 || rest.substr(0, 2) != " (" || rest.substr(rest.size() - 5) != ").csv") {
    return std::nullopt;
  }
  const std::string_view number = rest.substr(2, rest.size() - 7);
  if (number.empty() || number.size() > 6 || number.front() == '0') return std::nullopt;
  int sequence = 0;
  for (const char c : number) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    sequence = sequence * 10 + (c - '0');
  }
  record.sequence = sequence;
  return record;
}

std::optional<double> SecondsSince1970(const std::string& time) {
  int y, mo, d, h, mi, s;
  if (std::sscanf(time.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) {
    return std::nullopt;
  }
  return static_cast<double>(DaysSince1970(y, mo, d) * 86400 + h * 3600 + mi * 60 + s);
}

std::string LaterTime(const std::string& time, double seconds) {
  const std::optional<double> start = SecondsSince1970(time);
  if (!start) return {};
  long long total = static_cast<long long>(*start);
  total += static_cast<long long>(seconds >= 0 ? seconds + 0.5 : seconds - 0.5);
  long long z = (total >= 0 ? total : total - 86399) / 86400;
  const long long clock = total - z * 86400;
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long day = doy - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", year, month,
                day, clock / 3600, clock / 60 % 60, clock % 60);
  return buffer;
}

}  // namespace corvane::guidelog
