// A Corvane run as a PHD2 guide log, the format the common guide-log viewers read. The Corvane
// log has no clock: each cycle lasts the guide exposure, the download and its pulses; a run read
// from its record has the real times.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "guidelog/LogFile.h"
#include "logtools/Analysis.h"

namespace corvane::logtools {

// How the pulses act on the sensor, as a section's header states it, and where that came from.
struct Phd2Calibration {
  double angleDeg = 0.0;  // guider angle: the offsets' rotation into the mount's axes
  bool reverseX = false;
  double xSpeed = 1.0, ySpeed = 1.0;  // pixels per second of pulse as the pulses act
  std::vector<std::string> notes;     // header lines: the source, an estimate's uncertainty
};

struct Phd2Settings {
  double exposure = 2.0;  // seconds
  double download = 0.0;  // seconds
  double angleDeg = 0.0;  // the calibration of every run without one of its own below
  bool reverseX = false;
  double xSpeed = 1.0, ySpeed = 1.0;
  std::vector<Phd2Calibration> calibrations;  // one per run, when given
  double scale = 1.0;                         // arcsec per pixel
  double minMove = 0.0, maxMove = 0.0;        // seconds
  // Which cycles were guided (the dialog's defaults 3 and 4 when not given).
  std::optional<double> minSN;
  std::optional<int> minStars;
  std::string start = "2000-01-01 00:00:00";  // when the first run began
  std::string version;                        // corvane-log's version
  std::vector<std::string> notes;             // header lines of every section: what was assumed
  // Events of the first run shown as INFO lines: after the frame with this index (0: before the
  // first frame), the text.
  std::vector<std::pair<std::size_t, std::string>> info;
};

// The ErrorCode of a frame that is not a measurement: a cycle lost for want of stars (no guide
// pulse was issued), and a row of the Corvane log no guider writes.
inline constexpr int kPhd2StarLost = 1;
inline constexpr int kPhd2Unreadable = 2;

std::string ExportPhd2(const std::vector<const guidelog::LogRun*>& runs,
                       const Phd2Settings& settings);

// The download time taken when none is given: a guide camera's frame is read in a fraction of a
// second.
inline constexpr double kDefaultDownloadSeconds = 0.3;

// The calibration a run's section states: the host's where the settings give it (GuiderXSpeed at
// the equator, acting at the declination given), else the estimate from how the pulses acted,
// with its standard error in the notes.
Phd2Calibration CalibrationFor(const RunSettings& settings, const MotionFit& fit);

// "YYYY-MM-DD HH:MM:SS" as a real date and time of the Gregorian calendar (years 1900-9999).
bool IsDateTime(const std::string& text);

}  // namespace corvane::logtools
