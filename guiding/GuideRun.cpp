#include "guiding/GuideRun.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <utility>

#include "base/Numbers.h"
#include "guiding/GuideLog.h"

namespace corvane {
namespace {

constexpr std::int32_t kEventMaskStop = 0x8000;  // only event 15 reaches CCDCamera_Notify
constexpr const char* kFailedToStartCamera = "Failed to start camera.";
constexpr const char* kFailedToConnectTelescope = "Failed to connect to telescope.";
constexpr const char* kCameraDisconnected = "Camera disconnected.";
constexpr double kMaximumTermPixels = 1e6;

bool Enabled(double outputEnables, std::int32_t bit) {
  return (ToInt32(outputEnables) & bit) != 0;
}

using record::GuiderSetting;
using record::RunEnd;

// The camera's guider values as the run reads them, each read also handed to the record: the
// record takes the settings from the reads the run makes anyway, never from reads of its own.
class RecordedReads {
 public:
  RecordedReads(host::Camera& camera, RunRecord& record) : camera_(camera), record_(record) {}

  double GuiderAngle() { return Noted(GuiderSetting::Angle, camera_.GuiderAngle()); }
  double GuiderDeclination() {
    return Noted(GuiderSetting::Declination, camera_.GuiderDeclination());
  }
  bool GuiderReverseX() {
    const bool reverse = camera_.GuiderReverseX();
    record_.Read(GuiderSetting::ReverseX, reverse ? 1.0 : 0.0);
    return reverse;
  }
  double GuiderAggressiveness() {
    return Noted(GuiderSetting::Aggressiveness, camera_.GuiderAggressiveness());
  }
  double GuiderXSpeed() { return Noted(GuiderSetting::XSpeed, camera_.GuiderXSpeed()); }
  double GuiderYSpeed() { return Noted(GuiderSetting::YSpeed, camera_.GuiderYSpeed()); }
  double GuiderOutputEnables() {
    return Noted(GuiderSetting::OutputEnables, camera_.GuiderOutputEnables());
  }

 private:
  double Noted(GuiderSetting setting, double value) {
    record_.Read(setting, value);
    return value;
  }

