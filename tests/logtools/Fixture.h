// Guide logs made by the simulated observatory, made once per test program and shared.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "logtools/Analysis.h"
#include "logtools/LogFile.h"
#include "logtools/SimLog.h"

namespace corvane::logtools::test {

inline const SimulatedLog& Simulated(const std::vector<std::string>& options) {
  static std::map<std::vector<std::string>, SimulatedLog> cache;
  auto found = cache.find(options);
  if (found == cache.end()) found = cache.emplace(options, SimulateLog(options)).first;
  return found->second;
}

// A 300-cycle log with the given extra options (seed 1 unless given).
inline const SimulatedLog& Log300(std::vector<std::string> extra = {}) {
  std::vector<std::string> options = {"--cycles", "300", "--no-unguided", "--min-stars", "1"};
  options.insert(options.end(), extra.begin(), extra.end());
  return Simulated(options);
}

}  // namespace corvane::logtools::test
