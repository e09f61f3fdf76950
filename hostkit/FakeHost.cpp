#include "hostkit/FakeHost.h"

#include <cstdio>
#include <utility>

namespace corvane::hostkit {

struct FakeHost::State {
  CallScript calls;
  HostRecord record;
  std::shared_ptr<Scene> scene;
};

namespace {

using State = FakeHost::State;

std::string Printf(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string Bool(bool value) {
  return value ? "true" : "false";
}

// A host object: counted while it lives, its release recorded under its timeline name.
class Counted {
 public:
  Counted(std::shared_ptr<State> state, std::string name)
      : state_(std::move(state)), name_(std::move(name)) {
    ++state_->calls.created;
    ++state_->record.objectsAlive;
  }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  ~Counted() {
    state_->calls.releases.push_back(name_);
    --state_->record.objectsAlive;
  }

 protected:
  void Call(const std::string& member) { state_->calls.Record(name_ + "." + member, true); }
  CallScript& Script() { return state_->calls; }
  HostRecord& Record() { return state_->record; }
  Scene& World() { return *state_->scene; }

  std::shared_ptr<State> state_;
  std::string name_;
};

class Document final : public host::Document, Counted {
 public:
  Document(std::shared_ptr<State> state, std::int16_t index, std::string name)
      : Counted(std::move(state), "doc" + std::to_string(index)), displayName_(std::move(name)) {}

  std::string DisplayName() override {
    Call("DisplayName");
    return displayName_;
  }
  double PointerReady() override {
    Call("PointerReady");
    return Script().pointerReady.Next([this] {
      World().CheckDocument(displayName_);
      return World().PointerReady();
    });
  }
  bool PointerDown() override {
    Call("PointerDown");
    auto& queue = Script().pointerDown;
    if (!queue.empty()) {
      const bool down = queue.front();
      queue.pop_front();
      return down;
    }
    World().CheckDocument(displayName_);
    return World().PointerDown();
  }
  double PointerX() override {
    Call("PointerX");
    const auto& clicks = Script().clicks;
    if (!clicks.empty()) return clicks.front().first;
    World().CheckDocument(displayName_);
    return World().PointerX();
  }
  double PointerY() override {
    Call("PointerY");
    auto& clicks = Script().clicks;
    if (!clicks.empty()) {
      const double y = clicks.front().second;
      clicks.pop_front();
      return y;
    }
    World().CheckDocument(displayName_);
    return World().PointerY();
  }
  host::HostArray PointInformation(std::int16_t x, std::int16_t y) override {
    Call("PointInformation(" + std::to_string(x) + ", " + std::to_string(y) + ")");
    auto& arrays = Script().arrays;
    if (!arrays.empty()) {
      host::HostArray array = arrays.front();
      arrays.pop_front();
      return array;
    }
    auto& centroids = Script().centroids;
    if (!centroids.empty()) {
      const Centroid centroid = centroids.front();
      centroids.pop_front();
      return MakePointInformation(centroid);
    }
    World().CheckDocument(displayName_);
    return World().PointInformation(x, y);
  }

 private:
  std::string displayName_;
};

class Documents final : public host::DocumentCollection, Counted {
 public:
  Documents(std::shared_ptr<State> state, std::vector<std::string> names)
      : Counted(std::move(state), "docs"), names_(std::move(names)) {}

  double Count() override {
    Call("Count");
    return static_cast<double>(names_.size());
  }
  std::unique_ptr<host::Document> Item(std::int16_t index) override {
    Call("Item(" + std::to_string(index) + ")");
    if (index < 1 || static_cast<std::size_t>(index) > names_.size()) {
      throw RunFailure(FailureKind::Host, "Invalid index", static_cast<std::int32_t>(0x8002000Bu));
    }
    return std::make_unique<Document>(state_, index, names_[static_cast<std::size_t>(index - 1)]);
  }

 private:
  std::vector<std::string> names_;
};

class Application final : public host::Application, Counted {
 public:
  explicit Application(std::shared_ptr<State> state) : Counted(std::move(state), "app") {}

  void SetTelescopeConnected(bool value) override {
    Call("TelescopeConnected=" + Bool(value));
    World().SetTelescopeConnected(value);
  }
  bool TelescopeConnected() override {
    Call("TelescopeConnected");
    return Script().telescopeConnected.Next([this] { return World().TelescopeConnected(); });
  }
  std::unique_ptr<host::DocumentCollection> Documents() override {
    Call("Documents");
    auto names = Script().documents.Next([this] { return World().OpenDocuments(); });
    return std::make_unique<hostkit::Documents>(state_, std::move(names));
  }
};

class Camera final : public host::Camera, Counted {
 public:
  explicit Camera(std::shared_ptr<State> state) : Counted(std::move(state), "camera") {}

  void SetLinkEnabled(bool value) override {
    Call("LinkEnabled=" + Bool(value));
    World().SetLinkEnabled(value);
  }
  bool LinkEnabled() override {
    Call("LinkEnabled");
    return Script().linkEnabled.Next([this] { return World().LinkEnabled(); });
  }
  void SetDisableAutoShutdown(bool value) override {
    Call("DisableAutoShutdown=" + Bool(value));
    Record().autoShutdownDisabled = value;
  }
  void SetEventMask(std::int32_t mask) override {
    Call("EventMask=" + std::to_string(mask));
    Record().eventMask = mask;
  }
  void GuiderExpose(float seconds) override {
    Call("GuiderExpose(" + Printf("%.7G", static_cast<double>(seconds)) + ")");
    World().StartExposure(seconds);
    Record().exposures.push_back(seconds);
  }
  bool GuiderRunning() override {
    Call("GuiderRunning");
    return Script().guiderRunning.Next([this] { return World().ExposureRunning(); });
  }
  double GuiderXSize() override {
    Call("GuiderXSize");
    return World().GuiderXSize();
  }
  double GuiderYSize() override {
    Call("GuiderYSize");
    return World().GuiderYSize();
  }
  double GuiderAngle() override {
    return Setting("GuiderAngle", Script().guiderAngle, &GuiderSettings::angleDeg);
  }
  double GuiderDeclination() override {
    return Setting("GuiderDeclination", Script().guiderDeclination,
                   &GuiderSettings::declinationDeg);
  }
  bool GuiderReverseX() override {
    return Setting("GuiderReverseX", Script().guiderReverseX, &GuiderSettings::reverseX);
  }
  double GuiderAggressiveness() override {
    return Setting("GuiderAggressiveness", Script().guiderAggressiveness,
                   &GuiderSettings::aggressiveness);
  }
  double GuiderXSpeed() override {
    return Setting("GuiderXSpeed", Script().guiderXSpeed, &GuiderSettings::xSpeed);
  }
  double GuiderYSpeed() override {
    return Setting("GuiderYSpeed", Script().guiderYSpeed, &GuiderSettings::ySpeed);
  }
  double GuiderOutputEnables() override {
    return Setting("GuiderOutputEnables", Script().guiderOutputEnables,
                   &GuiderSettings::outputEnables);
  }
  void GuiderMove(std::int16_t direction, const host::HostNumber& seconds) override {
    Call("GuiderMove(" + std::to_string(direction) + ", " + Text(seconds) + ")");
    World().StartMove(direction, seconds);
    Record().moves.push_back({direction, seconds});
  }
  bool GuiderMoving() override {
    Call("GuiderMoving");
    return Script().guiderMoving.Next([this] { return World().MoveRunning(); });
  }

 private:
  template <typename T>
  T Setting(const std::string& member, Reads<T>& reads, T GuiderSettings::*field) {
    Call(member);
    return reads.Next([&] { return World().Settings().*field; });
  }
};

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

void CallScript::Record(const std::string& entry, bool hostCall) {
  if (keepTimeline) timeline.push_back(entry);
  if (hostCall && hostCalls++ == failAtHostCall) {
    throw RunFailure(FailureKind::Host, failureText, failureCode);
  }
  if (onEntry) onEntry(entry);
}

std::vector<std::string> CallScript::HostCalls() const {
  std::vector<std::string> calls;
  for (const std::string& entry : timeline) {
    if (entry.rfind("app.", 0) == 0 || entry.rfind("camera.", 0) == 0 ||
        entry.rfind("doc", 0) == 0) {
      calls.push_back(entry);
    }
  }
  return calls;
}

std::vector<std::string> CallScript::Entries(const std::string& prefix) const {
  std::vector<std::string> entries;
  for (const std::string& entry : timeline) {
    if (entry.rfind(prefix, 0) == 0) entries.push_back(entry);
  }
  return entries;
}

std::size_t CallScript::Count(const std::string& entry) const {
  std::size_t count = 0;
  for (const std::string& e : timeline) count += e == entry ? 1 : 0;
  return count;
}

FakeHost::FakeHost(std::shared_ptr<Scene> scene) : state_(std::make_shared<State>()) {
  state_->scene = std::move(scene);
}

std::unique_ptr<host::Application> FakeHost::CreateApplication() {
  state_->calls.Record("app.create", true);
  ++state_->record.applicationsCreated;
  state_->scene->StartRun();
  return std::make_unique<Application>(state_);
}

std::unique_ptr<host::Camera> FakeHost::CreateCamera() {
  state_->calls.Record("camera.create", true);
  ++state_->record.camerasCreated;
  return std::make_unique<Camera>(state_);
}

std::unique_ptr<host::Document> FakeHost::OpenDocument(const std::string& name) {
  return std::make_unique<Document>(state_, 0, name);
}

CallScript& FakeHost::Calls() {
  return state_->calls;
}
const CallScript& FakeHost::Calls() const {
  return state_->calls;
}
HostRecord& FakeHost::Record() {
  return state_->record;
}
const HostRecord& FakeHost::Record() const {
  return state_->record;
}

}  // namespace corvane::hostkit
