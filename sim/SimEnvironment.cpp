#include "sim/SimEnvironment.h"

#include <cmath>
#include <cstdio>

namespace corvane::sim {
namespace {
constexpr double kWaitForInputSeconds = 0.02;
constexpr double kMessageSeconds = 1.0;  // the user reads and dismisses a message box
}  // namespace

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
                               std::string logFilePath)
    : observatory_(observatory), script_(std::move(script)), logFilePath_(std::move(logFilePath)) {}

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
    if (dialog.Accept(texts, reader_) == OkResult::Accepted) return dialog.Answer();
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

std::unique_ptr<GuideLogFile> SimEnvironment::CreateGuideLog() {
  ++logsCreated_;
  return std::make_unique<MemoryGuideLog>(log_, logFilePath_);
}

}  // namespace corvane::sim
