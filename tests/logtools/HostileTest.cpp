// Rows no guider writes (NaN, infinities, magnitudes beyond any sensor or night) are left out of
// every figure with their lines named, and nothing printed or drawn of such a log is "nan".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Fixture.h"
#include "logtools/Output.h"
#include "logtools/Plot.h"

namespace corvane::logtools {
namespace {

// The log's text with item `item` (1-based) of line `line` replaced.
std::string WithItem(std::string text, int line, int item, const std::string& value) {
  std::size_t at = 0;
  for (int l = 1; l < line; ++l) at = text.find('\n', at) + 1;
  for (int i = 1; i < item; ++i) at = text.find(',', at) + 1;
  return text.replace(at, text.find(',', at) - at, value);
}

std::string WithoutLines(const std::string& text, const std::vector<int>& lines) {
  std::string out;
  std::size_t at = 0;
  for (int line = 1; at < text.size(); ++line) {
    const std::size_t end = text.find('\n', at) + 1;
    if (std::find(lines.begin(), lines.end(), line) == lines.end()) {
      out += text.substr(at, end - at);
    }
    at = end;
  }
  return out;
}

TEST(Hostile, RowsNoGuiderWritesAreLeftOutWithTheirLines) {
  const std::string clean = test::Simulated([](LogScenario& c) { c.cycles = 80; }).log;
  std::string text = WithItem(clean, 21, 5, "inf");  // a pulse
  text = WithItem(text, 31, 3, "nan");               // the mean offset
  text = WithItem(text, 41, 5, "1e308");
  text = WithItem(text, 51, 11, "1e999");  // a star's SN, beyond a double
  text = WithItem(text, 61, 8, "-3e7");    // a star's position beyond any sensor
  const std::vector<int> lines = {21, 31, 41, 51, 61};
  const guidelog::LogRun run = guidelog::ParseLog(text).runs.at(0);
  const guidelog::LogRun readable = guidelog::ParseLog(WithoutLines(clean, lines)).runs.at(0);
  RunSettings settings;
  settings.exposure = 2.0;
  settings.scale = 1.5;
  const RunFigures f = Analyse(run, settings);
  EXPECT_EQ(f.unreadableLines, lines);
  EXPECT_NE(f.notes.front().find("lines 21, 31, 41, 51 and 61 hold a value"), std::string::npos)
      << f.notes.front();
  const RunFigures expected = Analyse(readable, settings);
  EXPECT_EQ(f.x.rms, expected.x.rms);
  EXPECT_EQ(f.fit.xSpeed, expected.fit.xSpeed);
  EXPECT_EQ(f.fit.driftRa, expected.fit.driftRa);
  const std::string shown = StatsText(run, 1, f, settings);
  EXPECT_EQ(shown.find("nan"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("inf "), std::string::npos) << shown;
  EXPECT_TRUE(nlohmann::json::accept(JsonLine(StatsJson(run, 1, f))));
  // Drawn as gaps (under the sanitizers: no overflow on the way).
  EXPECT_FALSE(DrawRun(run, nullptr, "hostile").Png().empty());
}

TEST(Hostile, ACycleThatPulsedWasGuidedWhateverTheSettingsAssumed) {
  guidelog::LogRun run = guidelog::ParseLog(test::Simulated([](LogScenario& c) {
                                              c.cycles = 3;
                                              c.stars = 2;
                                            }).log)
                             .runs.at(0);
  for (auto& row : run.rows) {
    row.stars[1].sn = 1.0;  // one of two stars below MinSN
  }
  run.rows[0].xtim = run.rows[0].ytim = 0.0;
  run.rows[1].xtim = 0.05;
  RunSettings settings;
  settings.minStars = 2;
  const auto uses = CycleUses(run, settings);
  EXPECT_EQ(uses[0], CycleUse::Lost);
  EXPECT_EQ(uses[1], CycleUse::Guided);
}

}  // namespace
}  // namespace corvane::logtools
