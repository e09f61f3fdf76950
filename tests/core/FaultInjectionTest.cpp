// A host failure injected at every host call of a three-cycle run in turn: each run ends with that
// failure, makes no host call after it, closes the guide log holding only whole lines and
// releases every host object it holds, guider image first and application last.
#include <gtest/gtest.h>

#include <algorithm>

#include "hostkit/Rig.h"

namespace corvane::testing {
namespace {

// Two stars, waits that poll more than once, a document to skip before the guider image,
// pulses on both axes in every cycle, and the host's aggressiveness ending the run after three
// cycles.
void ThreeCycles(Rig& rig) {
  rig.Settings({"2", "3", "1", "2", "0.01", "2", "15"});
  rig.script.documents.Set({"Other", "Autoguider Image"});
  rig.script.guiderRunning.queue = {true, false, true, false, true, false, true, false};
  rig.script.guiderMoving.queue = {true, false, true, false, true, false,
                                   true, false, true, false, true, false};
  rig.script.clicks = {{50.0, 60.0}, {150.0, 160.0}};
  rig.script.centroids = {{50.0, 60.0, 30.0}, {150.0, 160.0, 30.0},  // selection
                          {52.0, 59.0, 30.0}, {152.0, 159.0, 30.0},  // cycle 1
                          {53.0, 58.0, 30.0}, {153.0, 158.0, 30.0},  // cycle 2
                          {51.0, 61.0, 30.0}, {151.0, 161.0, 30.0}};
  rig.StopAfterCycles(3);
}

bool CalledBefore(const std::vector<std::string>& calls, std::size_t end, const std::string& call) {
  return std::find(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(end), call) !=
         calls.begin() + static_cast<std::ptrdiff_t>(end);
}

TEST(FaultInjection, AHostFailureAtAnyCallEndsTheRunCleanly) {
  Rig baseline;
  ThreeCycles(baseline);
  baseline.DoModal();
  const std::vector<std::string> calls = baseline.script.HostCalls();
  ASSERT_EQ(baseline.LogLines().size(), 4u);
  ASSERT_EQ(baseline.script.Count("camera.GuiderMove(0, &Variant(Double 0.2))"), 1u);
  ASSERT_GT(calls.size(), 100u);
  RecordProperty("host_calls", static_cast<int>(calls.size()));

  for (std::size_t failing = 0; failing < calls.size(); ++failing) {
    SCOPED_TRACE("failing call " + std::to_string(failing) + ": " + calls[failing]);
    Rig rig;
    ThreeCycles(rig);
    rig.script.failAtHostCall = static_cast<int>(failing);
    try {
      rig.DoModal();
      ADD_FAILURE() << "the run did not fail";
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.Kind(), FailureKind::Host);
      EXPECT_EQ(failure.Description(), rig.script.failureText);
      EXPECT_EQ(failure.Code(), rig.script.failureCode);
    }
    // The failing call is the last one made.
    const std::vector<std::string> made = rig.script.HostCalls();
    ASSERT_EQ(made.size(), failing + 1);
    EXPECT_EQ(made.back(), calls[failing]);
    EXPECT_TRUE(rig.env.messages.empty());

    // The log, once opened, is closed and holds only whole lines of the header's width.
    EXPECT_FALSE(rig.env.logOpen);
    if (rig.env.logsCreated > 0) {
      EXPECT_EQ(rig.script.Entries("log.").back(), "log.Close");
      const std::string& bytes = rig.env.logBytes;
      ASSERT_FALSE(bytes.empty());
      EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
      for (const std::string& line : rig.LogLines()) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 16) << line;
      }
    }

    // Every host object made is released; those held at the end go guider image, documents,
    // camera, application.
    EXPECT_EQ(static_cast<int>(rig.script.releases.size()), rig.script.created);
    std::vector<std::string> held;
    if (CalledBefore(made, failing, "doc2.DisplayName")) held.push_back("doc2");
    if (CalledBefore(made, failing, "app.Documents")) held.push_back("docs");
    if (CalledBefore(made, failing, "camera.create")) held.push_back("camera");
    if (CalledBefore(made, failing, "app.create")) held.push_back("app");
    const auto& releases = rig.script.releases;
    ASSERT_GE(releases.size(), held.size());
    EXPECT_EQ(std::vector<std::string>(releases.end() - static_cast<std::ptrdiff_t>(held.size()),
                                       releases.end()),
              held);
  }
}

TEST(FaultInjection, AFailedLogWriteAtAnyLineEndsTheRunCleanly) {
  for (int failing = 0; failing < 4; ++failing) {
    SCOPED_TRACE("failing write " + std::to_string(failing));
    Rig rig;
    ThreeCycles(rig);
    rig.env.failLogWriteAt = failing;
    try {
      rig.DoModal();
      ADD_FAILURE() << "the run did not fail";
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.Kind(), FailureKind::File);
    }
    // No host call follows the failed write: its cycle issues no pulse.
    const auto& timeline = rig.script.timeline;
    const auto write = std::find_if(timeline.rbegin(), timeline.rend(),
                                    [](const std::string& e) { return e == "log.Write"; });
    ASSERT_NE(write, timeline.rend());
    for (auto after = timeline.rbegin(); after != write; ++after) {
      EXPECT_EQ(after->rfind("log.", 0), 0u) << *after;
    }
    EXPECT_FALSE(rig.env.logOpen);
    EXPECT_EQ(rig.LogLines().size(), static_cast<std::size_t>(failing));
    EXPECT_EQ(static_cast<int>(rig.script.releases.size()), rig.script.created);
  }
}

}  // namespace
}  // namespace corvane::testing
