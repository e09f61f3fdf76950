// The run's record: what one run knew, written line by line as the run goes (the lines are in
// guiding/RecordFormat.h): the start time and version, both dialogs' values, the sensor size, the
// picked stars, the host's guider settings as each cycle read them (the first reads and every
// change), every cycle with its times and each star's state, every pulse as sent, the camera's
// events, the messages shown, how the run ended and what the record itself could not do.
//
// The record is secondary to guiding: nothing here throws, makes a host call or waits for the
// disk, and a record that cannot be created or written changes nothing of the run. The user hears
// of such a record once, from the run, at a moment that does not hold up guiding: when it cannot
// be created, at once (before the first dialog); when lines are lost later, when the run ends.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "guiding/RecordFormat.h"
#include "guiding/RunEnvironment.h"

namespace corvane {

class RunRecord {
 public:
  explicit RunRecord(RunEnvironment& environment) : environment_(environment) {}
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;
  ~RunRecord() { Close(); }

  // Reads the wall clock, creates the record through the surroundings and writes its first lines.
  void Open(const std::string& version) noexcept;
  // The surroundings keep a record (one that could not be created included): the run then also
  // reads what only the record needs.
  bool Keeping() const { return file_ != nullptr; }

  void InitialExposure(float firstDuration) noexcept;
  void Setup(const GuideSettings& settings) noexcept;
  void SensorSize(double width, double height) noexcept;
  void StarPicked(int star, double clickX, double clickY, float x, float y,
                  std::optional<double> sn) noexcept;
  // Guiding begins (the stop request is cleared); a stop that camera event 15 requested during
  // this run's start-up was discarded.
  void GuidingBegins(bool stopDiscarded) noexcept;

  // A guide exposure starts (a new cycle) and ends.
  void ExposureStarts() noexcept;
  void ExposureEnded() noexcept;
  // A guider setting as the run read it: the first read and every change get their line.
  void Read(record::GuiderSetting setting, double value) noexcept;
  // The cycle's guide log row, once written, with its stars' states.
  void Cycle(const GuideLogRow& row, const StarTable& stars, Participation participation) noexcept;
  // The milliseconds since the run started.
  std::int64_t Clock() noexcept;
  // A pulse the host took (GuiderMove returned), asked for at `sentMs`; then its end.
  void PulseSent(std::int64_t sentMs, std::int16_t direction,
                 const host::HostNumber& seconds) noexcept;
  void PulseEnded() noexcept;

  void CameraEvent(std::int16_t code) noexcept;
  void Message(const std::string& text) noexcept;
  void Problem(std::string_view what, const std::string& text) noexcept;
  void End(record::RunEnd how, const record::EndDetail& detail = {}) noexcept;

  // Why the record cannot be created, for the user, once ("" when it was created).
  std::string TakeCreationNotice() noexcept;
  // Closes the record and returns what the user is to be told about it, unless told already: why
  // it could not be created or why it is incomplete ("" when it is whole). A notice known before
  // the last lines go out is written into the record as well.
  std::string Finish() noexcept;
  void Close() noexcept;

  std::int64_t Cycles() const { return cycles_; }

 private:
  std::int64_t Now() noexcept { return Clock(); }
  void Put(std::string line) noexcept;
  std::string Notice() const;
  std::string Take(std::string notice) noexcept;

  RunEnvironment& environment_;
  std::unique_ptr<RunRecordFile> file_;
  bool created_ = false;  // the file was created (its Failure() was empty after creation)
  bool told_ = false;
  bool closed_ = false;
  std::int64_t startMs_ = 0;
  std::int64_t lostNoted_ = 0;  // lost lines already said in the record

  std::int64_t cycle_ = 0;   // the guide exposure under way (1 for the first)
  std::int64_t cycles_ = 0;  // cycle lines written
  std::int64_t exposureStartMs_ = 0;
  std::int64_t exposureEndMs_ = 0;
  std::array<std::optional<double>, record::kGuiderSettings> settings_{};

  struct SentPulse {
    std::int64_t ms = 0;
    std::int64_t cycle = 0;
    std::int16_t direction = 0;
    host::HostNumber seconds;
  };
  std::optional<SentPulse> pulse_;  // sent, its end not yet seen
};

}  // namespace corvane
