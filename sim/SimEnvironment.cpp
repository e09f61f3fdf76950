#include "sim/SimEnvironment.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "guiding/RecordFormat.h"

namespace corvane::sim {
namespace {
constexpr double kWaitForInputSeconds = 0.02;
constexpr double kMessageSeconds = 1.0;  // the user reads and dismisses a message box
// A civil time `ms` milliseconds later.
CivilTime Later(const CivilTime& time, std::int64_t ms) {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{time.year}, month{static_cast<unsigned>(time.month)},
                                      std::chrono::day{static_cast<unsigned>(time.day)}};
  const sys_time<milliseconds> moment = day + hours{time.hour} + minutes{time.minute} +
                                        seconds{time.second} + milliseconds{time.millisecond + ms};
  const sys_days date = floor<days>(moment);
  const year_month_day ymd{date};
  const hh_mm_ss<milliseconds> clock{moment - date};
  return {static_cast<int>(ymd.year()),
          static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day())),
          static_cast<int>(clock.hours().count()),
          static_cast<int>(clock.minutes().count()),
          static_cast<int>(clock.seconds().count()),
          static_cast<int>(clock.subseconds().count())};
}

}  // namespace

MemoryRecordFile::MemoryRecordFile(std::string& bytes, const std::string& folder,
                                   const WallTime& start)
    : bytes_(bytes) {
  bytes_.clear();
  if (folder.empty()) return;
  // Never over an earlier record: the next free name.
  std::error_code error;
  for (int sequence = 1; sequence < 10000; ++sequence) {
    const auto path = std::filesystem::path(folder) / record::FileName(start.local, sequence);
    if (std::filesystem::exists(path, error)) continue;
    path_ = path.string();
    file_ = std::fopen(path_.c_str(), "wb");
    break;
  }
  if (!file_) failure_ = "The record cannot be created in " + folder;
}

MemoryRecordFile::~MemoryRecordFile() {
  Close();
}

void MemoryRecordFile::Write(std::string line) noexcept {
  if (!open_ || !failure_.empty()) {
    ++lost_;
    return;
  }
  try {
    bytes_ += line;
  } catch (...) {
  }
  if (file_ &&
      (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0)) {
    ++lost_;
    failure_ = "The record " + path_ + " cannot be written";
  }
}

void MemoryRecordFile::Close() noexcept {
  open_ = false;
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

MemoryGuideLog::MemoryGuideLog(std::string& bytes, std::string filePath)
    : bytes_(bytes), filePath_(std::move(filePath)) {
  bytes_.clear();
  if (!filePath_.empty()) {
    std::FILE* file = std::fopen(filePath_.c_str(), "wb");
    if (!file) throw RunFailure(FailureKind::File, "Cannot create " + filePath_);
    std::fclose(file);
  }
}

void MemoryGuideLog::Write(std::string_view bytes) {
  if (!open_) throw RunFailure(FailureKind::File, "The guide log is closed");
  bytes_.append(bytes);
}

void MemoryGuideLog::Flush() {
  if (filePath_.empty() || flushed_ == bytes_.size()) return;
  std::FILE* file = std::fopen(filePath_.c_str(), "ab");
  if (!file) throw RunFailure(FailureKind::File, "Cannot write " + filePath_);
  const std::size_t size = bytes_.size() - flushed_;
  const bool ok = std::fwrite(bytes_.data() + flushed_, 1, size, file) == size;
  std::fclose(file);
  if (!ok) throw RunFailure(FailureKind::File, "Cannot write " + filePath_);
  flushed_ = bytes_.size();
}

void MemoryGuideLog::Close() {
  if (!open_) return;
  Flush();
  open_ = false;
}

SimEnvironment::SimEnvironment(Observatory& observatory, DialogScript script,
                               std::string logFilePath, std::string recordFolder, WallTime start)
    : observatory_(observatory),
      script_(std::move(script)),
      logFilePath_(std::move(logFilePath)),
      recordFolder_(std::move(recordFolder)),
      start_(start) {}

std::optional<float> SimEnvironment::AskInitialExposure() {
  InitialExposureDialog& dialog = dialogs_.InitialExposure;
  dialog.BeginShowing();
  for (const std::string& text : script_.initialExposure) {
    observatory_.Advance(observatory_.Settings().user.dialogSeconds);
    if (dialog.Accept(text, reader_) == OkResult::Accepted) return dialog.Answer();
    ShowMessage(kPleaseEnterANumber);
  }
  dialog.Cancel();
  return dialog.Answer();
}

std::optional<GuideSettings> SimEnvironment::AskGuideSettings() {
  GuideSetupDialog& dialog = dialogs_.GuideSetup;
  dialog.BeginShowing();
  for (const GuideSetupDialog::Texts& texts : script_.guideSetup) {
    observatory_.Advance(observatory_.Settings().user.dialogSeconds);
    if (dialog.Accept(texts, reader_, script_.predictPeriodicError) == OkResult::Accepted) {
      return dialog.Answer();
    }
    ShowMessage(kPleaseEnterANumber);
  }
  dialog.Cancel();
  return dialog.Answer();
}

void SimEnvironment::ShowMessage(const std::string& text) {
  messages_.push_back(text);
  observatory_.Advance(kMessageSeconds);
}

void SimEnvironment::LetHostRun() {
  if (plugIn_ && observatory_.TakeStopNotification()) plugIn_->CCDCamera_Notify(kStopEvent, *this);
}

void SimEnvironment::Sleep100ms() {
  observatory_.Advance(0.1);
}

std::int64_t SimEnvironment::Milliseconds() {
  return std::llround(observatory_.Now() * 1000.0);
}

void SimEnvironment::WaitForInput() {
  observatory_.Advance(kWaitForInputSeconds);
}

WallTime SimEnvironment::WallClock() {
  const std::int64_t ms = Milliseconds();
  return {Later(start_.utc, ms), Later(start_.local, ms)};
}

std::unique_ptr<RunRecordFile> SimEnvironment::CreateRunRecord(const WallTime& start) {
  auto file = std::make_unique<MemoryRecordFile>(record_, recordFolder_, start);
  recordPath_ = file->Path();
  return file;
}

void SimEnvironment::NotePrediction(const PredictionStatus& status) {
  predictions_.push_back(status);
}

std::unique_ptr<GuideLogFile> SimEnvironment::CreateGuideLog() {
  ++logsCreated_;
  return std::make_unique<MemoryGuideLog>(log_, logFilePath_);
}

}  // namespace corvane::sim
