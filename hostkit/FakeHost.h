// The one stand-in for the host's automation objects (host/HostObjects.h), portable, used by the
// core's tests, the fuzz target, the Wine tests (served over COM) and the simulated observatory.
// Two layers:
// - at the boundary, what a test scripts call by call (CallScript): every host call is recorded
//   in one timeline as a readable string, e.g. "camera.GuiderMove(0, Double&0.2)"; any host call
//   can be made to fail; a hook sees every entry (a test delivers camera event 15 from inside a
//   call, as the host does); per-property read queues answer first;
// - behind it, what the sky, the camera and the user do (Scene): the scripted scene
//   (hostkit/ScriptedScene.h) or the simulated observatory (sim/SimHost.h).
// The host also keeps what it was asked to do (HostRecord) and counts its objects.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/HostObjects.h"
#include "hostkit/GuiderSettings.h"

namespace corvane::hostkit {

// Values for successive reads of one host property: the queue first, then the fallback once one
// is set, else the scene's answer.
template <typename T>
struct Reads {
  std::deque<T> queue;
  std::optional<T> fallback;

  template <typename Scene>
  T Next(Scene&& scene) {
    if (queue.empty()) return fallback ? *fallback : scene();
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

// What the host calls reach behind the boundary: the telescope and camera, the sky the camera
// sees, the user at the guider image.
class Scene {
 public:
  virtual ~Scene() = default;

  // A run begins: a new application object was made.
  virtual void StartRun() {}

  virtual void SetTelescopeConnected(bool value) = 0;
  virtual bool TelescopeConnected() = 0;
  // The open documents' names, taken when the run asks for the collection.
  virtual std::vector<std::string> OpenDocuments() = 0;

  // Called before every pointer and PointInformation call on a document of this name: may raise
  // the host's error (a document that has been closed).
  virtual void CheckDocument(const std::string& name) { (void)name; }
  virtual double PointerReady() = 0;
  virtual bool PointerDown() = 0;
  virtual double PointerX() = 0;
  virtual double PointerY() = 0;
  virtual host::HostArray PointInformation(std::int16_t x, std::int16_t y) = 0;

  virtual void SetLinkEnabled(bool value) = 0;
  virtual bool LinkEnabled() = 0;
  virtual void StartExposure(float seconds) = 0;
  virtual bool ExposureRunning() = 0;
  virtual double GuiderXSize() = 0;
  virtual double GuiderYSize() = 0;
  virtual GuiderSettings Settings() = 0;
  virtual void StartMove(std::int16_t direction, const host::HostNumber& seconds) = 0;
  virtual bool MoveRunning() = 0;
};

// What a test scripts at the boundary: the record of every call and the answers that come
// before the scene's.
struct CallScript {
  // --- recording
  std::vector<std::string> timeline;
  bool keepTimeline = true;           // off for long simulated runs: only the calls are counted
  std::vector<std::string> releases;  // host objects in the order they were released
  int created = 0;                    // host objects made so far
  std::function<void(const std::string&)> onEntry;
  int failAtHostCall = -1;  // index among the host calls (0-based) that raises the host's error
  int hostCalls = 0;
  std::string failureText = "The host refused";
  std::int32_t failureCode = static_cast<std::int32_t>(0x80040200u);

  // --- answers before the scene's
  Reads<bool> telescopeConnected;
  Reads<std::vector<std::string>> documents;  // the open documents' names, one list per read
  Reads<bool> linkEnabled;
  Reads<bool> guiderRunning;
  Reads<double> guiderAngle;
  Reads<double> guiderDeclination;
  Reads<bool> guiderReverseX;
  Reads<double> guiderAggressiveness;
  Reads<double> guiderXSpeed;
  Reads<double> guiderYSpeed;
  Reads<double> guiderOutputEnables;
  Reads<bool> guiderMoving;
  // The documents (all share these).
  Reads<double> pointerReady;
  std::deque<bool> pointerDown;
  std::deque<std::pair<double, double>> clicks;  // PointerX, PointerY per pick (Y takes it)
  std::deque<host::HostArray> arrays;            // raw PointInformation results, used first
  std::deque<Centroid> centroids;                // then centroids

  // Records a timeline entry. A host call may be the one scripted to fail: it is recorded, then
  // raises the host's error. Then onEntry sees the entry.
  void Record(const std::string& entry, bool hostCall);

  // The host calls only (no env., log. or dialog entries).
  std::vector<std::string> HostCalls() const;
  // Entries starting with prefix.
  std::vector<std::string> Entries(const std::string& prefix) const;
  std::size_t Count(const std::string& entry) const;
};

// Processor time (user + kernel) in seconds of the whole process and of the calling thread.
struct CpuTime {
  double process = 0.0;
  double thread = 0.0;
  CpuTime operator-(const CpuTime& earlier) const {
    return {process - earlier.process, thread - earlier.thread};
  }
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
  bool autoShutdownDisabled = false;
  int applicationsCreated = 0;
  int camerasCreated = 0;
  int objectsAlive = 0;  // host objects not yet released
  // Processor time used during the first click wait and during the longest exposure wait: by the
  // whole process (the user at the screen included) and by the host's thread, on which the
  // plug-in runs; the wall time is the wait's length (the scripted scene, with a processor clock).
  double clickWaitCpu = 0.0, clickWaitThreadCpu = 0.0, clickWaitWall = 0.0;
  double exposureWaitCpu = 0.0, exposureWaitThreadCpu = 0.0, exposureWaitWall = 0.0;
};

class FakeHost : public host::HostConnection {
 public:
  explicit FakeHost(std::shared_ptr<Scene> scene);

  std::unique_ptr<host::Application> CreateApplication() override;
  std::unique_ptr<host::Camera> CreateCamera() override;
  // A document of the host by its name (the Doc a host hands to DoModal, for instance).
  std::unique_ptr<host::Document> OpenDocument(const std::string& name);

  CallScript& Calls();
  const CallScript& Calls() const;
  const HostRecord& Record() const;
  HostRecord& Record();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace corvane::hostkit
