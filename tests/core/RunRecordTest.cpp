// The run's record: its text, what a run puts into it (cycles, pulses, star states, settings as
// read, messages, every end), and that a record that cannot be created or written changes
// nothing of the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "guiding/RecordFormat.h"
#include "hostkit/Rig.h"

namespace corvane::testing {
namespace {

using Lines = std::vector<std::string>;

// The fields of a record line (quoted texts taken whole, their quotes removed).
Lines Fields(const std::string& line) {
  Lines fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// The record's lines of one kind.
Lines OfKind(const Rig& rig, const std::string& kind) {
  Lines lines;
  for (const std::string& line : rig.RecordLines()) {
    if (line.rfind(kind + ",", 0) == 0) lines.push_back(line);
  }
  return lines;
}

Lines Texts(const Lines& lines, std::size_t field) {
  Lines texts;
  for (const std::string& line : lines) texts.push_back(Fields(line).at(field));
  return texts;
}

// The clock moves 10 ms at every step of the run the rig records.
void TenMillisecondsAStep(Rig& rig) {
  auto before = rig.script.onEntry;
  rig.script.onEntry = [&rig, before](const std::string& entry) {
    rig.env.milliseconds += 10;
    if (before) before(entry);
  };
}

TEST(RecordText, NamesTimesAndTexts) {
  const CivilTime start{2024, 5, 1, 22, 13, 5, 999};
  EXPECT_EQ(record::FileName(start), "2024-05-01 22-13-05.csv");
  EXPECT_EQ(record::FileName(start, 2), "2024-05-01 22-13-05 (2).csv");
  EXPECT_EQ(record::CivilText({2024, 1, 9, 3, 4, 5, 0}), "2024-01-09 03:04:05");
  EXPECT_EQ(record::DaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(record::DaysFromCivil(2000, 3, 1), 11017);
  EXPECT_EQ(record::DaysFromCivil(1969, 12, 31), -1);
  // Across a leap day and a year's end, ahead of UTC and behind it.
  EXPECT_EQ(record::UtcOffsetMinutes({{2024, 2, 29, 23, 30, 0, 0}, {2024, 3, 1, 1, 0, 0, 0}}), 90);
  EXPECT_EQ(record::UtcOffsetMinutes({{2024, 1, 1, 2, 0, 0, 0}, {2023, 12, 31, 19, 0, 0, 0}}),
            -420);
  EXPECT_EQ(record::LineBuilder("message", 7).Text("a \"b\", c\r\nd").Line(),
            "message,7,\"a \"\"b\"\", c  d\"\r\n");
  EXPECT_EQ(Fields("message,7,\"a \"\"b\"\", c\""), (Lines{"message", "7", "a \"b\", c"}));
}

TEST(RecordText, AStarIsUsedNotFoundOrBelowTheMinimumSN) {
  GuideStar star;
  star.TookPart = true;
  star.SN = 0.0f;
  EXPECT_EQ(record::StateOf(star), record::StarState::Used);  // what the run did comes first
  star.TookPart = false;
  for (const float sn : {2.99f, 0.0f, -4.0f, std::numeric_limits<float>::quiet_NaN()}) {
    star.SN = sn;
    EXPECT_EQ(record::StateOf(star), record::StarState::NotFound) << sn;
  }
  star.SN = 3.0f;
  EXPECT_EQ(record::StateOf(star), record::StarState::BelowMinSN);
}

// The worked example of the guide (one star found 2 px right and 1 px up, one cycle, then the
// host's aggressiveness reads 0), with the clock moving 10 ms a step: the whole record.
TEST(RunRecord, TheWorkedExampleAsRecorded) {
  Rig rig;
  rig.env.keepRecord = true;
  rig.Settings({"1", "3", "1", "2", "0.01", "2", "15"});
  rig.script.clicks = {{100.4, 200.6}};
  rig.script.centroids = {{100.0, 200.0, 40.0}, {102.0, 199.0, 40.0}};
  rig.StopAfterCycles(1);
  TenMillisecondsAStep(rig);
  rig.DoModal();
  EXPECT_EQ(rig.env.recordBytes,
            "corvane-record,0,1,\"" CORVANE_VERSION
            "\",\"2024-05-01 22:13:05\",\"2024-05-01 20:13:05\",120\r\n"
            "#corvane-record,ms,format,version,start_local,start_utc,utc_offset_minutes\r\n"
            "#initial,ms,duration\r\n"
            "#setup,ms,NumberStars,MinSN,MinStars,Duration,MinMove,MaxMove,Border,"
            "PredictPeriodicError\r\n"
            "#sensor,ms,GuiderXSize,GuiderYSize\r\n"
            "#star,ms,star,click_x,click_y,x,y,sn\r\n"
            "#setting,ms,cycle,name,value\r\n"
            "#pulse,ms,cycle,direction,seconds,end_ms\r\n"
            "#event,ms,name,value\r\n"
            "#message,ms,text\r\n"
            "#end,ms,how,cycles,failure,code,text\r\n"
            "#record-problem,ms,what,text\r\n"
            "initial,30,6\r\n"
            "sensor,140,640,480\r\n"
            "setup,160,1,3,1,2,0.01,2,15,0\r\n"
            "#cycle,ms,cycle,exposure_start_ms,exposure_end_ms,Xave,Yave,Xoff,Yoff,Xtim,Ytim,"
            "used,participation,Xpos1,Ypos1,Xoff1,Yoff1,SN1,state1\r\n"
            "star,260,1,100.4,200.6,100,200,40\r\n"
            "event,290,guiding-begins,\r\n"
            "setting,380,1,GuiderAngle,0\r\n"
            "setting,390,1,GuiderDeclination,0\r\n"
            "setting,400,1,GuiderReverseX,0\r\n"
            "setting,410,1,GuiderAggressiveness,10\r\n"
            "setting,420,1,GuiderXSpeed,5\r\n"
            "setting,440,1,GuiderYSpeed,5\r\n"
            "cycle,460,1,300,320,102,199,2,-1,0.2,-0.1,1,all,102,199,2,-1,40,used\r\n"
            "setting,470,1,GuiderOutputEnables,15\r\n"
            "pulse,470,1,0,0.2,490\r\n"
            "pulse,520,1,3,0.1,540\r\n"
            "setting,550,1,GuiderAggressiveness,0\r\n"
            "end,560,stopped-by-aggressiveness,1,,,\"\"\r\n");
  EXPECT_TRUE(rig.env.recordClosed);
  // Milliseconds 300 and 320: the guide exposure was asked for after 30 steps and seen to have
  // ended two steps later; the guide log's row has the cycle line's numbers.
  EXPECT_EQ(rig.LogLines()[1], "102,199,2,-1,0.2,-0.1,102,199,2,-1,40,\"\"");
}

// Three stars, MinSN 5 and MinStars 2: all used; one not found and one below the minimum (too
// few: no pulse); the second back (enough: the mean of the two stars' own offsets).
TEST(RunRecord, EachStarsStateAndHowTheCycleUsedThem) {
  Rig rig;
  rig.env.keepRecord = true;
  rig.Settings({"3", "5", "2", "2", "0.01", "2", "15"});
  rig.script.clicks = {{10, 10}, {50, 50}, {90, 90}};
  rig.script.centroids = {{10, 10, 40}, {50, 50, 40}, {90, 90, 40},     // picks
                          {11, 10, 40}, {51, 50, 40}, {91, 90, 40},     // cycle 1
                          {11, 10, 40}, {55, 53, 1},  {91, 90, 4},      // cycle 2
                          {12, 10, 40}, {52, 50, 20}, {93, 99, 4.9f}};  // cycle 3
  // Aggressiveness read three times a cycle, once in the cycle without a correction; 0 last.
  rig.script.guiderAggressiveness.queue = {10, 10, 10, 10, 10, 10, 0};
  rig.DoModal();
  const Lines cycles = OfKind(rig, "cycle");
  ASSERT_EQ(cycles.size(), 3u);
  const Lines log = rig.LogLines();
  for (std::size_t c = 0; c < cycles.size(); ++c) {
    const Lines f = Fields(cycles[c]);
    ASSERT_EQ(f.size(), 13u + 3u * 6u);
    EXPECT_EQ(f[2], std::to_string(c + 1));
    // Everything the guide log's row has, with the same text: the means and pulses, then each
    // star's five values, followed here by the star's state.
    const Lines row = Fields(log[c + 1]);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(f[5 + i], row[i]) << c << " " << i;
    for (std::size_t s = 0; s < 3; ++s) {
      for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(f[13 + 6 * s + i], row[6 + 5 * s + i]);
    }
  }
  auto states = [](const std::string& line) {
    const Lines f = Fields(line);
    return Lines{f[11], f[12], f[18], f[24], f[30]};
  };
  EXPECT_EQ(states(cycles[0]), (Lines{"3", "all", "used", "used", "used"}));
  EXPECT_EQ(states(cycles[1]), (Lines{"1", "too-few", "used", "not-found", "below-min-sn"}));
  EXPECT_EQ(states(cycles[2]), (Lines{"2", "enough", "used", "used", "below-min-sn"}));
  // The cycle with too few stars sent no pulse; the others sent theirs, each with its cycle.
  EXPECT_EQ(Texts(OfKind(rig, "pulse"), 2), (Lines{"1", "3"}));
}

// The host's guider settings: each as first read, then only a change, with the cycle whose
// read saw it; the correction and pulses use what was read.
TEST(RunRecord, TheGuiderSettingsAsReadAndEachChange) {
  Rig rig;
  rig.env.keepRecord = true;
  rig.Settings({"1", "3", "1", "2", "0.01", "2", "15"});
  hostkit::GuiderSettings turned, halved;
  turned.angleDeg = 90;
  halved = turned;
  halved.aggressiveness = 5;
  halved.outputEnables = 13;
  rig.host.Script().settingsPerCycle = {{}, turned, turned, halved};
  rig.host.Script().aggressivenessZeroFromCycle = 4;  // the fifth cycle
  rig.DoModal();
  const Lines settings = OfKind(rig, "setting");
  Lines said;
  for (const std::string& line : settings) {
    const Lines f = Fields(line);
    said.push_back(f[2] + " " + f[3] + " " + f[4]);
  }
  EXPECT_EQ(said, (Lines{"1 GuiderAngle 0", "1 GuiderDeclination 0", "1 GuiderReverseX 0",
                         "1 GuiderAggressiveness 10", "1 GuiderXSpeed 5", "1 GuiderYSpeed 5",
                         "1 GuiderOutputEnables 15", "2 GuiderAngle 90", "4 GuiderAggressiveness 5",
                         "4 GuiderOutputEnables 13", "5 GuiderAggressiveness 0"}));
  EXPECT_EQ(Fields(OfKind(rig, "end").back())[2], "stopped-by-aggressiveness");
}

// Every way a run ends is the record's last line, with the cycles written, and every message
// the user saw is in the record, in order.
TEST(RunRecord, EveryEndIsRecorded) {
  struct Case {
    const char* how;
    std::function<void(Rig&)> setUp;
    std::size_t cycles;
  };
  const std::vector<Case> cases{
      {"initial-cancelled",
       [](Rig& r) {
         r.env.initialExposureShowings = {{{false, {}}}};
       },
       0},
      {"camera-link-refused", [](Rig& r) { r.script.linkEnabled.queue = {false}; }, 0},
      {"telescope-refused", [](Rig& r) { r.script.telescopeConnected.queue = {false}; }, 0},
      {"setup-cancelled",
       [](Rig& r) {
         r.env.guideSetupShowings = {{{false, {}}}};
       },
       0},
      {"no-guider-image", [](Rig& r) { r.script.documents.queue = {{"Image"}}; }, 0},
      {"stopped-by-aggressiveness", [](Rig& r) { r.StopAfterCycles(2); }, 2},
      {"stopped-by-camera-event",
       [](Rig& r) {
         r.Event15At("camera.GuiderRunning", 2);  // during the second guide exposure
       },
       2},
      {"camera-disconnected",
       [](Rig& r) {
         r.script.linkEnabled.queue = {true, true, false};
       },
       1},
      {"guider-image-closed",
       [](Rig& r) {
         r.script.documents.queue = {{"Autoguider Image"}, {"Autoguider Image"}, {"Other"}};
       },
       1},
      {"failed",
       [](Rig& r) {
         r.script.guiderXSpeed.queue = {5.0, 0.0};
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    Rig rig;
    rig.env.keepRecord = true;
    rig.Settings({"1", "3", "1", "2", "0.01", "2", "15"});
    c.setUp(rig);
    try {
      rig.DoModal();
    } catch (const RunFailure&) {
      EXPECT_EQ(std::string(c.how), "failed");
    }
    const Lines lines = rig.RecordLines();
    ASSERT_FALSE(lines.empty());
    const Lines end = Fields(lines.back());
    ASSERT_EQ(end.size(), 7u);
    EXPECT_EQ(end[0], "end");
    EXPECT_EQ(end[2], c.how);
    EXPECT_EQ(end[3], std::to_string(c.cycles));
    EXPECT_EQ(OfKind(rig, "cycle").size(), c.cycles);
    EXPECT_EQ(OfKind(rig, "end").size(), 1u);
    EXPECT_EQ(Texts(OfKind(rig, "message"), 2), rig.env.messages);
    EXPECT_TRUE(rig.env.recordClosed);
  }
}

TEST(RunRecord, AFailureIsRecordedWithItsKindCodeAndText) {
  Rig rig;
  rig.env.keepRecord = true;
  rig.Settings({"1", "3", "1", "2", "0.01", "2", "15"});
  rig.script.centroids = {{100.0, 100.0, 40.0}, {102.0, 99.0, 40.0}};
  rig.script.guiderMoving.queue = {true};
  // The host fails at the second read of GuiderMoving: the pulse was sent, its end never seen.
  int movingReads = 0;
  rig.script.onEntry = [&](const std::string& entry) {
    if (entry == "camera.GuiderMoving" && ++movingReads == 2) {
      throw RunFailure(FailureKind::Host, "Guider, \"not\" responding",
                       static_cast<std::int32_t>(0x80040200u));
    }
  };
  EXPECT_THROW(rig.DoModal(), RunFailure);
  const Lines pulses = OfKind(rig, "pulse");
  ASSERT_EQ(pulses.size(), 1u);
  EXPECT_EQ(Fields(pulses[0]).back(), "");  // no end
  EXPECT_EQ(Fields(OfKind(rig, "end").at(0)),
            (Lines{"end", "0", "failed", "1", "host", "0x80040200", "Guider, \"not\" responding"}));
}

// A camera event before guiding begins is recorded and discarded; one during guiding stops it.
TEST(RunRecord, CameraEventsAndADiscardedStop) {
  Rig rig;
  rig.env.keepRecord = true;
  rig.Settings({"1", "3", "1", "2", "0.01", "2", "15"});
  int running = 0;
  rig.script.onEntry = [&](const std::string& entry) {
    if (entry != "camera.GuiderRunning") return;
    ++running;
    if (running == 1 || running == 3) rig.plugIn.CCDCamera_Notify(kStopEvent, rig.env);
  };
  rig.DoModal();
  Lines events;
  for (const std::string& line : OfKind(rig, "event")) {
    events.push_back(Fields(line)[2] + Fields(line)[3]);
  }
  EXPECT_EQ(events,
            (Lines{"camera-event15", "stop-discarded", "guiding-begins", "camera-event15"}));
  EXPECT_EQ(Fields(rig.RecordLines().back())[2], "stopped-by-camera-event");
  EXPECT_EQ(OfKind(rig, "cycle").size(), 2u);
}

// Two stars, waits that poll, pulses on both axes, three cycles (as the fault injection's run).
void ThreeCycles(Rig& rig) {
  rig.Settings({"2", "3", "1", "2", "0.01", "2", "15"});
  rig.script.guiderRunning.queue = {true, false, true, false, true, false, true, false};
  rig.script.guiderMoving.queue = {true, false, true, false, true, false};
  rig.script.clicks = {{50.0, 60.0}, {150.0, 160.0}};
  rig.script.centroids = {{50.0, 60.0, 30.0},   {150.0, 160.0, 30.0}, {52.0, 59.0, 30.0},
                          {152.0, 159.0, 30.0}, {53.0, 58.0, 30.0},   {153.0, 158.0, 30.0},
                          {51.0, 61.0, 30.0},   {151.0, 161.0, 30.0}};
  rig.StopAfterCycles(3);
}

// What the host saw but the sensor-size reads, which only a run that keeps a record makes.
Lines HostCallsButSensorSize(const Rig& rig) {
  Lines calls = rig.script.HostCalls();
  std::erase_if(calls, [](const std::string& call) {
    return call == "camera.GuiderXSize" || call == "camera.GuiderYSize";
  });
  return calls;
}

TEST(RunRecord, ARecordThatCannotBeWrittenChangesNothingOfTheRun) {
  Rig without;
  ThreeCycles(without);
  without.DoModal();

  Rig whole;
  whole.env.keepRecord = true;
  ThreeCycles(whole);
  whole.DoModal();
  EXPECT_EQ(HostCallsButSensorSize(whole), without.script.HostCalls());
  EXPECT_EQ(whole.script.Count("camera.GuiderXSize"), 1u);
  EXPECT_EQ(whole.env.logBytes, without.env.logBytes);
  EXPECT_TRUE(whole.env.messages.empty());
  const int lines = whole.env.recordLines;
  ASSERT_GT(lines, 30);

  // Every line lost in turn, from it to the end, and only it; then a record never created.
  struct Loss {
    std::string what;
    std::function<bool(int)> lost;
    bool created = true;
  };
  std::vector<Loss> losses;
  for (int from = 0; from < lines; ++from) {
    losses.push_back({"from line " + std::to_string(from), [from](int i) { return i >= from; }});
    losses.push_back({"line " + std::to_string(from), [from](int i) { return i == from; }});
  }
  losses.push_back({"not created", nullptr, false});
  for (const Loss& loss : losses) {
    SCOPED_TRACE(loss.what);
    Rig rig;
    rig.env.keepRecord = true;
    rig.env.recordLineLost = loss.lost;
    rig.env.failCreateRecord = !loss.created;
    ThreeCycles(rig);
    rig.DoModal();
    EXPECT_EQ(rig.script.HostCalls(), whole.script.HostCalls());
    EXPECT_EQ(rig.env.logBytes, without.env.logBytes);
    // The user is told once: at once when it cannot be created, else when the run has ended.
    ASSERT_EQ(rig.env.messages.size(), 1u);
    if (!loss.created) {
      EXPECT_EQ(rig.env.messages[0],
                "This run's record cannot be created: Access is denied. Guiding and the guide log "
                "are not affected.");
      EXPECT_LT(std::find(rig.script.timeline.begin(), rig.script.timeline.end(),
                          "env.Message(" + rig.env.messages[0] + ")"),
                std::find(rig.script.timeline.begin(), rig.script.timeline.end(), "app.create"));
      EXPECT_EQ(rig.env.recordBytes, "");
    } else {
      EXPECT_EQ(rig.env.messages[0].rfind("This run's record is incomplete: ", 0), 0u);
      EXPECT_NE(rig.env.messages[0].find("There is not enough space on the disk"),
                std::string::npos);
      EXPECT_EQ(rig.script.timeline.back(), "env.Message(" + rig.env.messages[0] + ")");
      if (loss.what.rfind("from ", 0) == 0) {
        // The lines before the loss, whole and as they were.
        const Lines before = rig.RecordLines();
        const Lines all = whole.RecordLines();
        EXPECT_EQ(before,
                  Lines(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(before.size())));
        EXPECT_EQ(rig.env.recordBytes.size() - before.size() * 2, [&] {
          std::size_t n = 0;
          for (const std::string& line : before) n += line.size();
          return n;
        }());
      } else {
        // The lost line is said where the record takes lines again.
        EXPECT_EQ(OfKind(rig, "record-problem").size(), 1u);
        EXPECT_EQ(rig.RecordLines().size(), static_cast<std::size_t>(lines) + 1);
      }
    }
    EXPECT_TRUE(rig.env.recordClosed);
  }
}

TEST(RunRecord, ASensorSizeTheHostCannotGiveIsTheRecordsProblemOnly) {
  Rig reference;
  reference.env.keepRecord = true;
  ThreeCycles(reference);
  reference.DoModal();
  const Lines calls = reference.script.HostCalls();
  const auto at = std::find(calls.begin(), calls.end(), "camera.GuiderYSize") - calls.begin();

  Rig rig;
  rig.env.keepRecord = true;
  ThreeCycles(rig);
  rig.script.failAtHostCall = static_cast<int>(at);
  rig.DoModal();
  EXPECT_EQ(rig.script.HostCalls(), calls);
  EXPECT_EQ(rig.env.logBytes, reference.env.logBytes);
  EXPECT_TRUE(rig.env.messages.empty());
  EXPECT_TRUE(OfKind(rig, "sensor").empty());
  ASSERT_EQ(OfKind(rig, "record-problem").size(), 1u);
  EXPECT_EQ(Fields(OfKind(rig, "record-problem")[0]),
            (Lines{"record-problem", "0", "sensor-size",
                   "GuiderXSize, GuiderYSize: " + rig.script.failureText}));
  EXPECT_EQ(Fields(rig.RecordLines().back())[2], "stopped-by-aggressiveness");
}

}  // namespace
}  // namespace corvane::testing
