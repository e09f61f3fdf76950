// One guiding run: one call of DoModal, from the first dialog to its end. The run reads top to
// bottom like the run itself: start-up, the guide loop, the end.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "dialogs/Dialogs.h"
#include "guiding/Correction.h"
#include "guiding/RunEnvironment.h"
#include "host/HostObjects.h"

namespace corvane {

class PlugInCore;

// One slot of the guide-star table (pixels of the guider image).
struct GuideStar {
  float RefX = 0.0f, RefY = 0.0f;    // where the star was picked; fixed for the run
  float LastX = 0.0f, LastY = 0.0f;  // where it is measured next
  float Xpos = 0.0f, Ypos = 0.0f;    // where it was found in this cycle
  float SN = 0.0f;                   // its signal-to-noise value in this cycle
  bool TookPart = false;             // SN at least MinSN in this cycle
};

inline constexpr std::int16_t kStarSlots = 10;
inline constexpr const char* kGuiderImageName = "Autoguider Image";

// How many stars passed the MinSN test in a cycle.
enum class Participation {
  All,     // every star: the cycle uses the means of all stars
  Enough,  // at least min(MinStars, NumberStars): the means of those stars' own offsets
  TooFew,  // fewer: no guide command this cycle
};

class GuideRun {
 public:
  GuideRun(host::HostConnection& host, RunEnvironment& environment, ModuleDialogs& dialogs,
           PlugInCore& plugIn);
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

  GuideStar& Star(std::int16_t slot);

  host::HostConnection& host_;
  RunEnvironment& environment_;
  ModuleDialogs& dialogs_;
  PlugInCore& plugIn_;

  // Host objects, released on every end in the order guider image, documents, camera,
  // application.
  std::unique_ptr<host::Application> application_;
  std::unique_ptr<host::Camera> camera_;
  std::unique_ptr<host::DocumentCollection> documents_;
  std::unique_ptr<host::Document> guiderImage_;

  float firstDuration_ = 0.0f;
  GuideSettings settings_;

  std::array<GuideStar, kStarSlots> stars_{};
  float refXave_ = 0.0f;
  float refYave_ = 0.0f;

  std::unique_ptr<GuideLogFile> log_;

  // The current cycle.
  float xave_ = 0.0f;
  float yave_ = 0.0f;
  float xoff_ = 0.0f;
  float yoff_ = 0.0f;
  Participation participation_ = Participation::All;
  Correction correction_;
};

}  // namespace corvane
