#include "plugin/PlugInCore.h"

#include "guiding/GuideRun.h"

namespace corvane {

void PlugInCore::CCDCamera_Notify(std::int16_t eventCode, RunEnvironment& environment) {
  environment.ShowMessage("EventCode " + std::to_string(eventCode) + " received");
  if (eventCode == kStopEvent) stop_.Request();
}

void PlugInCore::DoModal(host::HostConnection& host, RunEnvironment& environment) {
  GuideRun run(host, environment, stop_);
  run.Run();
}

}  // namespace corvane
