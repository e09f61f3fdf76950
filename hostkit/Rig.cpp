#include "hostkit/Rig.h"

#include <utility>

namespace corvane::testing {
namespace {

class FakeLogFile final : public GuideLogFile {
 public:
  explicit FakeLogFile(FakeEnvironment& environment) : environment_(environment) {}
  void Write(std::string_view bytes) override {
    environment_.Script().Record("log.Write", false);
    if (environment_.logWrites++ == environment_.failLogWriteAt) {
      throw RunFailure(FailureKind::File, "Disk full", static_cast<std::int32_t>(0x80070070u));
    }
    environment_.logBytes += bytes;
  }
  void Flush() override { environment_.Script().Record("log.Flush", false); }
  void Close() override {
    environment_.Script().Record("log.Close", false);
    environment_.logOpen = false;
  }

 private:
  FakeEnvironment& environment_;
};

template <typename Dialog, typename Press>
void RunShowing(CallScript& script, Dialog& dialog, std::deque<Showing>& showings,
                const Showing& fallback, Press press) {
  dialog.BeginShowing();
  Showing steps = fallback;
  if (!showings.empty()) {
    steps = showings.front();
    showings.pop_front();
  }
  for (const DialogStep& step : steps) {
    if (!step.ok) {
      script.Record("dialog.Cancel", false);
      dialog.Cancel();
      return;
    }
    script.Record("dialog.OK", false);
    if (press(step.texts) == OkResult::Accepted) return;
    script.Record("dialog.Message(" + std::string(kPleaseEnterANumber) + ")", false);
  }
  script.Record("dialog.Close", false);
  dialog.Cancel();
}

}  // namespace

hostkit::HostScript CoreScene() {
  hostkit::HostScript scene;
  scene.guiderXSize = 640;
  scene.guiderYSize = 480;
  scene.repeatClick = hostkit::Point{100.0, 100.0};
  scene.signalToNoiseWhereNoStar = 50.0;
  scene.runningPolls = 0;
  scene.movingPolls = 0;
  scene.maxExposures.reset();
  return scene;
}

std::optional<float> FakeEnvironment::AskInitialExposure() {
  script_.Record("env.AskInitialExposure", false);
  InitialExposureDialog& dialog = dialogs_.InitialExposure;
  RunShowing(
      script_, dialog, initialExposureShowings, Showing{{true, {"6"}}},
      [&](const std::vector<std::string>& texts) { return dialog.Accept(texts.at(0), reader_); });
  return dialog.Answer();
}

std::optional<GuideSettings> FakeEnvironment::AskGuideSettings() {
  script_.Record("env.AskGuideSettings", false);
  GuideSetupDialog& dialog = dialogs_.GuideSetup;
  RunShowing(script_, dialog, guideSetupShowings, Showing{{true, kGuideSetupDefaults}},
             [&](const std::vector<std::string>& texts) {
               GuideSetupDialog::Texts boxes;
               for (int n = 1; n <= GuideSetupDialog::Texts::kBoxes; ++n) {
                 boxes.Box(n) = texts.at(static_cast<std::size_t>(n - 1));
               }
               return dialog.Accept(boxes, reader_);
             });
  return dialog.Answer();
}

void FakeEnvironment::ShowMessage(const std::string& text) {
  messages.push_back(text);
  script_.Record("env.Message(" + text + ")", false);
}

void FakeEnvironment::LetHostRun() {
  script_.Record("env.LetHostRun", false);
}
void FakeEnvironment::Sleep100ms() {
  script_.Record("env.Sleep100ms", false);
}
void FakeEnvironment::WaitForInput() {
  script_.Record("env.WaitForInput", false);
}
std::int64_t FakeEnvironment::Milliseconds() {
  return milliseconds;
}

std::unique_ptr<GuideLogFile> FakeEnvironment::CreateGuideLog() {
  script_.Record("env.CreateGuideLog", false);
  if (failCreateLog) {
    throw RunFailure(FailureKind::File, "Path not found", static_cast<std::int32_t>(0x80070003u));
  }
  ++logsCreated;
  logOpen = true;
  logBytes.clear();
  return std::make_unique<FakeLogFile>(*this);
}

Rig::Rig() = default;

void Rig::Settings(const std::vector<std::string>& texts) {
  env.guideSetupShowings.clear();
  for (int i = 0; i < 8; ++i) env.guideSetupShowings.push_back({{true, texts}});
}

void Rig::StopAfterCycles(int cycles) {
  auto& reads = script.guiderAggressiveness;
  const double usual =
      reads.fallback.value_or(host.Script().settingsPerCycle.front().aggressiveness);
  reads.queue.clear();
  for (int i = 0; i < 3 * cycles - 1; ++i) reads.queue.push_back(usual);
  reads.queue.push_back(0.0);
}

void Rig::Event15At(const std::string& entry, int occurrence) {
  auto seen = std::make_shared<int>(0);
  script.onEntry = [this, entry, occurrence, seen](const std::string& e) {
    if (e == entry && (*seen)++ == occurrence) plugIn.CCDCamera_Notify(kStopEvent, env);
  };
}

std::vector<std::string> Rig::LogLines() const {
  std::vector<std::string> lines;
  std::size_t start = 0;
  const std::string& bytes = env.logBytes;
  while (start < bytes.size()) {
    const auto end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

}  // namespace corvane::testing
