// One guiding run: one call of DoModal, from the first dialog to its end. The run reads top to
// bottom like the run itself: start-up, the guide loop, the end.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "guiding/Correction.h"
#include "guiding/Measurement.h"
#include "guiding/PeriodicErrorPredictor.h"
#include "guiding/RunEnvironment.h"
#include "guiding/RunRecord.h"
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

  // The host's camera event `code` reached the plug-in during the run, which shows `message` and,
  // when `stops`, requests the stop.
  void CameraEvent(std::int16_t code, const std::string& message, bool stops) noexcept;

 private:
  bool StartUp();  // false: the run ended during start-up
  void GuideLoop();
  void End() noexcept;
  // The record's first lines, and its last ones; the user hears of a record that cannot be
  // created, or was not written in full, at the start or at the end, never during guiding.
  void StartRecord() noexcept;
  void FinishRecord(const record::EndDetail& detail) noexcept;
  // A message box of the run, in the record first.
  void Tell(const std::string& text);
  void ReadSensorSize() noexcept;

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
  GuideLogRow row_;

  RunRecord record_{environment_};
  record::RunEnd end_ = record::RunEnd::Failed;  // how the run ended, once it has
  bool guiding_ = false;                         // the guide loop has begun
  bool stopDuringStartUp_ = false;               // camera event 15 came before guiding began
  std::optional<record::RunEnd> stopCause_;      // what requested the stop first, once guiding

  // With "Predict periodic error" ticked: the predictor and when this cycle happened.
  std::unique_ptr<PeriodicErrorPredictor> predictor_;
  CycleTimes times_;
};

}  // namespace corvane
