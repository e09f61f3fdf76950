#include "plugin/PlugInCore.h"

#include "guiding/GuideRun.h"

namespace corvane {

void PlugInCore::CCDCamera_Notify(std::int16_t eventCode, RunEnvironment& environment) {
  environment.ShowMessage("EventCode " + std::to_string(eventCode) + " received");
  if (eventCode == kStopEvent) stopRequested_ = kTrue;
}

void PlugInCore::DoModal(host::HostConnection& host, RunEnvironment& environment,
                         ModuleDialogs& dialogs) {
  GuideRun run(host, environment, dialogs, *this);
  run.Run();
}

}  // namespace corvane
