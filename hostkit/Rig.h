// The core's tests' rig: the fake host (hostkit/FakeHost.h) with the scripted scene, and a scripted
// environment around the run. Every host call, dialog, message, wait and guide-log operation is
// recorded in the host's one timeline as a readable string, e.g. "camera.GuiderMove(0, Double&0.2)"
// or "env.Message(Camera disconnected.)".
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/Dialogs.h"
#include "guiding/RunEnvironment.h"
#include "host/HostObjects.h"
#include "hostkit/FakeHost.h"
#include "hostkit/ScriptedScene.h"
#include "plugin/PlugInCore.h"

namespace corvane::testing {

using hostkit::CallScript;
using hostkit::Centroid;
using hostkit::MakePointInformation;
using hostkit::Reads;
using hostkit::Text;

// The fake host's scene as the core's tests take it when they script nothing: the user clicks at
// (100, 100) on every other read of the pointer, the host finds a star exactly at the point asked
// (SN 50) on a 640 x 480 guider, exposures and pulses are over at the first read, the link and
// the telescope connect, and there is no limit on exposures.
hostkit::HostScript CoreScene();

// One press in a dialog: OK with these texts, or Cancel (also the close box).
struct DialogStep {
  bool ok = true;
  std::vector<std::string> texts;
};
using Showing = std::vector<DialogStep>;

// The window's initial texts, Number1 to Number7 (NumberStars, MinSN, MinStars, Duration,
// MinMove, MaxMove, Border).
inline const std::vector<std::string> kGuideSetupDefaults{"5", "3", "4", "2", "0.01", "2.00", "15"};

class FakeEnvironment final : public RunEnvironment {
 public:
  FakeEnvironment(CallScript& script, ModuleDialogs& dialogs)
      : script_(script), dialogs_(dialogs) {}

  // One list of presses per showing; a showing whose presses run out without an accepted OK
  // ends with the close box. Fallback: OK with "6", and OK with the window's initial texts.
  std::deque<Showing> initialExposureShowings;
  std::deque<Showing> guideSetupShowings;
  std::vector<std::string> messages;  // the run's and the plug-in's message boxes

  // The guide log: its bytes exactly as written, and scripted failures.
  std::string logBytes;
  int logsCreated = 0;
  bool logOpen = false;
  bool failCreateLog = false;
  int failLogWriteAt = -1;  // index of the Write call (0 is the header) that fails
  int logWrites = 0;
  std::int64_t milliseconds = 0;  // what the clock reads; it does not move by itself

  std::optional<float> AskInitialExposure() override;
  std::optional<GuideSettings> AskGuideSettings() override;
  void ShowMessage(const std::string& text) override;
  void LetHostRun() override;
  void Sleep100ms() override;
  void WaitForInput() override;
  std::int64_t Milliseconds() override;
  std::unique_ptr<GuideLogFile> CreateGuideLog() override;

  CallScript& Script() { return script_; }

 private:
  CallScript& script_;
  ModuleDialogs& dialogs_;
  PlainNumberReader reader_;
};

// A plug-in with the fake host and environment around it.
struct Rig {
  hostkit::ScriptedHost host{CoreScene()};
  CallScript& script = host.Calls();
  ModuleDialogs dialogs;
  FakeEnvironment env{script, dialogs};
  PlugInCore plugIn;

  Rig();
  void DoModal() { plugIn.DoModal(host, env); }
  // Sample dialog answered with OK and these settings texts for every showing.
  void Settings(const std::vector<std::string>& texts);
  // The run stops after `cycles` guide cycles: the last aggressiveness read of that cycle is 0.
  void StopAfterCycles(int cycles);
  // Camera event 15 delivered from inside the n-th (0-based) timeline entry equal to `entry`.
  void Event15At(const std::string& entry, int occurrence = 0);
  // The guide log's lines, CR LF removed; a trailing partial line is returned as its own line.
  std::vector<std::string> LogLines() const;
};

}  // namespace corvane::testing
