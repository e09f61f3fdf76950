// The simulated observatory as the host: hostkit's fake host (hostkit/FakeHost.h) with the
// Observatory behind it, so the telescope, camera, sky and user the host's objects reach are the
// model's. Natively the guiding run calls the host directly; on Windows the same objects are served
// over COM under the host's ProgIDs. Long runs keep no timeline of the calls.
#pragma once

#include <functional>
#include <memory>

#include "hostkit/FakeHost.h"
#include "sim/Observatory.h"

namespace corvane::sim {

class ObservatoryScene;

class SimHost final : public hostkit::FakeHost {
 public:
  explicit SimHost(Observatory& observatory);

  // Called at every read of GuiderRunning and GuiderMoving, after the model has advanced: where
  // the host delivers its notifications to the plug-in.
  void SetPollHook(std::function<void()> hook);

 private:
  explicit SimHost(std::shared_ptr<ObservatoryScene> scene);
  std::shared_ptr<ObservatoryScene> scene_;
};

}  // namespace corvane::sim
