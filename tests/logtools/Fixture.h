// Guide logs made by the simulated observatory for the tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "guidelog/LogFile.h"
#include "logtools/Analysis.h"
#include "logtools/SimLog.h"

namespace corvane::logtools::test {

// A log of the scenario `change` makes of the default one: 300 cycles, 5 stars, seed 1.
inline SimulatedLog Simulated(const std::function<void(LogScenario&)>& change = {}) {
  LogScenario scenario;
  if (change) change(scenario);
  return SimulateLog(scenario);
}

// 120 cycles, MinStars 4, and a minute of total cloud over every star after 40 cycles.
inline void Clouded(LogScenario& c) {
  c.cycles = 120;
  c.minStars = 4;
  sim::ScriptedEvent cloud;
  cloud.kind = sim::ScriptedEvent::Kind::Cloud;
  cloud.afterCycles = 40;
  cloud.durationSeconds = 60.0;
  cloud.transmission = 0.0;
  cloud.stars = {0, 1, 2, 3, 4};
  c.observatory.events.push_back(cloud);
}

inline guidelog::LogRun OnlyRun(const SimulatedLog& s) {
  return guidelog::ParseLog(s.log).runs.front();
}

}  // namespace corvane::logtools::test
