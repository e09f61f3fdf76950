#include "logtools/RecordSettings.h"

#include <algorithm>
#include <map>

namespace corvane::logtools {

std::optional<double> MeasuredDownload(const guidelog::Record& record) {
  if (!record.setup || record.cycles.empty()) return std::nullopt;
  std::vector<double> frames;
  for (const guidelog::RecordCycle& cycle : record.cycles) {
    frames.push_back(static_cast<double>(cycle.exposureEndMs - cycle.exposureStartMs) / 1000.0);
  }
  const auto middle = frames.begin() + static_cast<std::ptrdiff_t>(frames.size() / 2);
  std::nth_element(frames.begin(), middle, frames.end());
  return std::max(0.0, *middle - record.setup->duration);
}

RunSettings SettingsFromRecord(const guidelog::Record& record, const RunSettings& flags,
                               bool downloadGiven, std::vector<std::string>& notes) {
  RunSettings s;
  if (const auto& setup = record.setup) {
    s.exposure = setup->duration;
    s.minMove = setup->minMove;
    s.maxMove = setup->maxMove;
    s.minSN = setup->minSN;
    s.minStars = setup->minStars;
    if (const auto it = setup->more.find("PredictPeriodicError"); it != setup->more.end()) {
      s.predictPeriodicError = it->second == "1";
    }
  }
  const guidelog::GuiderReads host = guidelog::PrevailingSettings(record);
  auto take = [&host](const char* name, std::optional<double>& target) {
    if (const auto it = host.find(name); it != host.end()) target = it->second;
  };
  take("GuiderAngle", s.angleDeg);
  take("GuiderDeclination", s.declinationDeg);
  take("GuiderAggressiveness", s.aggressiveness);
  take("GuiderXSpeed", s.xSpeed);
  take("GuiderYSpeed", s.ySpeed);
  if (const auto it = host.find("GuiderReverseX"); it != host.end()) s.reverseX = it->second != 0;
  if (const auto download = MeasuredDownload(record)) s.download = *download;

  // The user's flags go over what the run recorded.
  auto over = [](auto& recorded, const auto& flag) {
    if (flag) recorded = flag;
  };
  over(s.exposure, flags.exposure);
  over(s.aggressiveness, flags.aggressiveness);
  over(s.minMove, flags.minMove);
  over(s.maxMove, flags.maxMove);
  over(s.xSpeed, flags.xSpeed);
  over(s.ySpeed, flags.ySpeed);
  over(s.angleDeg, flags.angleDeg);
  over(s.reverseX, flags.reverseX);
  over(s.declinationDeg, flags.declinationDeg);
  over(s.minSN, flags.minSN);
  over(s.minStars, flags.minStars);
  over(s.predictPeriodicError, flags.predictPeriodicError);
  s.scale = flags.scale;
  if (downloadGiven) s.download = flags.download;

  std::string from = "the run's record: started " + record.startLocal + " (local), ";
  from += record.end
              ? "ended " + record.end->how + " after " + std::to_string(record.end->cycles) +
                    " cycles" + (record.end->text.empty() ? "" : " (" + record.end->text + ")")
              : "with no end recorded (still running, or the host stopped)";
  notes.push_back(from + "; times, exposure, calibration and declination from it");
  for (const std::string& change : guidelog::SettingChangesText(record)) {
    notes.push_back("changed during the run: " + change +
                    " (figures use the value of most cycles)");
  }
  for (const std::string& problem : record.problems) notes.push_back("record: " + problem);
  return s;
}

std::vector<std::pair<std::size_t, std::string>> RecordInfo(const guidelog::Record& record) {
  std::vector<std::pair<std::size_t, std::string>> info;
  const std::vector<std::string> changes = guidelog::SettingChangesText(record);
  std::size_t next = 0;
  std::map<std::string, bool> seen;
  for (const guidelog::RecordSettingChange& change : record.settingChanges) {
    if (seen[change.name] && next < changes.size()) {
      info.emplace_back(static_cast<std::size_t>(std::max(change.cycle - 1, 0)),
                        "Guiding parameter change, " + changes[next++]);
    }
    seen[change.name] = true;
  }
  auto framesBefore = [&record](std::int64_t ms) {
    std::size_t frames = 0;
    while (frames < record.cycles.size() && record.cycles[frames].ms <= ms) ++frames;
    return frames;
  };
  for (const guidelog::RecordMessage& message : record.messages) {
    info.emplace_back(framesBefore(message.ms), "Corvane message: " + message.text);
  }
  if (record.end) {
    info.emplace_back(
        record.cycles.size(),
        "Guiding ended: " + record.end->how +
            (record.end->text.empty() ? std::string() : " (" + record.end->text + ")"));
  }
  std::stable_sort(info.begin(), info.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return info;
}

}  // namespace corvane::logtools
