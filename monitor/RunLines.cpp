#include "monitor/RunLines.h"

namespace corvane::monitor {

void GuideLogLines::Line(std::uint64_t number, std::string_view text, RunEvents& events) {
  if (text.find_first_not_of(" \t\r") == std::string_view::npos) return;
  guidelog::LogRun header;
  if (guidelog::ReadHeaderLine(text, header)) {
    run_ = header;
    inRun_ = true;
    RunInfo info;
    info.stars = run_.stars;
    events.RunStarted(info, number);
    return;
  }
  if (!inRun_) {
    events.LineSkipped(number, "no guide log header above it");
    return;
  }
  guidelog::LogRow row;
  std::string why;
  switch (guidelog::ReadDataLine(text, run_, row, why)) {
    case guidelog::RowResult::Ok:
      events.Cycle(CycleLine{std::move(row), std::nullopt, {}, {}, {}}, number);
      return;
    case guidelog::RowResult::Short:
      events.LineSkipped(number, "cut short: " + why);
      return;
    case guidelog::RowResult::Bad:
      events.LineSkipped(number, why);
      return;
  }
}

namespace {

RunInfo InfoOf(const guidelog::Record& record) {
  RunInfo info;
  if (const auto& setup = record.setup) {
    info.stars = setup->numberStars;
    info.minSN = setup->minSN;
    info.minStars = setup->minStars;
    info.exposureSeconds = setup->duration;
  }
  if (!record.run.rows.empty()) info.stars = static_cast<int>(record.run.rows.back().stars.size());
  info.startTime = guidelog::SecondsSince1970(record.startUtc);
  return info;
}

// The character after a line's kind.
char Separator(std::string_view text) {
  const std::size_t end = text.find_first_of(",;\t");
  return end == std::string_view::npos ? ',' : text[end];
}

std::optional<double> SettingOf(const guidelog::GuiderReads& settings, const char* name) {
  const auto it = settings.find(name);
  if (it == settings.end()) return std::nullopt;
  return it->second;
}

}  // namespace

void RecordLines::Line(std::uint64_t number, std::string_view text, RunEvents& events) {
  try {
    reader_.Line(static_cast<int>(number), text);
    cycleSkipped_ = false;
  } catch (const guidelog::LogError& error) {
    // The pulses of a cycle whose line was skipped go with it: the cycle's line is named.
    const bool pulse = text.substr(0, 6) == "pulse" + std::string(1, Separator(text));
    if (cycleSkipped_ && pulse) return;
    cycleSkipped_ = text.substr(0, 6) == "cycle" + std::string(1, Separator(text));
    std::string why = error.what();
    if (const std::size_t colon = why.find(": "); error.Line() > 0 && colon != std::string::npos) {
      why.erase(0, colon + 2);  // "line N: " is said by the caller
    }
    events.LineSkipped(number, why);
    return;
  }
  const guidelog::Record& record = reader_.Current();
  const bool cycle = reader_.ReadACycle();
  if (!started_ && (record.setup || cycle)) {
    started_ = true;
    events.RunStarted(InfoOf(record), number);
  }
  if (!cycle) return;
  const guidelog::RecordCycle& read = record.cycles.back();
  CycleLine line{record.run.rows.back(), static_cast<double>(read.ms) / 1000.0, {}, {}, {}};
  for (const std::string& state : read.states) {
    if (state == "used") {
      line.states.push_back(StarState::Used);
    } else if (state == "below-min-sn") {
      line.states.push_back(StarState::BelowMinSN);
    } else if (state == "not-found") {
      line.states.push_back(StarState::NotFound);
    } else {
      line.states.clear();  // a state this monitor does not know: judged from the SN
      break;
    }
  }
  line.angleDeg = SettingOf(read.settings, "GuiderAngle");
  if (const auto reverse = SettingOf(read.settings, "GuiderReverseX"))
    line.reverseX = *reverse != 0;
  events.Cycle(line, number);
}

std::unique_ptr<LineFormat> FormatFor(std::string_view firstLine, std::string* why) {
  if (firstLine.substr(0, 3) == "\xEF\xBB\xBF") firstLine.remove_prefix(3);
  guidelog::LogRun header;
  if (guidelog::ReadHeaderLine(firstLine, header)) return std::make_unique<GuideLogLines>();
  if (guidelog::LooksLikeRecord(firstLine)) return std::make_unique<RecordLines>();
  if (why) {
    std::string shown(firstLine.substr(0, 60));
    for (char& c : shown) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 32 || byte > 126) c = '?';  // a binary file shown as text
    }
    *why = "not a Corvane guide log or record: its first line is \"" + shown +
           (firstLine.size() > 60 ? "...\"" : "\"") +
           " where a log begins with \"Xave\",\"Yave\",... and a record with corvane-record";
  }
  return nullptr;
}

}  // namespace corvane::monitor
