// Reading a run's record: what the run wrote comes back (the guide log's rows, times, pulses,
// star states); a record cut off by a crash anywhere reads up to its last whole line; a setting
// changed mid-run is the cycles' own; a later format's extra fields and kinds, and a
// decimal-comma spreadsheet's save, read the same.
#include "guidelog/Record.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "sim/run/Simulation.h"

namespace corvane::guidelog {
namespace {

std::string DataFile(const std::string& name) {
  std::ifstream file(std::string(CORVANE_TEST_DATA) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// A simulated night: five stars, 60 cycles, a cloud over the brightest star for a while.
const sim::RunOutcome& Night() {
  static const sim::RunOutcome night = [] {
    sim::SimulationSettings s;
    sim::ScriptedEvent stop, cloud;
    stop.afterCycles = 60;
    cloud.kind = sim::ScriptedEvent::Kind::Cloud;
    cloud.afterCycles = 20;
    cloud.durationSeconds = 30;
    cloud.transmission = 0.0005;
    cloud.stars = {0};
    s.observatory.events = {stop, cloud};
    return sim::RunSimulation(s);
  }();
  return night;
}

TEST(Record, WhatTheRunWroteComesBack) {
  const sim::RunOutcome& night = Night();
  const Record record = ParseRecord(night.record);
  const LogRun log = ParseLog(night.log).runs.front();
  EXPECT_EQ(record.format, 1);
  EXPECT_EQ(record.startLocal, "2024-01-01 22:00:00");
  EXPECT_EQ(record.utcOffsetMinutes, 60);
  ASSERT_TRUE(record.setup);
  EXPECT_EQ(record.setup->numberStars, 5);
  EXPECT_EQ(record.setup->duration, 2.0);
  EXPECT_EQ(record.stars.size(), 5u);
  EXPECT_EQ(record.sensorWidth, 752.0);
  ASSERT_TRUE(record.end);
  EXPECT_EQ(record.end->how, "stopped-by-camera-event");
  EXPECT_FALSE(record.run.cutShort);

  // The guide log's rows, number for number, and when each frame arrived.
  ASSERT_EQ(record.run.rows.size(), log.rows.size());
  ASSERT_EQ(record.run.stars, 5);
  for (std::size_t c = 0; c < log.rows.size(); ++c) {
    const LogRow &a = record.run.rows[c], &b = log.rows[c];
    EXPECT_EQ(std::vector<double>({a.xave, a.yave, a.xoff, a.yoff, a.xtim, a.ytim}),
              std::vector<double>({b.xave, b.yave, b.xoff, b.yoff, b.xtim, b.ytim}));
    for (std::size_t s = 0; s < 5; ++s) EXPECT_EQ(a.stars[s].sn, b.stars[s].sn);
    const sim::CycleTruth& truth = night.cycles[c];
    const double arrived = truth.end + 0.3 - static_cast<double>(*record.guidingBeginsMs) / 1000.0;
    EXPECT_GE(record.run.seconds[c], arrived - 0.001) << c;
    EXPECT_LE(record.run.seconds[c], arrived + 0.101) << c;
    // Every pulse the mount received, in its cycle.
    ASSERT_EQ(record.cycles[c].pulses.size(), truth.pulses.size()) << c;
    for (std::size_t p = 0; p < truth.pulses.size(); ++p) {
      EXPECT_EQ(record.cycles[c].pulses[p].direction, truth.pulses[p].direction);
      EXPECT_NEAR(record.cycles[c].pulses[p].seconds, truth.pulses[p].seconds, 1e-7);
    }
  }
  // The clouded star was not found for a while; the others always used.
  int lost = 0;
  for (const RecordCycle& cycle : record.cycles) {
    lost += cycle.states[0] == "not-found" ? 1 : 0;
    for (std::size_t s = 1; s < 5; ++s) EXPECT_EQ(cycle.states[s], "used");
  }
  EXPECT_GT(lost, 5);
  EXPECT_EQ(record.cycles[0].settings.at("GuiderAggressiveness"), 14.0);
}

TEST(Record, ARecordCutOffByACrashReadsToItsLastWholeLine) {
  const std::string whole = Night().record;
  const Record full = ParseRecord(whole);
  for (std::size_t cut = 40; cut < whole.size(); cut += 137) {
    SCOPED_TRACE("cut after " + std::to_string(cut) + " bytes");
    const std::string_view text(whole.data(), cut);
    const Record record = ParseRecord(text);
    // The cycles whose lines were whole, as the full record has them.
    const std::size_t lastLineEnd = text.rfind('\n') + 1;  // 0: inside the first line
    const std::size_t cycles = record.cycles.size();
    EXPECT_EQ(record.run.rows.size(), cycles);
    if (cycles > 0) {
      EXPECT_EQ(record.cycles.back().ms, full.cycles[cycles - 1].ms);
      EXPECT_EQ(record.run.rows.back().xoff, full.run.rows[cycles - 1].xoff);
    }
    if (lastLineEnd > 0) {
      EXPECT_EQ(ParseRecord(whole.substr(0, lastLineEnd)).cycles.size(), cycles);
    }
    EXPECT_EQ(record.run.cutShort, lastLineEnd != cut);
    EXPECT_FALSE(record.end);
  }
}

TEST(Record, ASettingChangedMidRunIsTheCyclesThatReadIt) {
  const Record record = ParseRecord(DataFile("changed-setting.csv"));
  ASSERT_EQ(record.cycles.size(), 5u);
  std::vector<double> angles;
  for (const RecordCycle& cycle : record.cycles) angles.push_back(cycle.settings.at("GuiderAngle"));
  EXPECT_EQ(angles, (std::vector<double>{0, 0, 90, 90, 90}));
  EXPECT_EQ(PrevailingSettings(record).at("GuiderAngle"), 90.0);
  EXPECT_EQ(PrevailingSettings(record).at("GuiderAggressiveness"), 10.0);
  EXPECT_EQ(SettingChangesText(record), std::vector<std::string>{"GuiderAngle 0 -> 90 at cycle 3"});
  EXPECT_EQ(record.cycles[2].states, (std::vector<std::string>{"used", "not-found"}));
  EXPECT_EQ(record.cycles[2].participation, "enough");
  EXPECT_EQ(record.messages.at(0).text, "EventCode 15 received");
  EXPECT_EQ(record.run.seconds, (std::vector<double>{2.4, 5.0, 7.4, 10.1, 12.7}));
}

TEST(Record, ALaterFormatAndASpreadsheetsSaveReadTheSame) {
  const std::string text = DataFile("changed-setting.csv");
  const Record plain = ParseRecord(text);

  // Fields appended to a kind, and a kind this reader does not know.
  std::string later = text;
  const auto replace = [&later](const std::string& from, const std::string& to) {
    later.replace(later.find(from), from.size(), to);
  };
  replace("MaxMove,Border\r\n", "MaxMove,Border,PredictPeriodicError\r\n");
  replace("setup,11400,2,3,1,2,0.01,2,15\r\n",
          "setup,11400,2,3,1,2,0.01,2,15,1\r\nguider-temperature,11500,-10.5\r\n");
  const Record read = ParseRecord(later);
  EXPECT_EQ(read.setup->more.at("PredictPeriodicError"), "1");
  EXPECT_EQ(read.skippedLines, 1);
  EXPECT_EQ(read.cycles.size(), plain.cycles.size());

  // Semicolons between the fields and decimal commas.
  std::string saved;
  bool quoted = false;
  for (const char c : text) {
    if (c == '"') quoted = !quoted;
    saved += quoted ? c : c == ',' ? ';' : c == '.' ? ',' : c;
  }
  const Record comma = ParseRecord(saved);
  ASSERT_EQ(comma.run.rows.size(), plain.run.rows.size());
  EXPECT_EQ(comma.run.rows[0].yave, 174.5);
  EXPECT_EQ(comma.cycles[0].pulses[1].seconds, 0.05);
  EXPECT_EQ(comma.version, "1.06");
}

TEST(Record, AnythingElseIsAnErrorNamingItsLine) {
  const std::string text = DataFile("changed-setting.csv");
  EXPECT_THROW(ParseRecord("\"Xave\",\"Yave\"\r\n"), LogError);
  std::string bad = text;
  bad.replace(bad.find("cycle,19500,2"), 13, "cycle,19500,x");
  try {
    ParseRecord(bad);
    FAIL();
  } catch (const LogError& e) {
    EXPECT_EQ(std::string(e.what()), "line 30: cycle (\"x\") is not a number");
  }
}

TEST(Record, LaterTimeAcrossAYearAndALeapDay) {
  EXPECT_EQ(LaterTime("2024-12-31 23:59:30", 45.4), "2025-01-01 00:00:15");
  EXPECT_EQ(LaterTime("2024-02-28 12:00:00", 86400.0), "2024-02-29 12:00:00");
}

}  // namespace
}  // namespace corvane::guidelog
