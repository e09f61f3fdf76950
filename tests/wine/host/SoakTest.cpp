// The real Corvane.dll guiding 200 times in one process, as a host that keeps the plug-in loaded
// all night would call it: whatever a run takes (handles, memory) it gives back. Under Wine
// GetProcessHandleCount and GetGuiResources read 0, so the handles are counted by asking the
// kernel about every handle value, and PrivateUsage reads 0 as well, so the private memory
// committed is summed over the address space.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "hostkit/win/ClassRegistration.h"
#include "hostkit/win/HostComObjects.h"
#include "tests/wine/host/TestDll.h"

namespace corvane::testhost {
namespace {

// Open kernel handles: handle values are multiples of 4 below a few tens of thousands here.
int OpenHandles() {
  int open = 0;
  for (std::uintptr_t value = 4; value < 0x20000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++open;
  }
  return open;
}

// Private memory committed in this process (heaps, stacks), in MB.
double PrivateMegabytes() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  std::uintptr_t address = reinterpret_cast<std::uintptr_t>(system.lpMinimumApplicationAddress);
  const auto end = reinterpret_cast<std::uintptr_t>(system.lpMaximumApplicationAddress);
  double bytes = 0;
  MEMORY_BASIC_INFORMATION region;
  while (address < end &&
         VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof(region)) != 0) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      bytes += static_cast<double>(region.RegionSize);
    }
    address = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
  }
  return bytes / (1024.0 * 1024.0);
}

struct Footprint {
  int handles;
  double privateMegabytes;
};

Footprint Measure() {
  return {OpenHandles(), PrivateMegabytes()};
}

TEST(Soak, TwoHundredRunsInOneProcessKeepHandlesAndMemoryFlat) {
  constexpr int kRuns = 200;
  auto session = std::make_shared<hostcom::HostSession>();
  std::unique_ptr<ScriptedHost> host;  // a fresh host script for every run
  hostcom::HostRegistration registration(
      session, [&host] { return host->CreateApplication(); },
      [&host] { return host->CreateCamera(); });
  PlugInClient plugin;

  HostScript script;
  script.stars = {{{100, 200}, 20}, {{300, 150}, 30}};
  script.clicks = {{101, 199}, {299.5, 150.5}};
  script.shiftPerExposure = {{0, 0}, {1, -0.5}};  // the first cycle pulses on both axes
  script.aggressivenessZeroFromCycle = 1;         // two guide cycles, then the run ends
  script.runningPolls = 0;  // exposures and pulses end at once: no 100 ms waits
  script.movingPolls = 0;

  Footprint first{}, last{}, atRun50{};
  const auto start = std::chrono::steady_clock::now();
  for (int run = 1; run <= kRuns; ++run) {
    host = std::make_unique<ScriptedHost>(script);
    session->ClearCalls();
    DeleteFileW(L"c:\\Corvane.csv");
    ScreenUser user([](UserActions& at) {
      at.AnswerInitial(L"1");
      at.AnswerSetup({L"2"});
    });
    const CallOutcome call = plugin.DoModal();
    user.Finish();
    ASSERT_EQ(call.result, S_OK) << "run " << run << ": " << win::Narrow(call.description);
    ASSERT_EQ(host->Record().moves.size(), 2u) << "run " << run;
    ASSERT_TRUE(user.Problems().empty()) << "run " << run << ": " << user.Problems().front();
    ASSERT_EQ(hostcom::LiveObjectCount(), 0) << "run " << run;
    if (run == 1) first = Measure();
    if (run == 50) atRun50 = Measure();
    if (run == kRuns) last = Measure();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "Soak: run 1: %d handles, %.2f MB private; run 50: %d handles, %.2f MB; run %d: %d "
      "handles, %.2f MB; %d runs in %.1f s\n",
      first.handles, first.privateMegabytes, atRun50.handles, atRun50.privateMegabytes, kRuns,
      last.handles, last.privateMegabytes, kRuns, seconds);
  RecordProperty("HandlesRun1", first.handles);
  RecordProperty("HandlesRun200", last.handles);

  // A handle kept per run would add 199; a few may come and go with Wine's own threads.
  EXPECT_LE(last.handles - first.handles, 8);
  // After the first runs have warmed the heaps up, 150 runs may not add half a megabyte: a leak of
  // a host object, a dialog or a log buffer per run would.
  EXPECT_LE(last.privateMegabytes - atRun50.privateMegabytes, 0.5);
  EXPECT_GT(first.privateMegabytes, 0.0);
  EXPECT_GT(first.handles, 0);  // the counting itself works
}

}  // namespace
}  // namespace corvane::testhost
