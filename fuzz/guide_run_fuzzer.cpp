// Fuzzes a whole guiding run against the fake host in the core tests' rig, with the host
// returning hostile values: NaN, infinities, values at and beyond the 16- and 32-bit limits,
// PointInformation arrays of any bounds and length with missing elements, documents that go
// away, links that drop, waits that take long, host failures at any call, a guide log that
// cannot be created or written, dialog texts of any kind, camera event 15 at any moment.
// Checked on every input:
// - the run ends, within a bounded number of host calls once the host asks it to stop, either
//   normally or with a RunFailure (anything else escaping is a crash);
// - the guide log is closed and holds only whole lines, each with as many fields as its header,
//   none of them NaN or infinite;
// - every host object made is released;
// - every pulse is finite, longer than zero and no longer than the maximum move.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "hostkit/Rig.h"

namespace {

using corvane::testing::Rig;

// Host calls after which the host asks the run to stop in every way it can.
constexpr std::size_t kStopAfterEntries = 4000;
// Timeline entries the run may take to end after that: a few cycles' worth.
constexpr std::size_t kEndWithin = 1000;

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "guide run: %s %s\n", what, detail.c_str());
  std::abort();
}

double Hostile(FuzzedDataProvider& in) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  static constexpr double kValues[] = {
      0.0,      -0.0,    1.0,          -1.0,    0.5,     90.0,
      -270.0,   1e-300,  32767.0,      32767.5, 32768.0, -32768.5,
      -32769.0, 65536.0, 2147483648.0, 3.4e38,  3.5e38,  -1e39,
      1e308,    -1e308,  5e-324,       kInf,    -kInf,   std::numeric_limits<double>::quiet_NaN()};
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return in.PickValueInArray(kValues);
    case 1:
      return in.ConsumeFloatingPoint<double>();
    default:
      return in.ConsumeFloatingPointInRange<double>(-1000.0, 1000.0);
  }
}

template <typename T, typename Make>
void Queue(FuzzedDataProvider& in, std::deque<T>& queue, std::size_t most, Make make) {
  const auto n = in.ConsumeIntegralInRange<std::size_t>(0, most);
  for (std::size_t i = 0; i < n; ++i) queue.push_back(make());
}

std::string DialogText(FuzzedDataProvider& in, const std::string& usual) {
  static const char* const kTexts[] = {"1",    "2",    "5",    "10",    "0",     "-1",
                                       "0.01", "2.00", "1e30", "-3e38", "1e-40", "40000",
                                       "15",   "abc",  "",     "32767", "-32768"};
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return in.PickValueInArray(kTexts);
    case 1:
      return in.ConsumeRandomLengthString(12);
    default:
      return usual;
  }
}

