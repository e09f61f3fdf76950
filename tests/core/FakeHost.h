// A scripted stand-in for the host and the run's surroundings. Every host call, dialog, message,
// wait and guide-log operation is recorded in one timeline as a readable string, e.g.
// "camera.GuiderMove(0, Double&0.2)" or "env.Message(Camera disconnected.)". Values the host
// returns come from per-property queues (one entry per read) with a fallback once a queue is
// empty. A test can make any host call fail, and can react to any timeline entry (for instance
// by delivering camera event 15 from inside the call, as the host does).
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
#include "plugin/PlugInCore.h"

namespace corvane::testing {

// Values for successive reads of one host property: the queue first, then the fallback.
template <typename T>
struct Reads {
  std::deque<T> queue;
  T fallback{};

  T Next() {
    if (queue.empty()) return fallback;
    T value = queue.front();
    queue.pop_front();
    return value;
  }
  void Set(T value) {
    queue.clear();
    fallback = value;
  }
};

struct Centroid {
  double x = 0.0;
  double y = 0.0;
  double sn = 50.0;
};

// PointInformation's result with the centroid at 6 and 7 and the signal-to-noise at 12.
host::HostArray MakePointInformation(const Centroid& centroid, std::int32_t lowerBound = 0);

// Number text as the timeline shows it (C locale printf).
std::string Text(const host::HostNumber& number);

struct HostScript {
  // --- recording
  std::vector<std::string> timeline;
  std::vector<std::string> releases;  // host objects in the order they were released
  int created = 0;                    // host objects made so far
  std::function<void(const std::string&)> onEntry;
  int failAtHostCall = -1;  // index among the host calls (0-based) that raises the host's error
  int hostCalls = 0;
  std::string failureText = "The host refused";
  std::int32_t failureCode = static_cast<std::int32_t>(0x80040200u);

  // --- application
  Reads<bool> telescopeConnected{{}, true};
  // The open documents' names, one list per read of Documents.
  Reads<std::vector<std::string>> documents{{}, {"Autoguider Image"}};

  // --- camera
  Reads<bool> linkEnabled{{}, true};
  Reads<bool> guiderRunning{{}, false};
  Reads<double> guiderAngle{{}, 0.0};
  Reads<double> guiderDeclination{{}, 0.0};
  Reads<bool> guiderReverseX{{}, false};
  Reads<double> guiderAggressiveness{{}, 10.0};
  Reads<double> guiderXSpeed{{}, 5.0};
  Reads<double> guiderYSpeed{{}, 5.0};
  Reads<double> guiderOutputEnables{{}, 15.0};
  Reads<bool> guiderMoving{{}, false};

  // --- the documents (all share these)
  Reads<double> pointerReady{{}, 1.0};
  // PointerDown reads; once empty it alternates up, down, up, ... so each pick gets one click.
  std::deque<bool> pointerDown;
  bool pointerDownFallback = true;
  std::deque<std::pair<double, double>> clicks;  // PointerX, PointerY per pick; then (100, 100)
  std::deque<host::HostArray> arrays;            // raw PointInformation results, used first
  std::deque<Centroid> centroids;  // then centroids; then the star exactly at the point asked

  // Records a timeline entry. A host call may be the one scripted to fail: it is recorded, then
  // raises the host's error. Then onEntry sees the entry.
  void Record(const std::string& entry, bool hostCall);

  // The host calls only (no env., log. or dialog entries).
  std::vector<std::string> HostCalls() const;
  // Entries starting with prefix.
  std::vector<std::string> Entries(const std::string& prefix) const;
  std::size_t Count(const std::string& entry) const;
};

class FakeHost final : public host::HostConnection {
 public:
  explicit FakeHost(HostScript& script) : script_(script) {}
  std::unique_ptr<host::Application> CreateApplication() override;
  std::unique_ptr<host::Camera> CreateCamera() override;

 private:
  HostScript& script_;
};

// One press in a dialog: OK with these texts, or Cancel (also the close box).
struct DialogStep {
  bool ok = true;
  std::vector<std::string> texts;
};
using Showing = std::vector<DialogStep>;

// The window's initial texts, Number1 to Number7 (NumberStars, MinSN, MinStars, Duration,
// MinMove, MaxMove, Border).
inline const std::vector<std::string> kSampleDefaults{"5", "3", "4", "2", "0.01", "2.00", "15"};

class FakeEnvironment final : public RunEnvironment {
 public:
  FakeEnvironment(HostScript& script, ModuleDialogs& dialogs)
      : script_(script), dialogs_(dialogs) {}

  // One list of presses per showing; a showing whose presses run out without an accepted OK
  // ends with the close box. Fallback: OK with "6", and OK with the window's initial texts.
  std::deque<Showing> initialShowings;
  std::deque<Showing> sampleShowings;
  std::vector<std::string> messages;  // the run's and the plug-in's message boxes

  // The guide log: its bytes exactly as written, and scripted failures.
  std::string logBytes;
  int logsCreated = 0;
  bool logOpen = false;
  bool failCreateLog = false;
  int failLogWriteAt = -1;  // index of the Write call (0 is the header) that fails
  int logWrites = 0;

  std::optional<float> AskInitialExposure() override;
  std::optional<GuideSettings> AskGuideSettings() override;
  void ShowMessage(const std::string& text) override;
  void LetHostRun() override;
  void Sleep100ms() override;
  void WaitForInput() override;
  std::unique_ptr<GuideLogFile> CreateGuideLog() override;

  HostScript& Script() { return script_; }

 private:
  HostScript& script_;
  ModuleDialogs& dialogs_;
  PlainNumberReader reader_;
};

// A plug-in with the fake host and environment around it.
struct Rig {
  HostScript script;
  FakeHost host{script};
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
