// Reads a run's record (the file Corvane.dll writes for each run into Documents\Corvane, and
// corvane-sim into its --out folder; the user guide states the format): the start time,
// both dialogs' values, the sensor size, the picked stars, every cycle with its times, star states
// and the host's guider settings in effect for it, every pulse as sent, the events, messages and
// how the run ended. Read as users have it: whole, growing (read while the run writes it), or cut
// off by a crash (a last line without its line end is dropped), also re-saved by a decimal-comma
// spreadsheet. Fields are taken by the names of the record's '#' lines, so a later format that
// appends fields or adds kinds reads the same; a line of a kind not named is skipped. Anything
// else is a LogError that names the line.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "guidelog/LogFile.h"

namespace corvane::guidelog {

// The host's guider settings as the run read them (host names: GuiderAngle, GuiderDeclination,
// GuiderReverseX, GuiderAggressiveness, GuiderXSpeed, GuiderYSpeed, GuiderOutputEnables).
using GuiderReads = std::map<std::string, double>;

struct RecordSetup {
  int numberStars = 0;
  double minSN = 0.0;
  int minStars = 0;
  double duration = 0.0;  // the guide exposure, seconds
  double minMove = 0.0, maxMove = 0.0;
  int border = 0;
  std::map<std::string, std::string> more;  // fields a later version added, by name
};

struct RecordStar {
  int star = 0;  // 1-based
  double clickX = 0.0, clickY = 0.0;
  double x = 0.0, y = 0.0;  // the refined position: the star's reference
  std::optional<double> sn;
};

struct RecordPulse {
  std::int64_t ms = 0;  // when it was asked for
  int direction = 0;    // GuiderMove's: 0 X+, 1 X-, 2 Y+, 3 Y-
  double seconds = 0.0;
  std::optional<std::int64_t> endMs;  // when the host no longer reported it moving
};

struct RecordCycle {
  int cycle = 0;  // 1 for the first guide exposure
  int line = 0;
  std::int64_t ms = 0, exposureStartMs = 0, exposureEndMs = 0;
  int used = 0;
  std::string participation;        // all, enough, too-few
  std::vector<std::string> states;  // per star: used, below-min-sn, not-found
  GuiderReads settings;             // in effect when the cycle was written
  std::vector<RecordPulse> pulses;
};

struct RecordSettingChange {
  std::int64_t ms = 0;
  int cycle = 0;  // the cycle whose read saw it
  std::string name;
  double value = 0.0;
};

struct RecordEvent {
  std::int64_t ms = 0;
  std::string name, value;
};

struct RecordMessage {
  std::int64_t ms = 0;
  std::string text;
};

struct RecordEnd {
  std::int64_t ms = 0;
  std::string how;  // initial-cancelled, ..., stopped-by-camera-event, ..., failed
  int cycles = 0;
  std::string failure, code, text;
};

struct Record {
  int format = 0;
  std::string version;
  std::string startLocal, startUtc;  // "YYYY-MM-DD HH:MM:SS"
  int utcOffsetMinutes = 0;
  std::optional<double> initialExposure;
  std::optional<RecordSetup> setup;
  std::optional<double> sensorWidth, sensorHeight;
  std::vector<RecordStar> stars;
  std::vector<RecordSettingChange> settingChanges;
  std::vector<RecordCycle> cycles;
  std::vector<RecordEvent> events;
  std::vector<RecordMessage> messages;
  std::vector<std::string> problems;  // what the record could not do: "what: text"
  std::optional<std::int64_t> guidingBeginsMs;
  std::optional<RecordEnd> end;  // none: the run was still going (or crashed)
  int skippedLines = 0;          // of kinds this reader does not know
  // The cycles as a guide log's run: the same rows as c:\Corvane.csv, and when each cycle's frame
  // arrived (its exposure seen to end), seconds since guiding began.
  LogRun run;
};

// Reads a record a line at a time, as a program that follows a record while the run writes it
// needs: each whole line in turn, from the first. With `keepCycles` false only the newest cycle
// (and its row) stays in Current(), so memory stays flat however long the run.
class RecordReader {
 public:
  explicit RecordReader(bool keepCycles = true);
  ~RecordReader();
  RecordReader(RecordReader&&) noexcept;
  RecordReader& operator=(RecordReader&&) noexcept;
  // One whole line without its line end (the first must begin as a record does). A line that
  // cannot be read throws LogError naming it; what was read before stays.
  void Line(int number, std::string_view text);
  bool ReadACycle() const;  // the last line was a cycle: Current().cycles.back()
  const Record& Current() const;
  class Lines;

 private:
  std::unique_ptr<Lines> lines_;
};

// The text begins like a record (its first field "corvane-record").
bool LooksLikeRecord(std::string_view text);
Record ParseRecord(std::string_view text);  // throws LogError
Record ReadRecordFile(const std::string& path);

// For each guider setting the value in effect for the most cycles (the first on a tie), and the
// changes during the run as text ("GuiderAggressiveness 10 -> 5 at cycle 40").
GuiderReads PrevailingSettings(const Record& record);
std::vector<std::string> SettingChangesText(const Record& record);

// A record's file name: the run's local start time, "2024-05-01 22-13-05.csv", and a later run
// started in the same second "2024-05-01 22-13-05 (2).csv". Which record is the newest goes by
// the start time and then the number, not by the file's time (a copy or an edit changes that).
struct RecordName {
  std::string start;  // "2024-05-01 22-13-05"
  int sequence = 1;
};
// Nothing for any other name.
std::optional<RecordName> ReadRecordName(std::string_view fileName);

// "YYYY-MM-DD HH:MM:SS" (UTC) as seconds since 1970; nothing when unreadable.
std::optional<double> SecondsSince1970(const std::string& time);
// "YYYY-MM-DD HH:MM:SS" plus whole seconds (proleptic Gregorian calendar); "" when unreadable.
std::string LaterTime(const std::string& time, double seconds);

}  // namespace corvane::guidelog
