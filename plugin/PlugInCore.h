// The PlugIn class without COM: its Name, the camera notification and its stop rule, the stop
// flag, and DoModal running one guiding run. The COM class is a thin wrapper around it.
#pragma once

#include <cstdint>
#include <string>

#include "dialogs/Dialogs.h"
#include "guiding/RunEnvironment.h"
#include "host/HostObjects.h"

namespace corvane {

inline constexpr const char* kTitle = "Corvane";
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;
inline constexpr std::int16_t kStopEvent = 15;

class PlugInCore {
 public:
  static std::string Name() { return kTitle; }

  // Shows "EventCode <code> received"; then, for code 15, requests a stop.
  void CCDCamera_Notify(std::int16_t eventCode, RunEnvironment& environment);

  // One guiding run, from the first dialog to its end. Throws RunFailure on a run-time failure,
  // after the guide log has been closed and every host object released.
  void DoModal(host::HostConnection& host, RunEnvironment& environment, ModuleDialogs& dialogs);

  std::int16_t StopRequested() const { return stopRequested_; }
  void SetStopRequested(std::int16_t value) { stopRequested_ = value; }

 private:
  std::int16_t stopRequested_ = kFalse;
};

}  // namespace corvane
