// What corvane-log prints of stats and advise: text for people, JSON for scripts. The JSON is
// built as values (nlohmann-json), so it is always valid: a figure that is not a finite number is
// null, never a bare nan.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "guidelog/LogFile.h"
#include "logtools/Advise.h"
#include "logtools/Analysis.h"

namespace corvane::logtools {

// Keys in the order they were set.
using Json = nlohmann::ordered_json;

// One line of JSON with ", " and ": " between items (as people read it); the text ends without a
// line break.
std::string JsonLine(const Json& value);

// `value` rounded to `decimals` places (a figure as precise as it is known); null when it is not
// a finite number.
Json Rounded(double value, int decimals);

// A run's figures (`index` counts the file's runs from 1).
std::string StatsText(const guidelog::LogRun& run, int index, const RunFigures& figures,
                      const RunSettings& settings);
Json StatsJson(const guidelog::LogRun& run, int index, const RunFigures& figures);

// The advice for a run, and a run advise leaves alone with the reason.
std::string AdviceText(int index, const Advice& advice, const RunSettings& settings);
Json AdviceJson(int index, const Advice& advice, const RunSettings& settings);
std::string AdviceRefusedText(int index, const std::string& why);
Json AdviceRefusedJson(int index, const std::string& why);

}  // namespace corvane::logtools