  host::Camera& camera_;
  RunRecord& record_;
};

// An element of the host's array when it is there and a number (no failure otherwise).
std::optional<double> ElementIfAny(const host::HostArray& array, std::int32_t index) {
  const std::int64_t slot = static_cast<std::int64_t>(index) - array.lowerBound;
  if (slot < 0 || slot >= static_cast<std::int64_t>(array.elements.size())) return std::nullopt;
  return array.elements[static_cast<std::size_t>(slot)];
}

}  // namespace

GuideRun::GuideRun(host::HostConnection& host, RunEnvironment& environment, StopRequest& stop)
    : host_(host), environment_(environment), stop_(stop) {}

GuideRun::~GuideRun() {
  End();
  environment_.ListenToMessages(nullptr);
}

void GuideRun::Run() {
  StartRecord();
  try {
    if (StartUp()) GuideLoop();
  } catch (const RunFailure& failure) {
    End();
    FinishRecord({record::FailureWord(failure.Kind()), failure.Code(), failure.Description()});
    throw;
  } catch (const std::exception& failure) {
    End();
    FinishRecord({"other", 0, failure.what()});
    throw;
  } catch (...) {
    End();
    FinishRecord({"other", 0, "an unknown failure"});
    throw;
  }
  End();
  FinishRecord({});
}

void GuideRun::FinishRecord(const record::EndDetail& detail) noexcept {
  environment_.ListenToMessages(nullptr);
  record_.End(detail.failure.empty() ? end_ : RunEnd::Failed, detail);
  const std::string notice = record_.Finish();
  // After guiding, so the box holds nothing up; a failure of its own changes nothing.
  try {
    if (!notice.empty()) environment_.ShowMessage(notice);
  } catch (...) {
  }
}

void GuideRun::StartRecord() noexcept {
  record_.Open(CORVANE_VERSION);
  try {
    environment_.ListenToMessages([this](const std::string& text) { record_.Message(text); });
    // A record that cannot be created is told at once, before the run has begun.
    const std::string notice = record_.TakeCreationNotice();
    if (!notice.empty()) environment_.ShowMessage(notice);
  } catch (...) {
  }
}

void GuideRun::Tell(const std::string& text) {
  record_.Message(text);
  environment_.ShowMessage(text);
}

void GuideRun::CameraEvent(std::int16_t code, const std::string& message, bool stops) noexcept {
  record_.CameraEvent(code);
  record_.Message(message);
  if (stops && !guiding_) stopDuringStartUp_ = true;
  if (stops && guiding_ && !stopCause_) stopCause_ = RunEnd::StoppedByCameraEvent;
}

void GuideRun::ReadSensorSize() noexcept {
  // Only the record needs it: a failure here is the record's, never the run's.
  try {
    const double width = camera_->GuiderXSize();
    const double height = camera_->GuiderYSize();
    record_.SensorSize(width, height);
  } catch (const std::exception& failure) {
    record_.Problem("sensor-size", std::string("GuiderXSize, GuiderYSize: ") + failure.what());
  } catch (...) {
    record_.Problem("sensor-size", "GuiderXSize, GuiderYSize: an unknown failure");
  }
}

bool GuideRun::StartUp() {
  application_ = host_.CreateApplication();

  const std::optional<float> firstDuration = environment_.AskInitialExposure();
  if (!firstDuration) {  // cancelled
    end_ = RunEnd::InitialCancelled;
    return false;
  }
  firstDuration_ = *firstDuration;
  record_.InitialExposure(firstDuration_);

  camera_ = host_.CreateCamera();
  camera_->SetLinkEnabled(true);
  if (!camera_->LinkEnabled()) {
    end_ = RunEnd::CameraLinkRefused;
    Tell(kFailedToStartCamera);
    return false;
  }
  camera_->SetDisableAutoShutdown(true);
  application_->SetTelescopeConnected(true);
  if (!application_->TelescopeConnected()) {
    end_ = RunEnd::TelescopeRefused;
    Tell(kFailedToConnectTelescope);
    return false;
  }
  camera_->SetEventMask(kEventMaskStop);

  // The full-frame exposure on which the user picks the guide stars.
  camera_->GuiderExpose(firstDuration_);
  WaitForExposure();
  if (record_.Keeping()) ReadSensorSize();

  const std::optional<GuideSettings> settings = environment_.AskGuideSettings();
  if (!settings) {  // cancelled
    end_ = RunEnd::SetupCancelled;
    return false;
  }
  settings_ = *settings;
  record_.Setup(settings_);
  if (settings_.PredictPeriodicError) predictor_ = std::make_unique<PeriodicErrorPredictor>();

  if (!FindGuiderImage()) {
    end_ = RunEnd::NoGuiderImage;
    return false;
  }
  SelectGuideStars();
  OpenGuideLog();
  // A stop requested before guiding begins (during the dialogs, the first exposure or the
  // star picking) is discarded here.
  record_.GuidingBegins(stopDuringStartUp_ && stop_.Requested());
  stop_.Clear();
  guiding_ = true;
  return true;
}

void GuideRun::GuideLoop() {
  for (;;) {
    if (stop_.Requested()) {
      end_ = stopCause_.value_or(RunEnd::StoppedByCameraEvent);
      CloseGuideLog();
      return;
    }
    if (!camera_->LinkEnabled()) {
      end_ = RunEnd::CameraDisconnected;
      Tell(kCameraDisconnected);
      return;
    }
    record_.ExposureStarts();
    if (predictor_) {
      times_.exposureStartMs = environment_.Milliseconds();
      times_.exposureSeconds = settings_.Duration;
      times_.maxPulseSeconds = std::fabs(settings_.MaxMove);
    }
    camera_->GuiderExpose(settings_.Duration);
    WaitForExposure();
    record_.ExposureEnded();
    if (!FindGuiderImage()) {
      end_ = RunEnd::GuiderImageClosed;
      return;
    }

    MeasureGuideStars();
    if (cycle_.participation == Participation::TooFew) {
      correction_ = Correction{};  // no guide command: Xtim the integer 0, Ytim 0
      if (predictor_) {
        times_.correctionMs = environment_.Milliseconds();
        predictor_->Missed(times_);
        environment_.NotePrediction(predictor_->Status());
      }
    } else {
      ComputeCorrection();
    }
    WriteGuideLogRow();
    IssueMoves();
    UpdateLastPositions();
  }
}

void GuideRun::End() noexcept {
  if (log_) {
    try {
      CloseGuideLog();
    } catch (...) {
      // The run is ending already; the failure that ended it (if any) is the one reported.
    }
  }
  guiderImage_.reset();
  documents_.reset();
  camera_.reset();
  application_.reset();
}

void GuideRun::WaitForExposure() {
  while (camera_->GuiderRunning()) {
    environment_.Sleep100ms();
    environment_.LetHostRun();
  }
}

bool GuideRun::FindGuiderImage() {
  documents_ = application_->Documents();
  const std::int16_t count = ToInt16(ToInt32(documents_->Count()));
  for (std::int16_t index = 1; index <= count; index = Add16(index, 1)) {
    auto document = documents_->Item(index);
    if (document->DisplayName() == kGuiderImageName) {
      guiderImage_ = std::move(document);
      return true;
    }
  }
  return false;
}

void GuideRun::SelectGuideStars() {
  host::Document& image = *guiderImage_;
  float sumX = 0.0f;
  float sumY = 0.0f;
  std::int16_t picked = 0;
  const std::int16_t last = Subtract16(settings_.NumberStars, 1);
  for (std::int16_t slot = 0; slot <= last; slot = Add16(slot, 1)) {
    // Ready wait: a press is taken only after the pointer has been seen up while ready.
    for (;;) {
      const bool ready = ToInt16(image.PointerReady()) != 0;
      const bool down = image.PointerDown();
      if (ready && !down) break;
      environment_.WaitForInput();
      environment_.LetHostRun();
    }
    // Press wait.
    while (!image.PointerDown()) {
      environment_.WaitForInput();
      environment_.LetHostRun();
    }
    const double clickX = image.PointerX();
    const std::int16_t x = ToInt16(clickX);
    const double clickY = image.PointerY();
    const std::int16_t y = ToInt16(clickY);
    const host::HostArray information = image.PointInformation(x, y);

    GuideStar& star = StarSlot(stars_, slot);
    const double centroidX = information.At(host::kCentroidX);
    star.LastX = ToSingle(centroidX);
    const double centroidY = information.At(host::kCentroidY);
    star.LastY = ToSingle(centroidY);
    sumX = ToSingle(Add(sumX, centroidX));
    sumY = ToSingle(Add(sumY, centroidY));
    picked = Add16(picked, 1);
    record_.StarPicked(picked, clickX, clickY, star.LastX, star.LastY,
                       ElementIfAny(information, host::kSignalToNoise));
  }
  refXave_ = DivideSingle(sumX, static_cast<float>(picked));
  refYave_ = DivideSingle(sumY, static_cast<float>(picked));
  for (std::int16_t slot = 0; slot <= last; slot = Add16(slot, 1)) {
    GuideStar& star = StarSlot(stars_, slot);
    star.RefX = star.LastX;
    star.RefY = star.LastY;
  }
}

void GuideRun::OpenGuideLog() {
  log_ = environment_.CreateGuideLog();
  log_->Write(GuideLogHeader(settings_.NumberStars));
  log_->Flush();
}

void GuideRun::MeasureGuideStars() {
  host::Document& image = *guiderImage_;
  cycle_ = MeasureStars(
      stars_, settings_.NumberStars, settings_.MinSN, settings_.MinStars, refXave_, refYave_,
      [&image](std::int16_t x, std::int16_t y) { return image.PointInformation(x, y); });
}

void GuideRun::ComputeCorrection() {
  RecordedReads camera(*camera_, record_);
  if (!predictor_) {
    correction_ = corvane::ComputeCorrection(cycle_.Xoff, cycle_.Yoff, settings_.MinMove,
                                             settings_.MaxMove, camera);
    return;
  }
  // The predicted RA motion until the next exposure, on top of the proportional correction.
  times_.correctionMs = environment_.Milliseconds();
  correction_ = corvane::ComputeCorrection(
      cycle_.Xoff, cycle_.Yoff, settings_.MinMove, settings_.MaxMove, camera,
      [this](const CalibrationInEffect& calibration, double raOffset) {
        const double term = predictor_->Measured(times_, raOffset, calibration);
        // Bounded by the predictor; whatever it says can never fail the run.
        return std::isfinite(term) && std::abs(term) < kMaximumTermPixels ? term : 0.0;
      });
  environment_.NotePrediction(predictor_->Status());
}

void GuideRun::WriteGuideLogRow() {
  GuideLogRow& row = row_;
  row = GuideLogRow{};
  row.Xave = cycle_.Xave;
  row.Yave = cycle_.Yave;
  row.Xoff = cycle_.Xoff;
  row.Yoff = cycle_.Yoff;
  row.Xtim = correction_.Xtim;
  row.Ytim = correction_.Ytim;
  const std::int16_t last = Subtract16(settings_.NumberStars, 1);
  for (std::int16_t slot = 0; slot <= last; slot = Add16(slot, 1)) {
    const GuideStar& star = StarSlot(stars_, slot);
    row.Stars.push_back({star.Xpos, star.Ypos, SubtractSingle(star.Xpos, star.RefX),
                         SubtractSingle(star.Ypos, star.RefY), star.SN});
  }
  // The whole line in one write and one flush: the file only ever holds whole lines.
  log_->Write(GuideLogLine(row));
  log_->Flush();
  record_.Cycle(row, stars_, cycle_.participation);
}

void GuideRun::IssueMoves() {
  using Type = host::HostNumber::Type;
  const host::HostNumber& xtim = correction_.Xtim;
  const float ytim = correction_.Ytim;
  RecordedReads camera(*camera_, record_);
  auto move = [this](std::int16_t direction, const host::HostNumber& seconds) {
    const std::int64_t sent = record_.Clock();
    camera_->GuiderMove(direction, seconds);
    record_.PulseSent(sent, direction, seconds);
    WaitForMove();
    record_.PulseEnded();
  };

  double raSent = 0.0;
  if (Enabled(camera.GuiderOutputEnables(), 1) && xtim.value > 0.0) {
    move(0, {xtim.type, xtim.value, true, true});  // Xtim itself, as it is
    raSent = xtim.value;
  }
  if (Enabled(camera.GuiderOutputEnables(), 2) && xtim.value < 0.0) {
    move(1, {xtim.type, -xtim.value, false});
    raSent = xtim.value;
  }
  if (Enabled(camera.GuiderOutputEnables(), 4) && ytim > 0.0f) {
    move(2, {Type::Single, static_cast<double>(ytim), true});
  }
  if (Enabled(camera.GuiderOutputEnables(), 8) && ytim < 0.0f) {
    move(3, {Type::Single, static_cast<double>(-ytim), false});
  }
  // What the RA axis was moved by, for the reconstruction of its uncorrected motion.
  if (predictor_) predictor_->PulsesSent(raSent);
  // An aggressiveness of 0 in the host ends the run at the next cycle head.
  if (camera.GuiderAggressiveness() == 0.0) {
    if (!stopCause_) stopCause_ = RunEnd::StoppedByAggressiveness;
    stop_.Request();
  }
}

void GuideRun::WaitForMove() {
  while (camera_->GuiderMoving()) {
    environment_.Sleep100ms();
    environment_.LetHostRun();
  }
}

void GuideRun::UpdateLastPositions() {
  FollowStars(stars_, settings_.NumberStars, cycle_);
}

void GuideRun::CloseGuideLog() {
  if (!log_) return;
  auto log = std::move(log_);
  log->Close();
}

}  // namespace corvane
