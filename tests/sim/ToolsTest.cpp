// The report's figures, and the simulator's command line.
#include <gtest/gtest.h>

#include "guidelog/LogFile.h"
#include "sim/cli/Options.h"
#include "sim/run/Simulation.h"

namespace corvane::sim {
namespace {

const char* const kOneStarLog =
    "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\",\"Xpos1\",\"Ypos1\",\"Xoff1\","
    "\"Yoff1\",\"SN1\",\"\"\r\n"
    "101.5,198.25,1.5,-1.75,0,0,101.5,198.25,1.5,-1.75,35.5,\"\"\r\n"
    "100.5,200,0.5,0,-0.0215480491969015,2,100.5,200,0.5,0,30,\"\"\r\n";

TEST(Report, GivesEachStarsMeanSNAndTheGuidedAndUnguidedFigures) {
  const auto log = guidelog::FirstRun(kOneStarLog);
  RunOutcome guided;
  guided.pulses = 3;
  guided.truth.totalRms = 0.25;
  ErrorSummary unguided;
  unguided.totalRms = 2.5;
  const Report report = MakeReport(*log, guided, unguided);
  EXPECT_EQ(report.cycles, 2);
  ASSERT_EQ(report.starMeanSN.size(), 1u);
  EXPECT_DOUBLE_EQ(report.starMeanSN[0], 32.75);
  const std::string json = ReportJson(report);
  EXPECT_NE(json.find("\"cycles\": 2"), std::string::npos);
  EXPECT_NE(json.find("\"star_mean_sn\": [32.75]"), std::string::npos);
  EXPECT_NE(ReportText(report).find("Guided / unguided RMS:   0.100"), std::string::npos);
}

}  // namespace
}  // namespace corvane::sim

namespace corvane::sim {
namespace {

TEST(Options, ScriptTheEventsAndMiscalibrateTheHostAsAsked) {
  CliOptions options;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--cycles", "30", "--event", "link@t95.5", "--cloud", "12,60,0.01,1+3",
                            "--wrong-reverse", "--stars", "7"},
                           options, error))
      << error;
  const auto& events = options.simulation.observatory.events;
  ASSERT_EQ(events.size(), 3u);  // the link drop, the cloud, and event 15 after 30 cycles
  EXPECT_EQ(events[0].kind, ScriptedEvent::Kind::LinkDrop);
  EXPECT_EQ(events[0].atSeconds, 95.5);
  EXPECT_EQ(events[1].afterCycles, 12);
  EXPECT_EQ(events[1].stars, (std::vector<int>{0, 2}));
  EXPECT_EQ(events[2].kind, ScriptedEvent::Kind::Stop);
  EXPECT_EQ(events[2].afterCycles, 30);
  const auto& observatory = options.simulation.observatory;
  ASSERT_TRUE(observatory.calibration.has_value());
  EXPECT_NE(observatory.calibration->reverseX,
            CalibrationFor(observatory.camera, observatory.mount, 14.0).reverseX);
  EXPECT_EQ(options.simulation.dialogs.guideSetup.front().NumberStars, "7");
}

TEST(Options, RefuseWhatTheyCannotRead) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"--event", "explode@3"},
                                                                {"--cloud", "1,2,3"},
                                                                {"--dec", "north"},
                                                                {"--bogus"},
                                                                {"--seed"}}) {
    CliOptions options;
    std::string error;
    EXPECT_FALSE(ParseOptions(args, options, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace corvane::sim
