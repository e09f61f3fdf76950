#include "guiding/RunRecord.h"

#include <bit>

namespace corvane {

using namespace record;

namespace {

// Runs a part of the record: whatever it throws (memory running out) is swallowed, as the record
// never changes the run.
template <typename Body>
void Guarded(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace

std::int64_t RunRecord::Clock() noexcept {
  try {
    return environment_.Milliseconds() - startMs_;
  } catch (...) {
    return 0;
  }
}

void RunRecord::Open(const std::string& version) noexcept {
  Guarded([&] {
    const WallTime start = environment_.WallClock();
    startMs_ = environment_.Milliseconds();
    file_ = environment_.CreateRunRecord(start);
    if (!file_) return;
    created_ = file_->Failure().empty();
    for (std::string& line : StartLines(version, start)) Put(std::move(line));
  });
}

void RunRecord::Put(std::string line) noexcept {
  if (!file_ || closed_) return;
  Guarded([&] {
    // Lines lost since the last time are said before the next line, once the disk takes lines
    // again; the saying counts as lost itself if it is lost too, so a full disk does not get a
    // new saying for every line.
    const std::int64_t lost = file_->LinesLost();
    if (created_ && lost > lostNoted_) {
      lostNoted_ = lost + 1;
      file_->Write(ProblemLine(
          Now(), "lines-lost",
          std::to_string(lost) + " lines could not be written so far: " + file_->Failure()));
    }
    file_->Write(std::move(line));
  });
}

void RunRecord::InitialExposure(float firstDuration) noexcept {
  if (file_) Guarded([&] { Put(InitialLine(Now(), firstDuration)); });
}

void RunRecord::Setup(const GuideSettings& settings) noexcept {
  if (!file_) return;
  Guarded([&] {
    Put(SetupLine(Now(), settings));
    Put(CycleColumns(settings.NumberStars));
  });
}

void RunRecord::SensorSize(double width, double height) noexcept {
  if (file_) Guarded([&] { Put(SensorLine(Now(), width, height)); });
}

void RunRecord::StarPicked(int star, double clickX, double clickY, float x, float y,
                           std::optional<double> sn) noexcept {
  if (file_) Guarded([&] { Put(StarLine(Now(), star, clickX, clickY, x, y, sn)); });
}

void RunRecord::GuidingBegins(bool stopDiscarded) noexcept {
  if (!file_) return;
  Guarded([&] {
    if (stopDiscarded) Put(EventLine(Now(), "stop-discarded"));
    Put(EventLine(Now(), "guiding-begins"));
  });
}

void RunRecord::ExposureStarts() noexcept {
  ++cycle_;
  exposureStartMs_ = Now();
  exposureEndMs_ = exposureStartMs_;
}

void RunRecord::ExposureEnded() noexcept {
  exposureEndMs_ = Now();
}

void RunRecord::Read(GuiderSetting setting, double value) noexcept {
  if (!file_) return;
  auto& known = settings_[static_cast<std::size_t>(setting)];
  // Compared bit for bit, so a value that is not a number is said once, not at every read.
  if (known && std::bit_cast<std::uint64_t>(*known) == std::bit_cast<std::uint64_t>(value)) return;
  known = value;
  Guarded([&] { Put(SettingLine(Now(), cycle_, setting, value)); });
}

void RunRecord::Cycle(const GuideLogRow& row, const StarTable& stars,
                      Participation participation) noexcept {
  ++cycles_;
  if (!file_) return;
  Guarded([&] {
    CycleRecord cycle;
    cycle.cycle = cycle_;
    cycle.exposureStartMs = exposureStartMs_;
    cycle.exposureEndMs = exposureEndMs_;
    cycle.row = row;
    cycle.participation = participation;
    for (std::size_t n = 0; n < row.Stars.size() && n < stars.size(); ++n) {
      cycle.states.push_back(StateOf(stars[n]));
    }
    Put(CycleLine(Now(), cycle));
  });
}

void RunRecord::PulseSent(std::int64_t sentMs, std::int16_t direction,
                          const host::HostNumber& seconds) noexcept {
  pulse_ = SentPulse{sentMs, cycle_, direction, seconds};
}

void RunRecord::PulseEnded() noexcept {
  if (!pulse_) return;
  const SentPulse pulse = *pulse_;
  pulse_.reset();
  if (file_) {
    Guarded([&] { Put(PulseLine(pulse.ms, pulse.cycle, pulse.direction, pulse.seconds, Now())); });
  }
}

void RunRecord::CameraEvent(std::int16_t code) noexcept {
  if (file_) Guarded([&] { Put(EventLine(Now(), "camera-event", std::to_string(code))); });
}

void RunRecord::Message(const std::string& text) noexcept {
  if (file_) Guarded([&] { Put(MessageLine(Now(), text)); });
}

void RunRecord::Problem(std::string_view what, const std::string& text) noexcept {
  if (file_) Guarded([&] { Put(ProblemLine(Now(), what, text)); });
}

void RunRecord::End(RunEnd how, const EndDetail& detail) noexcept {
  if (!file_) return;
  Guarded([&] {
    if (pulse_) {  // the run ended while the pulse was awaited
      Put(PulseLine(pulse_->ms, pulse_->cycle, pulse_->direction, pulse_->seconds, std::nullopt));
      pulse_.reset();
    }
    Put(EndLine(Now(), how, cycles_, detail));
  });
}

std::string RunRecord::Notice() const {
  if (!file_ || told_) return {};
  if (!created_) {
    return "This run's record cannot be created: " + file_->Failure() +
           ". Guiding and the guide log are not affected.";
  }
  const std::int64_t lost = file_->LinesLost();
  if (lost == 0) return {};
  return "This run's record is incomplete: " + std::to_string(lost) +
         (lost == 1 ? " line" : " lines") + " could not be written (" + file_->Failure() +
         "). Guiding and the guide log were not affected.";
}

std::string RunRecord::Take(std::string notice) noexcept {
  if (!notice.empty()) told_ = true;
  return notice;
}

std::string RunRecord::TakeCreationNotice() noexcept {
  try {
    return Take(created_ ? std::string() : Notice());
  } catch (...) {
    return {};
  }
}

std::string RunRecord::Finish() noexcept {
  try {
    const std::string known = Notice();
    if (!known.empty()) Message(known);
    Close();
    return Take(Notice());
  } catch (...) {
    return {};
  }
}

void RunRecord::Close() noexcept {
  if (!file_ || closed_) return;
  closed_ = true;
  file_->Close();
}

}  // namespace corvane