void Script(FuzzedDataProvider& in, Rig& rig) {
  auto& script = rig.script;
  // The dialogs: a few showings of the settings, OK or Cancel.
  for (int showing = in.ConsumeIntegralInRange<int>(0, 2); showing > 0; --showing) {
    corvane::testing::Showing steps;
    for (int press = in.ConsumeIntegralInRange<int>(1, 2); press > 0; --press) {
      corvane::testing::DialogStep step;
      step.ok = in.ConsumeIntegralInRange<int>(0, 7) != 0;
      for (const std::string& usual : corvane::testing::kGuideSetupDefaults) {
        step.texts.push_back(DialogText(in, usual));
      }
      steps.push_back(step);
    }
    rig.env.guideSetupShowings.push_back(steps);
  }
  if (in.ConsumeBool()) rig.env.initialExposureShowings.push_back({{true, {DialogText(in, "6")}}});

  // The host's values, read by read.
  auto hostile = [&] { return Hostile(in); };
  auto flag = [&] { return in.ConsumeBool(); };
  Queue(in, script.guiderAngle.queue, 8, hostile);
  Queue(in, script.guiderDeclination.queue, 8, hostile);
  Queue(in, script.guiderAggressiveness.queue, 8, hostile);
  Queue(in, script.guiderXSpeed.queue, 8, hostile);
  Queue(in, script.guiderYSpeed.queue, 8, hostile);
  Queue(in, script.guiderOutputEnables.queue, 8, hostile);
  Queue(in, script.pointerReady.queue, 4, hostile);
  Queue(in, script.linkEnabled.queue, 6, [&] { return in.ConsumeIntegralInRange<int>(0, 9) != 0; });
  Queue(in, script.telescopeConnected.queue, 2, flag);
  Queue(in, script.guiderRunning.queue, 6, flag);
  Queue(in, script.guiderMoving.queue, 6, flag);
  Queue(in, script.pointerDown, 6, flag);
  Queue(in, script.documents.queue, 4, [&] {
    std::vector<std::string> names;
    for (int n = in.ConsumeIntegralInRange<int>(0, 2); n > 0; --n) {
      names.push_back(in.ConsumeBool() ? "Autoguider Image" : in.ConsumeRandomLengthString(20));
    }
    return names;
  });
  Queue(in, script.clicks, 10, [&] { return std::pair{Hostile(in), Hostile(in)}; });
  Queue(in, script.arrays, 4, [&] {
    corvane::host::HostArray array;
    array.lowerBound = in.ConsumeIntegralInRange<std::int32_t>(-3, 14);
    for (int n = in.ConsumeIntegralInRange<int>(0, 16); n > 0; --n) {
      if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
        array.elements.push_back(std::nullopt);
      } else {
        array.elements.push_back(Hostile(in));
      }
    }
    return array;
  });
  Queue(in, script.centroids, 40, [&] {
    return corvane::testing::Centroid{Hostile(in), Hostile(in), Hostile(in)};
  });

  // Failures and the stop event.
  if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
    script.failAtHostCall = in.ConsumeIntegralInRange<int>(0, 600);
  }
  rig.env.failCreateLog = in.ConsumeIntegralInRange<int>(0, 15) == 0;
  if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
    rig.env.failLogWriteAt = in.ConsumeIntegralInRange<int>(0, 30);
  }
  const auto eventAt = in.ConsumeIntegralInRange<std::size_t>(0, 2 * kStopAfterEntries);
  script.onEntry = [&rig, eventAt](const std::string&) {
    const std::size_t entries = rig.script.timeline.size();
    if (entries == eventAt) rig.plugIn.CCDCamera_Notify(corvane::kStopEvent, rig.env);
    if (entries == kStopAfterEntries) {
      rig.plugIn.CCDCamera_Notify(corvane::kStopEvent, rig.env);
      rig.script.guiderAggressiveness.Set(0.0);
      rig.script.linkEnabled.Set(false);
      rig.script.guiderRunning.Set(false);
      rig.script.guiderMoving.Set(false);
    }
    if (entries > kStopAfterEntries + kEndWithin) Fail("the run does not end");
  };
}

void CheckLog(const Rig& rig) {
  if (rig.env.logOpen) Fail("the guide log was left open");
  const std::string& bytes = rig.env.logBytes;
  if (bytes.empty()) return;
  if (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0) {
    Fail("the guide log ends in a part of a line");
  }
  const std::vector<std::string> lines = rig.LogLines();
  const auto fields = std::count(lines.front().begin(), lines.front().end(), ',');
  for (const std::string& line : lines) {
    if (std::count(line.begin(), line.end(), ',') != fields) Fail("a log line is torn:", line);
    std::string lower = line;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.find("nan") != std::string::npos || lower.find("inf") != std::string::npos) {
      Fail("a log line holds a value that is no number:", line);
    }
  }
}

void CheckPulses(const Rig& rig) {
  const double maximum = std::fabs(static_cast<double>(rig.dialogs.GuideSetup.GetMaxMove()));
  for (const std::string& entry : rig.script.Entries("camera.GuiderMove(")) {
    // "camera.GuiderMove(D, Type V)", "(D, Type&V)" or "(D, &Variant(Type V))": the number
    // stands after the last blank or ampersand.
    const auto mark = entry.find_last_of("& ");
    const double seconds = std::strtod(entry.c_str() + mark + 1, nullptr);
    if (!std::isfinite(seconds) || seconds <= 0.0 || seconds > maximum * (1.0 + 1e-6)) {
      Fail("a pulse outside (0, maximum move]:", entry);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  Rig rig;
  Script(in, rig);
  try {
    rig.DoModal();
  } catch (const corvane::RunFailure&) {
    // A failure the run reports to the host: the checks below still hold.
  }
  CheckLog(rig);
  if (static_cast<int>(rig.script.releases.size()) != rig.script.created) {
    Fail("a host object was not released");
  }
  CheckPulses(rig);
  return 0;
}
