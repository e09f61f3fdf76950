// The monitor following the files a run writes: a log written line by line (and torn anywhere)
// ends with the figures corvane-log prints for it; a second run replaces the first, in a new file
// or appended; a file from another program, a bad line, a deleted file and a folder it cannot read
// are named while it keeps following; the newest run is the one followed; a long night's run stays
// in flat memory.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "logtools/Analysis.h"
#include "monitor/Graph.h"
#include "monitor/Monitor.h"
#include "monitor/Texts.h"
#include "tests/monitor/Files.h"
#include "tests/monitor/Logs.h"

namespace corvane::monitor {
namespace {

using test::Append;
using test::LinesOf;
using test::SimulatedLog;
using test::TempFolder;
using test::Write;

constexpr double kNight = 1.7e9;  // a moment in 2023, UTC

struct Following {
  TempFolder folder;
  StandardFileAccess files;
  std::string log = folder.File("Corvane.csv");
  Monitor monitor{files, Sources{{log}, ""}};
  double now = kNight;

  bool Poll(double seconds = 1.0) {
    now += seconds;
    bool changed = monitor.Poll(now);
    while (monitor.CatchingUp()) changed = monitor.Poll(now) || changed;
    return changed;
  }
  ViewTexts Texts(Span span = Span::All, std::optional<double> scale = std::nullopt) const {
    return MakeTexts(monitor, span, scale, now);
  }
};

// Writes the log as the plug-in does, one line a second, each line torn at a random place
// between two polls.
void WriteLive(Following& f, const std::string& log, std::uint32_t seed) {
  std::mt19937 random(seed);
  for (const std::string& line : LinesOf(log)) {
    const std::size_t cut = std::uniform_int_distribution<std::size_t>(0, line.size())(random);
    Append(f.log, line.substr(0, cut));
    f.Poll(0.5);
    Append(f.log, line.substr(cut));
    f.Poll(0.5);
  }
}

logtools::RunFigures CorvaneLogStats(const std::string& log) {
  return logtools::Analyse(guidelog::ParseLog(log).runs.back(), {});
}

TEST(Monitor, FollowsALogAsItIsWrittenAndEndsWithTheFiguresCorvaneLogPrints) {
  Following f;
  f.Poll();
  EXPECT_NE(f.monitor.Status().find("Waiting for a run"), std::string::npos);
  const std::string log = SimulatedLog(400, 3);
  Write(f.log, "");
  WriteLive(f, log, 1);

  const auto stats = CorvaneLogStats(log);
  const ViewTexts v = f.Texts();
  EXPECT_EQ(v.cycles, "400");
  EXPECT_EQ(v.problem, "");
  EXPECT_EQ(v.axisA, "X");
  EXPECT_EQ(v.runA.rms, DistanceText(stats.x.rms, std::nullopt));
  EXPECT_EQ(v.runB.rms, DistanceText(stats.y.rms, std::nullopt));
  EXPECT_EQ(f.Texts(Span::All, 1.5).runA.rms, DistanceText(stats.x.rms, 1.5));
  // The same sums in the same order: the same numbers, not just the same digits.
  const SpanFigures whole = f.monitor.Run()->Figures(std::nullopt);
  EXPECT_EQ(whole.a.rms, stats.x.rms);
  EXPECT_EQ(whole.b.rms, stats.y.rms);
  EXPECT_EQ(whole.a.peakToPeak, stats.x.peakToPeak);

  // A cycle a second: the last 5 minutes are the last 300 or 301 cycles, whose figures are
  // corvane-log's for those rows.
  const SpanFigures five = f.monitor.Run()->Figures(300.0);
  ASSERT_GE(five.cycles, 300u);
  ASSERT_LE(five.cycles, 301u);
  guidelog::LogRun last = guidelog::ParseLog(log).runs.back();
  last.rows.erase(last.rows.begin(), last.rows.end() - static_cast<long>(five.cycles));
  EXPECT_DOUBLE_EQ(five.a.rms, logtools::Analyse(last, {}).x.rms);
  EXPECT_EQ(f.Texts(Span::Minutes5).spanTitle, "Last 5 min");
  EXPECT_EQ(f.Texts().lastCycle, "0 s ago");  // half a second after the last line
  EXPECT_NEAR(f.monitor.Run()->CycleSeconds(), 1.0, 1e-9);
}

TEST(Monitor, ASecondRunReplacesTheFirstInANewFileOrAppended) {
  Following f;
  const std::string first = SimulatedLog(60, 4), second = SimulatedLog(25, 5);
  Write(f.log, first);
  f.Poll();
  EXPECT_EQ(f.Texts().cycles, "60");
  EXPECT_FALSE(f.monitor.Live() && f.monitor.Run()->LiveCycles() > 0);

  Write(f.log, "");  // the next run empties the file and writes it again
  f.Poll();
  WriteLive(f, second, 2);
  ViewTexts v = f.Texts();
  EXPECT_EQ(v.cycles, "25");
  EXPECT_NE(v.status.find("a new run began at"), std::string::npos) << v.status;
  EXPECT_EQ(v.runA.rms, DistanceText(CorvaneLogStats(second).x.rms, std::nullopt));

  Append(f.log, first);  // a run appended after it: the file's last run is the one shown
  f.Poll();
  EXPECT_EQ(f.Texts().cycles, "60");
  EXPECT_EQ(f.Texts().runA.rms, DistanceText(CorvaneLogStats(first).x.rms, std::nullopt));
}

TEST(Monitor, NamesBadInputAndKeepsFollowing) {
  Following f;
  const std::string log = SimulatedLog(30, 6);
  const std::vector<std::string> lines = LinesOf(log);

  Write(f.log, "Date,Time,Temperature\r\n2024-05-01,22:00,12.5\r\n");  // another program's
  f.Poll();
  EXPECT_NE(f.monitor.Problem().find("is not a Corvane guide log"), std::string::npos)
      << f.monitor.Problem();
  EXPECT_EQ(f.monitor.Run(), nullptr);

  std::string bad = lines[2];
  bad.replace(bad.find(','), bad.find(',', bad.find(',') + 1) - bad.find(','), ",2O0");
  Write(f.log, lines[0] + lines[1] + bad);  // replaced by a log with a bad line
  f.Poll();
  EXPECT_NE(f.monitor.Problem().find("Line 3 of " + f.log + " is skipped"), std::string::npos)
      << f.monitor.Problem();
  EXPECT_NE(f.monitor.Problem().find("item 2 (\"2O0\") is not a number"), std::string::npos);
  Append(f.log, lines[2] + lines[3]);
  f.Poll();
  EXPECT_EQ(f.Texts().cycles, "3");
  EXPECT_EQ(f.monitor.SkippedLines(), 1u);

  std::filesystem::remove(f.log);
  f.Poll();
  EXPECT_NE(f.monitor.Problem().find("is gone"), std::string::npos);
  EXPECT_EQ(f.Texts().cycles, "3");  // the run stays shown
  Write(f.log, lines[0] + lines[1]);
  f.Poll();
  EXPECT_EQ(f.monitor.Problem(), "");
  EXPECT_EQ(f.Texts().cycles, "1");

  // A binary file of one endless line.
  Write(f.log, std::string(200000, '\x01'));
  f.Poll();
  EXPECT_NE(f.monitor.Problem().find("longer than any line"), std::string::npos);
}

TEST(Monitor, FollowsTheNewestRunAndTheFileTheUserOpened) {
  TempFolder folder;
  StandardFileAccess files;
  const std::string root = folder.File("Corvane.csv"), documents = folder.File("Documents.csv");
  const std::string records = folder.File("Corvane");
  Write(records, "a file where the record folder should be");
  Monitor monitor(files, Sources{{root, documents}, records});
  const std::string log = SimulatedLog(10, 7);
  Write(root, log);
  std::filesystem::last_write_time(
      root, std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
  Write(documents, log.substr(0, LinesOf(log)[0].size() + LinesOf(log)[1].size()));
  double now = kNight;
  monitor.Poll(now);
  EXPECT_EQ(monitor.Path(), documents);  // the newer of the two
  EXPECT_NE(monitor.Problem().find("The folder " + records + " cannot be read"), std::string::npos)
      << monitor.Problem();

  std::filesystem::remove(records);
  std::filesystem::create_directories(records);
  const std::string record = records + "/2024-05-01 22-13-05.csv";
  Write(record, log);
  Write(records + "/notes.csv", log);  // not a record's name
  monitor.Poll(now += Monitor::kLookAroundSeconds);
  EXPECT_EQ(monitor.Path(), record);  // written with the log: the record is preferred
  EXPECT_EQ(monitor.Problem(), "");

  monitor.Open(root);
  monitor.Poll(now += Monitor::kLookAroundSeconds);
  EXPECT_EQ(monitor.Path(), root);  // opened: kept, though older
  EXPECT_NE(monitor.Status().find("Showing " + root), std::string::npos);
  EXPECT_EQ(MakeTexts(monitor, Span::All, std::nullopt, now).cycles, "10");
  monitor.FollowNewest();
  monitor.Poll(now += 1);
  EXPECT_EQ(monitor.Path(), record);
}

TEST(Monitor, ATenHourRunStaysInFlatMemoryWithFiguresExactAndTheGraphWhole) {
  Following f;
  const std::string log = test::SyntheticLog(36000, 8);
  Write(f.log, log);
  f.Poll();
  const RunState& run = *f.monitor.Run();
  EXPECT_EQ(run.Cycles(), 36000u);
  EXPECT_EQ(run.Recent().Size(), RunState::kRecent);
  EXPECT_LE(run.All().Buckets().size(), Overview::kBuckets);
  EXPECT_EQ(run.All().Buckets().front().first, 1u);
  // Every row once, in order, read over many steps: the sums corvane-log's figures come from.
  const guidelog::LogFile parsed = guidelog::ParseLog(log);
  logtools::AxisAccumulator x;
  for (const guidelog::LogRow& row : parsed.runs.back().rows) x.Add(row.xoff);
  EXPECT_EQ(run.Figures(std::nullopt).a.rms, x.Figures().rms);
  // The graph of the whole run, from the buckets, still holds its extremes.
  const GraphModel graph = MakeGraph(run, Span::All, std::nullopt, 700);
  double highest = -1e300, lowest = 1e300;
  for (const guidelog::LogRow& row : parsed.runs.back().rows) {
    highest = std::max(highest, row.xoff);
    lowest = std::min(lowest, row.xoff);
  }
  double shownHigh = -1e300, shownLow = 1e300;
  for (const GraphPoint& p : graph.a) {
    shownHigh = std::max(shownHigh, p.value);
    shownLow = std::min(shownLow, p.value);
  }
  EXPECT_EQ(shownHigh, highest);
  EXPECT_EQ(shownLow, lowest);
  EXPECT_LE(graph.a.size(), 2u * 700u);
  EXPECT_DOUBLE_EQ(graph.from, run.TimeOfCycle(1, kUnknownTime));
  // No time in the log and none seen arriving: spaced by the assumed cycle, ending at the file's
  // last write.
  EXPECT_TRUE(run.TimesEstimated());
  EXPECT_NEAR(run.LastTime() - run.TimeOf(run.Recent()[0]),
              (RunState::kRecent - 1) * RunState::kAssumedCycleSeconds, 1e-6);
}

}  // namespace
}  // namespace corvane::monitor
