// What a guiding run asks of its surroundings besides the host's objects: the two questions to
// the user (the dialogs), message boxes, time, the guide log file and the run's record. The
// Windows shell implements it with Win32; the simulated observatory and the tests implement it in
// virtual time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/GuideSettings.h"
#include "guiding/PeriodicErrorPredictor.h"

namespace corvane {

// The guide log's file. Write raises a RunFailure of kind File when the bytes cannot be written.
class GuideLogFile {
 public:
  virtual ~GuideLogFile() = default;
  virtual void Write(std::string_view bytes) = 0;
  virtual void Flush() = 0;  // to the file system, so a host crash loses nothing logged
  virtual void Close() = 0;
};

// A date and time of the civil calendar, to the millisecond.
struct CivilTime {
  int year = 1970, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

// One moment of the wall clock, in UTC and in the user's local time.
struct WallTime {
  CivilTime utc;
  CivilTime local;
};

// The run's record on disk (guiding/RunRecord.h says what goes into it). Lines are handed over
// complete and put on disk in order, each flushed once written; the run never waits for the disk.
// Every member may be called from the run's thread at any time and none throws.
class RunRecordFile {
 public:
  virtual ~RunRecordFile() = default;
  // One complete line, CR LF included. A line that cannot be written (or not in time) is given
  // up whole and counted; the file only ever holds whole lines.
  virtual void Write(std::string line) noexcept = 0;
  // Puts every line handed over on disk (or gives it up) and closes the file, waiting a short,
  // bounded time at most. Lines handed over later are given up.
  virtual void Close() noexcept = 0;
  // Lines given up so far.
  virtual std::int64_t LinesLost() const noexcept = 0;
  // Why the file could not be created, or why the first line was given up; "" while nothing
  // went wrong.
  virtual std::string Failure() const = 0;
};

class RunEnvironment {
 public:
  virtual ~RunEnvironment() = default;
  // Asks for the duration of the full-frame exposure ("Initial Exposure", shown modally with no
  // owner): the accepted duration, or nothing when the user cancelled.
  virtual std::optional<float> AskInitialExposure() = 0;
  // Asks for the guide settings ("Guide star setup"): the accepted settings, or nothing.
  virtual std::optional<GuideSettings> AskGuideSettings() = 0;
  // A modal message box: the text, an OK button, the caption "Corvane"; returns when dismissed.
  virtual void ShowMessage(const std::string& text) = 0;
  // Lets the host run: one pass over the messages pending on this thread.
  virtual void LetHostRun() = 0;
  // The poll interval of the exposure and pulse waits.
  virtual void Sleep100ms() = 0;
  // Waits, without using the processor, until input may have arrived (a message is queued, or
  // a short time has passed). Used between the reads of the click waits.
  virtual void WaitForInput() = 0;
  // A monotonic clock in milliseconds (any origin): when each exposure and pulse happened, for
  // what the run learns over time and what it records. Reading it calls nothing of the host's.
  virtual std::int64_t Milliseconds() = 0;
  // Creates or empties the guide log file. Raises a RunFailure of kind File when it cannot.
  virtual std::unique_ptr<GuideLogFile> CreateGuideLog() = 0;

  // The wall clock now, read once when a run starts (its record's start time and name).
  virtual WallTime WallClock() { return {}; }
  // Creates the run's record, named by the run's local start time, never replacing a file.
  // nullptr: these surroundings keep no record. A record that cannot be created is returned all
  // the same, its Failure() saying why; its lines go nowhere.
  virtual std::unique_ptr<RunRecordFile> CreateRunRecord(const WallTime& start) {
    (void)start;
    return nullptr;
  }

  // Messages these surroundings show of their own accord (the guide log's other place) also
  // reach the listener, so the run's record holds them. The run sets it and clears it.
  void ListenToMessages(std::function<void(const std::string&)> listener) {
    messageListener_ = std::move(listener);
  }

  // What the periodic-error prediction did in a cycle (only when it is ticked), for surroundings
  // that keep a record of the run; the plug-in's own has no use for it.
  virtual void NotePrediction(const PredictionStatus& /*status*/) {}

 protected:
  void MessageShown(const std::string& text) {
    if (messageListener_) messageListener_(text);
  }

 private:
  std::function<void(const std::string&)> messageListener_;
};

}  // namespace corvane
