// What corvane-log prints for scripts, read back by a JSON parser: always valid, the figures as
// computed, a figure that is not a number as null.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Fixture.h"
#include "logtools/Output.h"

namespace corvane::logtools {
namespace {

TEST(Output, StatsJsonParsesToTheRunsFigures) {
  const auto simulated = test::Simulated([](LogScenario& c) { c.cycles = 200; });
  const guidelog::LogRun run = test::OnlyRun(simulated);
  RunSettings settings;
  settings.exposure = 2.0;
  RunFigures f = Analyse(run, settings);
  f.notes.push_back("a \"quoted\" note\\ with a tab\t and an \x01 control character");
  f.fit.periodicPeriod = std::numeric_limits<double>::quiet_NaN();
  f.split.common = std::numeric_limits<double>::infinity();
  f.fit.driftRaKnown = false;  // withheld: null, its standard error still given
  f.fit.driftDecKnown = true;
  const nlohmann::json j = nlohmann::json::parse(JsonLine(StatsJson(run, 1, f)));
  EXPECT_EQ(j["cycles"], 200);
  EXPECT_EQ(j["stars"], 5);
  EXPECT_NEAR(j["x"]["rms"].get<double>(), f.x.rms, 5e-5);
  EXPECT_NEAR(j["calibration"]["x_speed"].get<double>(), f.fit.xSpeed, 5e-4);
  EXPECT_EQ(j["star"].size(), 5u);
  EXPECT_TRUE(j["motion"]["periodic_period"].is_null());
  EXPECT_TRUE(j["split"]["common"].is_null());
  EXPECT_TRUE(j["motion"]["drift_ra"].is_null());
  EXPECT_NEAR(j["motion"]["drift_ra_error"].get<double>(), f.fit.driftRaError, 5e-5);
  EXPECT_NEAR(j["motion"]["drift_dec"].get<double>(), f.fit.driftDec, 5e-5);
  EXPECT_EQ(j["notes"].back(), f.notes.back());
}

// A run too short for its pulses to show their effect (every jackknife replicate but one put the
// speeds at 1e4 to 1e78 px/s): the calibration, its errors and the drift's are withheld, and no
// wrong way is claimed (it told a user of a sound mount to reverse X).
TEST(Output, AShortRunWithholdsTheCalibrationItsPulsesCannotShow) {
  const auto simulated = test::Simulated([](LogScenario& c) { c.cycles = 60; });
  RunSettings settings;
  settings.exposure = 2.0;
  const guidelog::LogRun run = test::OnlyRun(simulated);
  const RunFigures f = Analyse(run, settings);
  ASSERT_TRUE(f.fit.available);
  EXPECT_FALSE(f.fit.calibrationMeasured);
  const nlohmann::json j = nlohmann::json::parse(JsonLine(StatsJson(run, 1, f)));
  for (const char* key : {"angle", "x_speed", "x_speed_error", "cycles_needed", "reverse_x"}) {
    EXPECT_TRUE(j["calibration"][key].is_null()) << key;
  }
  EXPECT_TRUE(j["motion"]["drift_ra_error"].is_null());
  // Nor what the offsets leave once that effect is taken out: a periodic error (a 52 s period of
  // 0.6" was taken from the noise) and the measurement noise (a runaway's read 1.6e53 px).
  EXPECT_TRUE(j["motion"]["periodic_pp_ra"].is_null());
  EXPECT_TRUE(j["motion"]["noise"].is_null());
  EXPECT_EQ(j["calibration"]["x_wrong_way"], false);
  const std::string text = StatsText(run, 1, f, settings);
  EXPECT_NE(text.find("Calibration as the pulses acted: not measured"), std::string::npos) << text;
  EXPECT_NE(text.find("periodic error and measurement noise not measured"), std::string::npos)
      << text;
}

// A strong periodic error over less than two of its periods: fitted (the calibration needs it),
// but its period and size are no measure and are not printed.
TEST(Output, APeriodLongerThanHalfTheRunIsNotPrinted) {
  const auto simulated = test::Simulated([](LogScenario& c) {
    c.cycles = 150;
    c.observatory.mount.periodicErrorPP = 40;
    c.observatory.mount.wormPeriod = 300;
  });
  RunSettings settings;
  settings.exposure = 2.0;
  const guidelog::LogRun run = test::OnlyRun(simulated);
  const RunFigures f = Analyse(run, settings);
  ASSERT_GT(f.fit.periodicPeriod, 0.0);
  EXPECT_FALSE(f.fit.periodicMeasured);
  const nlohmann::json j = nlohmann::json::parse(JsonLine(StatsJson(run, 1, f)));
  EXPECT_TRUE(j["motion"]["periodic_period"].is_null());
  const std::string text = StatsText(run, 1, f, settings);
  EXPECT_NE(text.find("a periodic error longer than half the run's measured time (not measured)"),
            std::string::npos)
      << text;
}

TEST(Output, JsonLineKeepsOrderAndSpacing) {
  const Json value = {{"b", 1}, {"a", Json::array({0.5, nullptr})}, {"c", Json::object()}};
  EXPECT_EQ(JsonLine(value), "{\"b\": 1, \"a\": [0.5, null], \"c\": {}}");
  EXPECT_EQ(Rounded(0.123456, 3), 0.123);
  EXPECT_TRUE(Rounded(std::nan(""), 3).is_null());
  EXPECT_EQ(Rounded(1e308, 4), 1e308);
}

}  // namespace
}  // namespace corvane::logtools
