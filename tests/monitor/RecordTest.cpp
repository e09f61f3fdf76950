// The monitor following a night's record as the run writes it: the newest record is followed (the
// guide log when there is none), each line torn anywhere, and it ends with the figures corvane-log
// prints for that record (in the mount's axes, from the record's guider angle), each cycle at the
// record's own time and each star in its recorded state; the next run's record is picked up by
// itself; a record cut off by a crash, a setting changed mid-run and a bad line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "guidelog/Record.h"
#include "logtools/Analysis.h"
#include "logtools/RecordSettings.h"
#include "monitor/Monitor.h"
#include "monitor/Texts.h"
#include "sim/run/Simulation.h"
#include "tests/monitor/Files.h"
#include "tests/monitor/Logs.h"

namespace corvane::monitor {
namespace {

using test::Append;
using test::LinesOf;
using test::TempFolder;
using test::Write;

// A simulated night of five stars with a cloud over the first one for a while.
std::string Night(int cycles, std::uint64_t seed) {
  sim::SimulationSettings s;
  s.observatory.seed = seed;
  sim::ScriptedEvent stop, cloud;
  stop.afterCycles = cycles;
  cloud.kind = sim::ScriptedEvent::Kind::Cloud;
  cloud.afterCycles = cycles / 3;
  cloud.durationSeconds = 30;
  cloud.transmission = 0.0005;
  cloud.stars = {0};
  s.observatory.events = {stop, cloud};
  return sim::RunSimulation(s).record;
}

logtools::RunFigures CorvaneLogStats(const guidelog::Record& record) {
  std::vector<std::string> notes;
  return logtools::Analyse(record.run, logtools::SettingsFromRecord(record, {}, false, notes));
}

struct Records {
  TempFolder folder;
  StandardFileAccess files;
  std::string log = folder.File("Corvane.csv"), records = folder.File("Corvane");
  Monitor monitor{files, Sources{{log}, records}};
  double now = 1.7e9;

