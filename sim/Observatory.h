// The simulated observatory: a guide camera on a mount under a sky, in virtual time. It stands in
// for the host, the camera and the mount so that Corvane can be run, shown and measured anywhere.
// It keeps the time and the exposure in progress and composes the parts, each of which can be
// used alone: the mount, the sky and camera, the scripted events, the scripted user and the truth.
// Its settings, frames and signs are described in sim/ObservatorySettings.h.
#pragma once

#include <vector>

#include "sim/Events.h"
#include "sim/Mount.h"
#include "sim/ObservatorySettings.h"
#include "sim/ScriptedUser.h"
#include "sim/SkyCamera.h"
#include "sim/Truth.h"

namespace corvane::sim {

class Observatory {
 public:
  explicit Observatory(ObservatorySettings settings);

  const ObservatorySettings& Settings() const { return settings_; }
  const std::vector<FieldStar>& Field() const { return camera_.Field(); }

  // Time.
  double Now() const { return now_; }
  void Advance(double seconds);
  void Poll() { Advance(settings_.secondsPerPoll); }

  // The camera.
  bool LinkEnabled() const { return linkEnabled_ && !events_.LinkDropped(); }
  void SetLinkEnabled(bool value) { linkEnabled_ = value; }
  bool TelescopeConnected() const { return telescopeConnected_; }
  void SetTelescopeConnected(bool value) { telescopeConnected_ = value; }
  void StartExposure(double seconds);
  bool ExposureRunning() const { return exposing_; }
  int ExposuresTaken() const { return exposuresStarted_; }
  const GuiderCalibration& Calibration() const { return calibration_; }
  void StartPulse(int direction, double seconds);
  bool PulseRunning() const { return mount_.PulseEnd() > now_; }

  // The guider image window and what the host measures on its last frame: open from the first
  // frame on until the user closes it.
  bool GuiderImageOpen() const {
    return camera_.FramesFinished() > 0 && !events_.ImageClosedByUser();
  }
  using PointInfo = SkyCamera::PointInfo;
  PointInfo PointInformation(int x, int y) { return camera_.PointInformation(x, y); }
  const std::vector<StarImage>& LastFrame() const { return camera_.LastFrame(); }
  int FramesFinished() const { return camera_.FramesFinished(); }
  // The points PointInformation was asked about on the frame before the last one: where the
  // plug-in measures its guide stars.
  const std::vector<Vec2>& MeasuredPoints() const { return camera_.MeasuredPoints(); }
  // The last frame as an image, electrons per pixel, row by row (GuiderXSize x GuiderYSize).
  std::vector<float> FrameImage() const { return camera_.FrameImage(); }

  // The pointer on the guider image, driven by the scripted user.
  bool PointerDown();
  Vec2 PointerPosition() const { return user_.Pointer(); }
  // A person's pointer on the guider image window (when the user is not scripted).
  void SetManualPointer(bool down, Vec2 position) { user_.SetManualPointer(down, position); }

  // Event 15 from the camera, waiting to be delivered to the plug-in.
  bool TakeStopNotification() { return events_.TakeStop(); }

  // The truth.
  Vec2 TrueErrorNow() const;  // arcsec on the sky (RA, Dec) from the selection frame
  const std::vector<CycleTruth>& Cycles() const { return truth_.Cycles(); }
  ErrorSummary GuidedSummary() const { return truth_.Summary(); }
  ErrorSummary WindowSummary() const { return truth_.WindowSummary(); }
  int PulsesIssued() const { return mount_.PulsesIssued(); }

  // The mount's on-sky shift of the stars (arcsec) for a given error, and its picture on the
  // sensor (pixels); public for the tests of the geometry.
  Vec2 SensorShift(Vec2 skyShiftArcsec) const { return camera_.SensorShift(skyShiftArcsec); }

 private:
  void Step(double dt);
  void FinishExposure();
  void ApplyTimedEvents();

  ObservatorySettings settings_;
  GuiderCalibration calibration_;
  Mount mount_;
  SkyCamera camera_;
  Events events_;
  ScriptedUser user_;
  Truth truth_;

  double now_ = 0.0;
  bool linkEnabled_ = false;
  bool telescopeConnected_ = false;

  // The exposure in progress.
  bool exposing_ = false;
  double exposureStart_ = 0.0;
  double exposureEnd_ = 0.0;
  double exposureSeconds_ = 0.0;
  Vec2 errorSum_;  // time integral of the sky error over the exposure
  int exposuresStarted_ = 0;
};

}  // namespace corvane::sim
