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

inline guidelog::LogRun OnlyRun(const SimulatedLog& s) {
  return guidelog::ParseLog(s.log).runs.front();
}

}  // namespace corvane::logtools::test
