#include "guiding/GuideRun.h"

#include <algorithm>
#include <cmath>
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

}  // namespace

GuideRun::GuideRun(host::HostConnection& host, RunEnvironment& environment, StopRequest& stop)
    : host_(host), environment_(environment), stop_(stop) {}

GuideRun::~GuideRun() {
  End();
}

void GuideRun::Run() {
  try {
    if (StartUp()) GuideLoop();
  } catch (...) {
    End();
    throw;
  }
  End();
}

bool GuideRun::StartUp() {
  application_ = host_.CreateApplication();

  const std::optional<float> firstDuration = environment_.AskInitialExposure();
  if (!firstDuration) return false;  // cancelled
  firstDuration_ = *firstDuration;

  camera_ = host_.CreateCamera();
  camera_->SetLinkEnabled(true);
  if (!camera_->LinkEnabled()) {
    environment_.ShowMessage(kFailedToStartCamera);
    return false;
  }
  camera_->SetDisableAutoShutdown(true);
  application_->SetTelescopeConnected(true);
  if (!application_->TelescopeConnected()) {
    environment_.ShowMessage(kFailedToConnectTelescope);
    return false;
  }
  camera_->SetEventMask(kEventMaskStop);

  // The full-frame exposure on which the user picks the guide stars.
  camera_->GuiderExpose(firstDuration_);
  WaitForExposure();

  const std::optional<GuideSettings> settings = environment_.AskGuideSettings();
  if (!settings) return false;  // cancelled
  settings_ = *settings;
  if (settings_.PredictPeriodicError) predictor_ = std::make_unique<PeriodicErrorPredictor>();

  if (!FindGuiderImage()) return false;
  SelectGuideStars();
  OpenGuideLog();
  // A stop requested before guiding begins (during the dialogs, the first exposure or the
  // star picking) is discarded here.
  stop_.Clear();
  return true;
}

void GuideRun::GuideLoop() {
  for (;;) {
    if (stop_.Requested()) {
      CloseGuideLog();
      return;
    }
    if (!camera_->LinkEnabled()) {
      environment_.ShowMessage(kCameraDisconnected);
      return;
    }
    if (predictor_) {
      times_.exposureStartMs = environment_.Milliseconds();
      times_.exposureSeconds = settings_.Duration;
      times_.maxPulseSeconds = std::fabs(settings_.MaxMove);
    }
    camera_->GuiderExpose(settings_.Duration);
    WaitForExposure();
    if (!FindGuiderImage()) return;

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
    const std::int16_t x = ToInt16(image.PointerX());
    const std::int16_t y = ToInt16(image.PointerY());
    const host::HostArray information = image.PointInformation(x, y);

    GuideStar& star = StarSlot(stars_, slot);
    const double centroidX = information.At(host::kCentroidX);
    star.LastX = ToSingle(centroidX);
    const double centroidY = information.At(host::kCentroidY);
    star.LastY = ToSingle(centroidY);
    sumX = ToSingle(Add(sumX, centroidX));
    sumY = ToSingle(Add(sumY, centroidY));
    picked = Add16(picked, 1);
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
  if (!predictor_) {
    correction_ = corvane::ComputeCorrection(cycle_.Xoff, cycle_.Yoff, settings_.MinMove,
                                             settings_.MaxMove, *camera_);
    return;
  }
  // The predicted RA motion until the next exposure, on top of the proportional correction.
  times_.correctionMs = environment_.Milliseconds();
  correction_ = corvane::ComputeCorrection(
      cycle_.Xoff, cycle_.Yoff, settings_.MinMove, settings_.MaxMove, *camera_,
      [this](const CalibrationInEffect& calibration, double raOffset) {
        const double term = predictor_->Measured(times_, raOffset, calibration);
        // Bounded by the predictor; whatever it says can never fail the run.
        return std::isfinite(term) && std::abs(term) < kMaximumTermPixels ? term : 0.0;
      });
  environment_.NotePrediction(predictor_->Status());
}

void GuideRun::WriteGuideLogRow() {
  GuideLogRow row;
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
}

void GuideRun::IssueMoves() {
  using Type = host::HostNumber::Type;
  const host::HostNumber& xtim = correction_.Xtim;
  const float ytim = correction_.Ytim;

  double raSent = 0.0;
  if (Enabled(camera_->GuiderOutputEnables(), 1) && xtim.value > 0.0) {
    camera_->GuiderMove(0, {xtim.type, xtim.value, true, true});  // Xtim itself, as it is
    raSent = xtim.value;
    WaitForMove();
  }
  if (Enabled(camera_->GuiderOutputEnables(), 2) && xtim.value < 0.0) {
    camera_->GuiderMove(1, {xtim.type, -xtim.value, false});
    raSent = xtim.value;
    WaitForMove();
  }
  if (Enabled(camera_->GuiderOutputEnables(), 4) && ytim > 0.0f) {
    camera_->GuiderMove(2, {Type::Single, static_cast<double>(ytim), true});
    WaitForMove();
  }
  if (Enabled(camera_->GuiderOutputEnables(), 8) && ytim < 0.0f) {
    camera_->GuiderMove(3, {Type::Single, static_cast<double>(-ytim), false});
    WaitForMove();
  }
  // What the RA axis was moved by, for the reconstruction of its uncorrected motion.
  if (predictor_) predictor_->PulsesSent(raSent);
  // An aggressiveness of 0 in the host ends the run at the next cycle head.
  if (camera_->GuiderAggressiveness() == 0.0) stop_.Request();
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