  Records() { std::filesystem::create_directories(records); }
  std::string Record(const std::string& name) const { return JoinPath(records, name); }
  void Poll(double seconds) {
    now += seconds;
    monitor.Poll(now);
    while (monitor.CatchingUp()) monitor.Poll(now);
  }
  ViewTexts Texts() const { return MakeTexts(monitor, Span::All, std::nullopt, now); }
};

TEST(MonitorRecord, FollowsTheNewestRecordAsItIsWrittenAndTheNextRunsByItself) {
  Records f;
  Write(f.log, test::SimulatedLog(20, 9));  // an older run's guide log
  f.Poll(1);
  EXPECT_EQ(f.monitor.Path(), f.log);

  const std::string text = Night(90, 3);
  const std::string path = f.Record("2024-01-01 22-00-00.csv");
  Write(path, "");
  std::mt19937 random(4);
  for (const std::string& line : LinesOf(text)) {
    const std::size_t cut = std::uniform_int_distribution<std::size_t>(0, line.size())(random);
    Append(path, line.substr(0, cut));
    f.Poll(0.5);
    Append(path, line.substr(cut));
    f.Poll(0.5);
  }
  EXPECT_EQ(f.monitor.Path(), path);
  EXPECT_EQ(f.monitor.Problem(), "");
  const guidelog::Record record = guidelog::ParseRecord(text);
  const logtools::RunFigures stats = CorvaneLogStats(record);
  ASSERT_TRUE(stats.ra && stats.dec);
  const ViewTexts v = f.Texts();
  EXPECT_EQ(v.cycles, std::to_string(record.cycles.size()));
  EXPECT_EQ(v.axisA, "RA");
  EXPECT_EQ(v.runA.rms, DistanceText(stats.ra->rms, std::nullopt));
  EXPECT_EQ(v.runB.rms, DistanceText(stats.dec->rms, std::nullopt));
  EXPECT_NE(v.status.find("a new run began at"), std::string::npos) << v.status;

  // The record's clock: its start (UTC) and each cycle's milliseconds, not the arrivals.
  const RunState& run = *f.monitor.Run();
  const double start = *guidelog::SecondsSince1970(record.startUtc);
  EXPECT_DOUBLE_EQ(run.LastTime(), start + static_cast<double>(record.cycles.back().ms) / 1000.0);
  EXPECT_FALSE(run.TimesEstimated());
  EXPECT_EQ(run.Info().exposureSeconds, record.setup->duration);
  // The cloud: the first star was recorded not found for a while, and the others never.
  int notFound = 0;
  for (const guidelog::RecordCycle& cycle : record.cycles)
    notFound += cycle.states[0] == "not-found";
  ASSERT_GT(notFound, 3);
  EXPECT_EQ(run.Stars()[1].state, StarState::Used);
  EXPECT_EQ(run.Stars().size(), record.stars.size());

  // The next run writes a record of its own: followed by itself, from its first lines.
  const std::string next = Night(10, 5);
  const std::string nextPath = f.Record("2024-01-01 23-10-00.csv");
  Write(nextPath, next.substr(0, next.find("\ncycle,")));
  f.Poll(Monitor::kLookAroundSeconds);
  EXPECT_EQ(f.monitor.Path(), nextPath);
  EXPECT_EQ(f.Texts().cycles, "0");
  Write(nextPath, next);
  f.Poll(1);
  EXPECT_EQ(f.Texts().cycles, "10");
}

TEST(MonitorRecord, ACrashAChangedSettingAndABadLine) {
  std::ifstream data(std::string(CORVANE_TEST_DATA) + "/changed-setting.csv", std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(data), {});
  Records f;
  const std::string path = f.Record("2024-05-01 22-13-05.csv");

  // Cut off by a crash inside cycle 4's line: three cycles, nothing named, still followed.
  const std::size_t cycle4 = text.find("\ncycle,24600,4,") + 1;
  Write(path, text.substr(0, cycle4 + 30));
  f.Poll(1);
  EXPECT_EQ(f.Texts().cycles, "3");
  EXPECT_EQ(f.monitor.Problem(), "");

  // The host's angle went from 0 to 90 at cycle 3: each cycle in the axes it was guided in.
  const RunState& run = *f.monitor.Run();
  const guidelog::Record record = guidelog::ParseRecord(text);
  for (std::size_t c = 0; c < 3; ++c) {
    const guidelog::LogRow& row = record.run.rows[c];
    const logtools::MountOffset m = logtools::ToMountAxes(
        row.xoff, row.yoff, record.cycles[c].settings.at("GuiderAngle"), false);
    EXPECT_DOUBLE_EQ(run.Recent()[c].a, m.ra) << c;
    EXPECT_DOUBLE_EQ(run.Recent()[c].b, m.dec) << c;
  }
  EXPECT_EQ(run.Stars()[1].state, StarState::NotFound);  // as cycle 3 recorded it (SN 2.5)

  // A bad number in cycle 4: named with its line, skipped, and the record read on.
  std::string rest = text.substr(cycle4);
  rest.replace(rest.find(",-1,0.5,"), 8, ",-1,O.5,");
  Write(path, text.substr(0, cycle4) + rest);
  f.Poll(1);
  const int line4 = static_cast<int>(std::count(text.begin(), text.begin() + cycle4, '\n')) + 1;
  EXPECT_NE(f.monitor.Problem().find("Line " + std::to_string(line4) + " of " + path +
                                     " is skipped: Yoff (\"O.5\") is not a number"),
            std::string::npos)
      << f.monitor.Problem();
  EXPECT_EQ(f.Texts().cycles, "4");
  EXPECT_EQ(f.monitor.SkippedLines(), 1u);  // its pulses go with it, unnamed
}

}  // namespace
}  // namespace corvane::monitor
