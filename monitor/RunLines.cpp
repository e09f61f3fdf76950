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
      events.Cycle(CycleLine{std::move(row), std::nullopt, {}}, number);
      return;
    case guidelog::RowResult::Short:
      events.LineSkipped(number, "cut short: " + why);
      return;
    case guidelog::RowResult::Bad:
      events.LineSkipped(number, why);
      return;
  }
}

std::unique_ptr<LineFormat> FormatFor(std::string_view firstLine, std::string* why) {
  if (firstLine.substr(0, 3) == "\xEF\xBB\xBF") firstLine.remove_prefix(3);
  guidelog::LogRun header;
  if (guidelog::ReadHeaderLine(firstLine, header)) return std::make_unique<GuideLogLines>();
  if (why) {
    std::string shown(firstLine.substr(0, 60));
    for (char& c : shown) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 32 || byte > 126) c = '?';  // a binary file shown as text
    }
    *why = "not a Corvane guide log: its first line is \"" + shown +
           (firstLine.size() > 60 ? "...\"" : "\"") +
           " where a log begins with \"Xave\",\"Yave\",...";
  }
  return nullptr;
}

}  // namespace corvane::monitor
