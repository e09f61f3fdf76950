// A host scripted in a few lines per test: the user's clicks, the stars the host finds, how the
// stars drift from exposure to exposure, the guider settings of each cycle, how long exposures
// and pulses run, the camera events it sends and the failures it raises. Its objects implement the
// C++ host interfaces; corvane_hostcom serves them to the plug-in as the host's COM objects.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/HostObjects.h"

namespace corvane::hostkit {

struct Point {
  double x = 0.0;
  double y = 0.0;
};

struct Star {
  Point at;
  double signalToNoise = 0.0;
};

// The camera's guider settings for one guide cycle.
struct GuiderSettings {
  double angle = 0.0;
  double declination = 0.0;
  bool reverseX = false;
  double aggressiveness = 10.0;
  double xSpeed = 5.0;
  double ySpeed = 5.0;
  double outputEnables = 15.0;
};

struct HostScript {
  bool linkAccepted = true;       // LinkEnabled reads back true after being set
  bool telescopeAccepted = true;  // TelescopeConnected reads back true after being set
  std::vector<std::string> documentNames = {"Autoguider Image"};

  // The user's clicks on the guider image, in order. None is offered before clickDelay has
  // passed since the first look at the pointer.
  std::vector<Point> clicks;
  std::chrono::milliseconds clickDelay{0};

  // The stars PointInformation finds near the point asked about (within searchRadius pixels of
  // where a star is in that exposure), and the shift of all stars in each exposure (index 0 is
  // the full-frame exposure; the last shift repeats).
  std::vector<Star> stars;
  std::vector<Point> shiftPerExposure = {{}};
  double searchRadius = 20.0;
  std::int32_t pointInformationLowerBound = 0;

  // Settings for guide cycle n (index 0 is the first guide cycle; the last repeats).
  std::vector<GuiderSettings> settingsPerCycle = {{}};

  // GuiderRunning reads true this many times after each GuiderExpose; the full-frame exposure
  // instead runs for fullFrameTime when that is set.
  int runningPolls = 1;
  std::chrono::milliseconds fullFrameTime{0};
  int movingPolls = 1;  // GuiderMoving reads true this many times after each GuiderMove

  // Event 15 sent to the plug-in during the given exposure (0: the full frame), from inside the
  // first GuiderRunning read of that exposure.
  std::optional<int> stopEventDuringExposure;
  // LinkEnabled reads false once this many exposures have been taken.
  std::optional<int> linkDropsAfterExposure;
  // The guider image is no longer open once this many exposures have been taken.
  std::optional<int> imageClosedAfterExposure;
  // Aggressiveness reads 0 from this guide cycle on (index as settingsPerCycle).
  std::optional<int> aggressivenessZeroFromCycle;
  // A run that never stops fails here instead of hanging the test.
  int maxExposures = 50;
};

// What the host saw of the run.
struct HostRecord {
  std::vector<float> exposures;  // GuiderExpose durations
  struct Move {
    std::int16_t direction;
    host::HostNumber seconds;
  };
  std::vector<Move> moves;
  std::int32_t eventMask = 0;
  bool linkEnabled = false;
  bool autoShutdownDisabled = false;
  bool telescopeConnected = false;
  int applicationsCreated = 0;
  int camerasCreated = 0;
  // Processor time (user + kernel) in seconds used during the first click wait and during the
  // longest exposure wait: by the whole process (the user at the screen included) and by the
  // host's thread, on which the plug-in runs. The wall time is the wait's length.
  double clickWaitCpu = 0.0, clickWaitThreadCpu = 0.0, clickWaitWall = 0.0;
  double exposureWaitCpu = 0.0, exposureWaitThreadCpu = 0.0, exposureWaitWall = 0.0;
};

class ScriptedHost {
 public:
  explicit ScriptedHost(HostScript script);

  std::unique_ptr<host::Application> CreateApplication();
  std::unique_ptr<host::Camera> CreateCamera();

  // How the host's notification reaches the plug-in (CCDCamera_Notify through IDispatch).
  void SetNotify(std::function<void(std::int16_t)> notify);

  const HostRecord& Record() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace corvane::hostkit
