// The text of a run's record: pure functions from what the run knew to the record's lines and
// file name. The format (the user guide states it for readers):
// - CSV, one line per fact, CR LF, UTF-8, '.' as the decimal point whatever the locale;
// - the first field names the line's kind, the second is the milliseconds since the run started;
// - a line whose kind starts with '#' names the fields of that kind (its first field "#cycle"
//   stands above the "cycle" lines' first field, so a spreadsheet shows the names over the values);
// - free text (messages, failures, versions, times) is in double quotes, a quote doubled, line
//   breaks made spaces; every other field is a number or a fixed word;
// - numbers copied from the guide log have the guide log's exact text.
// A later version of the format only appends fields to a kind and adds kinds; readers take the
// fields by the names of the '#' lines and skip kinds they do not know.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/GuideSettings.h"
#include "guiding/GuideLog.h"
#include "guiding/Measurement.h"
#include "guiding/RunEnvironment.h"

namespace corvane::record {

inline constexpr int kFormat = 1;
// The folder under the user's Documents that holds the records.
inline constexpr const char* kFolderName = "Corvane";

// "2024-05-01 22-13-05.csv" for the run started at that local time; a later run that started in
// the same second takes sequence 2, 3, ...: "2024-05-01 22-13-05 (2).csv".
std::string FileName(const CivilTime& localStart, int sequence = 1);
// "2024-05-01 22:13:05"
std::string CivilText(const CivilTime& time);
// Minutes the local time is ahead of UTC.
std::int64_t UtcOffsetMinutes(const WallTime& time);
// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day);

// The host's guider settings that the run reads in its cycles, by their host names.
enum class GuiderSetting {
  Angle,
  Declination,
  ReverseX,
  Aggressiveness,
  XSpeed,
  YSpeed,
  OutputEnables,
};
inline constexpr int kGuiderSettings = 7;
const char* HostName(GuiderSetting setting);

// How a run ended.
enum class RunEnd {
  InitialCancelled,         // the "Initial Exposure" dialog was cancelled
  CameraLinkRefused,        // "Failed to start camera."
  TelescopeRefused,         // "Failed to connect to telescope."
  SetupCancelled,           // the "Guide star setup" dialog was cancelled
  NoGuiderImage,            // no "Autoguider Image" after the full-frame exposure
  StoppedByCameraEvent,     // camera event 15
  StoppedByAggressiveness,  // the host's guider aggressiveness read 0
  CameraDisconnected,       // "Camera disconnected."
  GuiderImageClosed,        // the "Autoguider Image" was gone after a guide exposure
  Failed,                   // a run-time failure, returned to the host
};
const char* Word(RunEnd end);

// A guide star in one cycle: used (its SN at least MinSN), or left out because its SN was below
// MinSN while still showing a star (at least kFoundSN), or not found: the host's SN there is
// below kFoundSN, that is within three noise levels of the background, so what it measured is
// noise, not a star. A star the run used is "used" whatever its SN.
enum class StarState { Used, BelowMinSN, NotFound };
inline constexpr double kFoundSN = 3.0;
StarState StateOf(const GuideStar& star);
const char* Word(StarState state);
const char* Word(Participation participation);

// The record's first lines: the "corvane-record" line and the names of every kind's fields but
// the cycle's (which depend on the number of stars: CycleColumns).
std::vector<std::string> StartLines(const std::string& version, const WallTime& start);

// A line under construction: Field calls append fields, Line() gives the finished line.
class LineBuilder {
 public:
  LineBuilder(std::string_view kind, std::int64_t ms);
  LineBuilder& Word(std::string_view word);  // a fixed word or a number's text, as it is
  LineBuilder& Integer(std::int64_t value);
  LineBuilder& Single(float value);
  LineBuilder& Double(double value);
  LineBuilder& Text(std::string_view text);  // quoted
  LineBuilder& Empty();
  std::string Line() const;  // CR LF appended

 private:
  std::string line_;
};

std::string InitialLine(std::int64_t ms, float firstDuration);
// The setup dialog's values. Options added to the dialog later go at the end of this line (and
// of its names in StartLines), after Border.
std::string SetupLine(std::int64_t ms, const GuideSettings& settings);
std::string CycleColumns(std::int16_t numberStars);
std::string SensorLine(std::int64_t ms, double width, double height);
// A picked star: the click as the host reported the pointer, the refined position the run took
// and the SN the host gave there (empty when its answer had none).
std::string StarLine(std::int64_t ms, int star, double clickX, double clickY, float x, float y,
                     std::optional<double> sn);
std::string SettingLine(std::int64_t ms, std::int64_t cycle, GuiderSetting setting, double value);

struct CycleRecord {
  std::int64_t cycle = 0;  // 1 for the first guide exposure
  std::int64_t exposureStartMs = 0;
  std::int64_t exposureEndMs = 0;
  GuideLogRow row;  // the guide log's row of this cycle
  Participation participation = Participation::All;
  std::vector<StarState> states;  // one per star
};
std::string CycleLine(std::int64_t ms, const CycleRecord& cycle);

// A pulse as sent: direction 0 to 3 and the duration passed to GuiderMove; the end is when the
// host no longer reported it moving (nothing when the run ended during the wait).
std::string PulseLine(std::int64_t ms, std::int64_t cycle, std::int16_t direction,
                      const host::HostNumber& seconds, std::optional<std::int64_t> endMs);
std::string EventLine(std::int64_t ms, std::string_view name, std::string_view value = {});
std::string MessageLine(std::int64_t ms, std::string_view text);
// How the run ended; for a failure its kind, the code (HRESULT) and the description.
struct EndDetail {
  std::string failure;  // "host", "file", "overflow", ...: empty unless the run failed
  std::int32_t code = 0;
  std::string text;
};
std::string EndLine(std::int64_t ms, RunEnd end, std::int64_t cycles, const EndDetail& detail);
const char* FailureWord(FailureKind kind);
// Something the record itself could not do.
std::string ProblemLine(std::int64_t ms, std::string_view what, std::string_view text);

}  // namespace corvane::record
