#include "FakeHost.h"

#include <cstdio>
#include <utility>

namespace corvane::testing {
namespace {

std::string Printf(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string Bool(bool value) {
  return value ? "true" : "false";
}

class FakeDocument final : public host::Document {
 public:
  FakeDocument(HostScript& script, std::int16_t index, std::string name)
      : script_(script), name_("doc" + std::to_string(index)), displayName_(std::move(name)) {
    ++script_.created;
  }
  ~FakeDocument() override { script_.releases.push_back(name_); }

  std::string DisplayName() override {
    Call("DisplayName");
    return displayName_;
  }
  double PointerReady() override {
    Call("PointerReady");
    return script_.pointerReady.Next();
  }
  bool PointerDown() override {
    Call("PointerDown");
    if (!script_.pointerDown.empty()) {
      const bool down = script_.pointerDown.front();
      script_.pointerDown.pop_front();
      return down;
    }
    script_.pointerDownFallback = !script_.pointerDownFallback;
    return script_.pointerDownFallback;
  }
  double PointerX() override {
    Call("PointerX");
    return script_.clicks.empty() ? 100.0 : script_.clicks.front().first;
  }
  double PointerY() override {
    Call("PointerY");
    if (script_.clicks.empty()) return 100.0;
    const double y = script_.clicks.front().second;
    script_.clicks.pop_front();
    return y;
  }
  host::HostArray PointInformation(std::int16_t x, std::int16_t y) override {
    Call("PointInformation(" + std::to_string(x) + ", " + std::to_string(y) + ")");
    if (!script_.arrays.empty()) {
      host::HostArray array = script_.arrays.front();
      script_.arrays.pop_front();
      return array;
    }
    if (!script_.centroids.empty()) {
      const Centroid centroid = script_.centroids.front();
      script_.centroids.pop_front();
      return MakePointInformation(centroid);
    }
    return MakePointInformation({static_cast<double>(x), static_cast<double>(y), 50.0});
  }

 private:
  void Call(const std::string& member) { script_.Record(name_ + "." + member, true); }

  HostScript& script_;
  std::string name_;
  std::string displayName_;
};

class FakeDocuments final : public host::DocumentCollection {
 public:
  FakeDocuments(HostScript& script, std::vector<std::string> names)
      : script_(script), names_(std::move(names)) {
    ++script_.created;
  }
  ~FakeDocuments() override { script_.releases.push_back("docs"); }

  double Count() override {
    script_.Record("docs.Count", true);
    return static_cast<double>(names_.size());
  }
  std::unique_ptr<host::Document> Item(std::int16_t index) override {
    script_.Record("docs.Item(" + std::to_string(index) + ")", true);
    if (index < 1 || static_cast<std::size_t>(index) > names_.size()) {
      throw RunFailure(FailureKind::Host, "Invalid index", static_cast<std::int32_t>(0x8002000Bu));
    }
    return std::make_unique<FakeDocument>(script_, index,
                                          names_[static_cast<std::size_t>(index - 1)]);
  }

 private:
  HostScript& script_;
  std::vector<std::string> names_;
};

class FakeApplication final : public host::Application {
 public:
  explicit FakeApplication(HostScript& script) : script_(script) { ++script_.created; }
  ~FakeApplication() override { script_.releases.push_back("app"); }

  void SetTelescopeConnected(bool value) override {
    script_.Record("app.TelescopeConnected=" + Bool(value), true);
  }
  bool TelescopeConnected() override {
    script_.Record("app.TelescopeConnected", true);
    return script_.telescopeConnected.Next();
  }
  std::unique_ptr<host::DocumentCollection> Documents() override {
    script_.Record("app.Documents", true);
    return std::make_unique<FakeDocuments>(script_, script_.documents.Next());
  }

 private:
  HostScript& script_;
};

class FakeCamera final : public host::Camera {
 public:
  explicit FakeCamera(HostScript& script) : script_(script) { ++script_.created; }
  ~FakeCamera() override { script_.releases.push_back("camera"); }

  void SetLinkEnabled(bool value) override { Call("LinkEnabled=" + Bool(value)); }
  bool LinkEnabled() override { return Read("LinkEnabled", script_.linkEnabled); }
  void SetDisableAutoShutdown(bool value) override { Call("DisableAutoShutdown=" + Bool(value)); }
  void SetEventMask(std::int32_t mask) override { Call("EventMask=" + std::to_string(mask)); }
  void GuiderExpose(float seconds) override {
    Call("GuiderExpose(" + Printf("%.7G", static_cast<double>(seconds)) + ")");
  }
  bool GuiderRunning() override { return Read("GuiderRunning", script_.guiderRunning); }
  double GuiderXSize() override {
    Call("GuiderXSize");
    return 640.0;
  }
  double GuiderYSize() override {
    Call("GuiderYSize");
    return 480.0;
  }
  double GuiderAngle() override { return Read("GuiderAngle", script_.guiderAngle); }
  double GuiderDeclination() override {
    return Read("GuiderDeclination", script_.guiderDeclination);
  }
  bool GuiderReverseX() override { return Read("GuiderReverseX", script_.guiderReverseX); }
  double GuiderAggressiveness() override {
    return Read("GuiderAggressiveness", script_.guiderAggressiveness);
  }
  double GuiderXSpeed() override { return Read("GuiderXSpeed", script_.guiderXSpeed); }
  double GuiderYSpeed() override { return Read("GuiderYSpeed", script_.guiderYSpeed); }
  double GuiderOutputEnables() override {
    return Read("GuiderOutputEnables", script_.guiderOutputEnables);
  }
  void GuiderMove(std::int16_t direction, const host::HostNumber& seconds) override {
    Call("GuiderMove(" + std::to_string(direction) + ", " + Text(seconds) + ")");
  }
  bool GuiderMoving() override { return Read("GuiderMoving", script_.guiderMoving); }

 private:
  void Call(const std::string& member) { script_.Record("camera." + member, true); }
  template <typename T>
  T Read(const std::string& member, Reads<T>& reads) {
    Call(member);
    return reads.Next();
  }

  HostScript& script_;
};

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
void RunShowing(HostScript& script, Dialog& dialog, std::deque<Showing>& showings,
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

host::HostArray MakePointInformation(const Centroid& centroid, std::int32_t lowerBound) {
  host::HostArray array;
  array.lowerBound = lowerBound;
  array.elements.assign(static_cast<std::size_t>(13 - lowerBound), 0.0);
  array.elements[static_cast<std::size_t>(host::kCentroidX - lowerBound)] = centroid.x;
  array.elements[static_cast<std::size_t>(host::kCentroidY - lowerBound)] = centroid.y;
  array.elements[static_cast<std::size_t>(host::kSignalToNoise - lowerBound)] = centroid.sn;
  return array;
}

std::string Text(const host::HostNumber& number) {
  if (number.byReference && number.inAutomationValue) {
    return "&Variant(" + Text({number.type, number.value, false, false}) + ")";
  }
  std::string text;
  switch (number.type) {
    case host::HostNumber::Type::Integer:
      text = "Integer";
      break;
    case host::HostNumber::Type::Single:
      text = "Single";
      break;
    case host::HostNumber::Type::Double:
      text = "Double";
      break;
  }
  text += number.byReference ? "&" : " ";
  if (number.type == host::HostNumber::Type::Double) {
    text += Printf("%.15G", number.value);
  } else {
    text += Printf("%.7G", static_cast<double>(static_cast<float>(number.value)));
  }
  return text;
}

void HostScript::Record(const std::string& entry, bool hostCall) {
  timeline.push_back(entry);
  if (hostCall && hostCalls++ == failAtHostCall) {
    throw RunFailure(FailureKind::Host, failureText, failureCode);
  }
  if (onEntry) onEntry(entry);
}

std::vector<std::string> HostScript::HostCalls() const {
  std::vector<std::string> calls;
  for (const std::string& entry : timeline) {
    if (entry.rfind("app.", 0) == 0 || entry.rfind("camera.", 0) == 0 ||
        entry.rfind("doc", 0) == 0) {
      calls.push_back(entry);
    }
  }
  return calls;
}

std::vector<std::string> HostScript::Entries(const std::string& prefix) const {
  std::vector<std::string> entries;
  for (const std::string& entry : timeline) {
    if (entry.rfind(prefix, 0) == 0) entries.push_back(entry);
  }
  return entries;
}

std::size_t HostScript::Count(const std::string& entry) const {
  std::size_t count = 0;
  for (const std::string& e : timeline) count += e == entry ? 1 : 0;
  return count;
}

std::unique_ptr<host::Application> FakeHost::CreateApplication() {
  script_.Record("app.create", true);
  return std::make_unique<FakeApplication>(script_);
}

std::unique_ptr<host::Camera> FakeHost::CreateCamera() {
  script_.Record("camera.create", true);
  return std::make_unique<FakeCamera>(script_);
}

std::optional<float> FakeEnvironment::AskInitialExposure() {
  script_.Record("env.AskInitialExposure", false);
  InitialExposureDialog& dialog = dialogs_.InitialExposure;
  RunShowing(
      script_, dialog, initialShowings, Showing{{true, {"6"}}},
      [&](const std::vector<std::string>& texts) { return dialog.Accept(texts.at(0), reader_); });
  return dialog.Answer();
}

std::optional<GuideSettings> FakeEnvironment::AskGuideSettings() {
  script_.Record("env.AskGuideSettings", false);
  GuideSetupDialog& dialog = dialogs_.GuideSetup;
  RunShowing(script_, dialog, sampleShowings, Showing{{true, kSampleDefaults}},
             [&](const std::vector<std::string>& texts) {
               GuideSetupDialog::Texts array;
               for (std::size_t i = 0; i < array.size(); ++i) array[i] = texts.at(i);
               return dialog.Accept(array, reader_);
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
  env.sampleShowings.clear();
  for (int i = 0; i < 8; ++i) env.sampleShowings.push_back({{true, texts}});
}

void Rig::StopAfterCycles(int cycles) {
  auto& reads = script.guiderAggressiveness;
  reads.queue.clear();
  for (int i = 0; i < 3 * cycles - 1; ++i) reads.queue.push_back(reads.fallback);
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
