// A scene scripted in a few lines per test: the user's clicks, the stars the host finds, how the
// stars drift from exposure to exposure, the guider settings of each cycle, how long exposures
// and pulses run, the camera events it sends and the failures it raises. ScriptedHost is the fake
// host with this scene behind it: called directly by the core's tests, served to the real plug-in
// over COM (corvane_hostcom) by the Wine tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostkit/FakeHost.h"

namespace corvane::hostkit {

struct Point {
  double x = 0.0;
  double y = 0.0;
};

struct Star {
  Point at;
  double signalToNoise = 0.0;
};

struct HostScript {
  bool linkAccepted = true;       // LinkEnabled reads back true after being set
  bool telescopeAccepted = true;  // TelescopeConnected reads back true after being set
  std::vector<std::string> documentNames = {"Autoguider Image"};
  double guiderXSize = 752;
  double guiderYSize = 582;

  // The user's clicks on the guider image, in order. None is offered before clickDelay has
  // passed since the first look at the pointer; a press is taken once (it reads true only after a
  // read that gave false).
  std::vector<Point> clicks;
  std::chrono::milliseconds clickDelay{0};
  // After the clicks: a user who presses here on every other read of the pointer, for ever
  // (without one, a run that waits for a click no one makes fails after 20 s).
  std::optional<Point> repeatClick;

  // The stars PointInformation finds near the point asked about (within searchRadius pixels of
  // where a star is in that exposure), and the shift of all stars in each exposure (index 0 is
  // the full-frame exposure; the last shift repeats). With no star near, the centroid is the point
  // asked with this signal-to-noise value (0: nothing there).
  std::vector<Star> stars;
  std::vector<Point> shiftPerExposure = {{}};
  double searchRadius = 20.0;
  double signalToNoiseWhereNoStar = 0.0;
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
  // A run that never stops fails here instead of hanging the test (over all runs of the host).
  std::optional<int> maxExposures = 50;

  // Where the processor time of the waits' figures comes from (hostkit::ProcessorTime on
  // Windows); without one they stay 0.
  std::function<CpuTime()> processorTime;
};

class ScriptedScene;

// The fake host with a scripted scene behind it.
class ScriptedHost final : public FakeHost {
 public:
  explicit ScriptedHost(HostScript script);

  HostScript& Script();
  // How the host's notification reaches the plug-in (CCDCamera_Notify through IDispatch).
  void SetNotify(std::function<void(std::int16_t)> notify);

 private:
  explicit ScriptedHost(std::shared_ptr<ScriptedScene> scene);
  std::shared_ptr<ScriptedScene> scene_;
};

}  // namespace corvane::hostkit
