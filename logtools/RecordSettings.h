// What a run's record tells corvane-log that a guide log does not: the settings the run used. The
// flags the user gives only override them.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "guidelog/Record.h"
#include "logtools/Analysis.h"

namespace corvane::logtools {

// The run's settings as its record holds them: the guide exposure, the move limits, MinSN and
// MinStars from the setup dialog; the host's guider angle, reverse X, speeds, declination and
// aggressiveness as the cycles read them (where one changed during the run, the value of most
// cycles); the time a frame takes besides its exposure from the measured cycles. Each setting
// given in `flags` replaces the recorded one (the download only when `downloadGiven`). The pixel
// scale is not in a record: only the flag gives it. `notes` say what the record held and what
// changed during the run.
RunSettings SettingsFromRecord(const guidelog::Record& record, const RunSettings& flags,
                               bool downloadGiven, std::vector<std::string>& notes);

// The record's events as a PHD2 export's INFO lines, by the number of frames before each: each
// change of the host's settings before the cycle that read it, each message after the frames
// before it, and how the run ended after the last frame.
std::vector<std::pair<std::size_t, std::string>> RecordInfo(const guidelog::Record& record);

// The seconds each frame takes besides its exposure, from the record's cycles (their median);
// nothing without cycles or setup.
std::optional<double> MeasuredDownload(const guidelog::Record& record);

}  // namespace corvane::logtools
