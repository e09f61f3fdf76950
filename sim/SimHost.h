// The simulated observatory as the host's automation objects (host/HostObjects.h): the
// application, the camera, the document collection and the guider image document, all reading
// and driving one Observatory. Natively the guiding run calls them directly; on Windows the same
// objects are served over COM under the host's ProgIDs.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/HostObjects.h"
#include "sim/Observatory.h"

namespace corvane::sim {

// What the host objects saw, for reports and tests.
struct HostRecord {
  int applicationsCreated = 0;
  int camerasCreated = 0;
  int objectsAlive = 0;  // host objects not yet released
  int exposures = 0;
  std::vector<host::HostNumber> moveDurations;  // the form of every GuiderMove duration
  std::vector<int> moveDirections;
};

class SimHost final : public host::HostConnection {
 public:
  explicit SimHost(Observatory& observatory) : observatory_(observatory) {}

  std::unique_ptr<host::Application> CreateApplication() override;
  std::unique_ptr<host::Camera> CreateCamera() override;
  // A document of the host by its name (the Doc a host hands to DoModal, for instance).
  std::unique_ptr<host::Document> OpenDocument(const std::string& name);

  Observatory& Model() { return observatory_; }
  HostRecord& Record() { return record_; }

  // Called at every read of GuiderRunning and GuiderMoving, after the model has advanced: where
  // the host delivers its notifications to the plug-in.
  void SetPollHook(std::function<void()> hook) { pollHook_ = std::move(hook); }
  void RunPollHook() {
    if (pollHook_) pollHook_();
  }

 private:
  Observatory& observatory_;
  HostRecord record_;
  std::function<void()> pollHook_;
};

}  // namespace corvane::sim
