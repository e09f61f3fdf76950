// What a guiding run asks of its surroundings besides the host's objects: the two questions to
// the user (the dialogs), message boxes, time and the guide log file. The Windows shell implements
// it with Win32; the simulated observatory and the tests implement it in virtual time.
#pragma once

#include <cstdint>
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
  // What the periodic-error prediction did in a cycle (only when it is ticked), for surroundings
  // that keep a record of the run; the plug-in's own has no use for it.
  virtual void NotePrediction(const PredictionStatus& /*status*/) {}
};

}  // namespace corvane
