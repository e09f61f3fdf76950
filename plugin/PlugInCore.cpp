#include "plugin/PlugInCore.h"

#include <utility>

#include "guiding/GuideRun.h"

namespace corvane {

void PlugInCore::CCDCamera_Notify(std::int16_t eventCode, RunEnvironment& environment) {
  const std::string message = "EventCode " + std::to_string(eventCode) + " received";
  if (run_) run_->CameraEvent(eventCode, message, eventCode == kStopEvent);
  environment.ShowMessage(message);
  if (eventCode == kStopEvent) stop_.Request();
}

void PlugInCore::DoModal(host::HostConnection& host, RunEnvironment& environment) {
  GuideRun run(host, environment, stop_);
  // The run under way while DoModal lasts (also when the run fails).
  struct UnderWay {
    GuideRun*& slot;
    GuideRun* before;
    ~UnderWay() { slot = before; }
  } underWay{run_, std::exchange(run_, &run)};
  run.Run();
}

}  // namespace corvane
