// The PlugIn class without COM: its Name, the camera notification and its stop rule, the stop
// flag, and DoModal running one guiding run. The COM class is a thin wrapper around it.
#pragma once

#include <cstdint>
#include <string>

#include "guiding/RunEnvironment.h"
#include "guiding/StopRequest.h"
#include "host/HostObjects.h"

namespace corvane {

class GuideRun;

inline constexpr const char* kTitle = "Corvane";
inline constexpr std::int16_t kStopEvent = 15;

class PlugInCore {
 public:
  static std::string Name() { return kTitle; }

  // Shows "EventCode <code> received"; then, for code 15, requests a stop. During a run the
  // event and the message are in the run's record.
  void CCDCamera_Notify(std::int16_t eventCode, RunEnvironment& environment);

  // One guiding run, from the first dialog to its end. Throws RunFailure on a run-time failure,
  // after the guide log has been closed and every host object released.
  // The environment asks the module's dialogs.
  void DoModal(host::HostConnection& host, RunEnvironment& environment);

  bool StopRequested() const { return stop_.Requested(); }
  StopRequest& Stop() { return stop_; }

 private:
  StopRequest stop_;
  GuideRun* run_ = nullptr;  // the run under way, inside DoModal
};

}  // namespace corvane
