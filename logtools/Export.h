// A Corvane run as a PHD2 guide log, the format the common guide-log viewers read. The Corvane
// log has no clock: each cycle lasts the guide exposure, the download and its pulses.
#pragma once

#include <string>
#include <vector>

#include "guidelog/LogFile.h"

namespace corvane::logtools {

struct Phd2Settings {
  double exposure = 2.0;  // seconds
  double download = 0.0;  // seconds
  double angleDeg = 0.0;  // guider angle: the offsets' rotation into the mount's axes
  bool reverseX = false;
  double xSpeed = 1.0, ySpeed = 1.0;          // pixels per second of pulse as the pulses act
  double scale = 1.0;                         // arcsec per pixel
  double minMove = 0.0, maxMove = 0.0;        // seconds
  std::string start = "2000-01-01 00:00:00";  // when the first run began
  std::string version;                        // corvane-log's version
};

std::string ExportPhd2(const std::vector<const guidelog::LogRun*>& runs,
                       const Phd2Settings& settings);

}  // namespace corvane::logtools
