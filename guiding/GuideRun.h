// One guiding run: one call of DoModal, from the first dialog to its end. The run reads top to
// bottom like the run itself: start-up, the guide loop, the end.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "guiding/Correction.h"
#include "guiding/Measurement.h"
#include "guiding/PeriodicErrorPredictor.h"
#include "guiding/RunEnvironment.h"
#include "guiding/StopRequest.h"
#include "host/HostObjects.h"

namespace corvane {

inline constexpr const char* kGuiderImageName = "Autoguider Image";

class GuideRun {
 public:
  GuideRun(host::HostConnection& host, RunEnvironment& environment, StopRequest& stop);
  GuideRun(const GuideRun&) = delete;
  GuideRun& operator=(const GuideRun&) = delete;
  ~GuideRun();

  // The whole run. On a run-time failure the log is closed and every host object released
  // before the RunFailure propagates.
  void Run();

 private:
  bool StartUp();  // false: the run ended during start-up
  void GuideLoop();
  void End() noexcept;

  void WaitForExposure();
  bool FindGuiderImage();
  void SelectGuideStars();
  void OpenGuideLog();
  void MeasureGuideStars();
  void ComputeCorrection();
  void WriteGuideLogRow();
  void IssueMoves();
  void WaitForMove();
  void UpdateLastPositions();
  void CloseGuideLog();

  host::HostConnection& host_;
  RunEnvironment& environment_;
  StopRequest& stop_;

  // Host objects, released on every end in the order guider image, documents, camera,
  // application.
  std::unique_ptr<host::Application> application_;
  std::unique_ptr<host::Camera> camera_;
  std::unique_ptr<host::DocumentCollection> documents_;
  std::unique_ptr<host::Document> guiderImage_;

  float firstDuration_ = 0.0f;
  GuideSettings settings_;

  StarTable stars_{};
  float refXave_ = 0.0f;
  float refYave_ = 0.0f;

  std::unique_ptr<GuideLogFile> log_;

  // The current cycle.
  CycleMeasurement cycle_;
  Correction correction_;

  // With "Predict periodic error" ticked: the predictor and when this cycle happened.
  std::unique_ptr<PeriodicErrorPredictor> predictor_;
  CycleTimes times_;
};

}  // namespace corvane
