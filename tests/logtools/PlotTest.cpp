// The pictures of a run: the same drawing as SVG and as PNG, with a line per quantity.
#include <gtest/gtest.h>

#include "Fixture.h"
#include "logtools/Plot.h"

namespace corvane::logtools {
namespace {

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Plot, DrawsALinePerQuantityAndStarAxisInBothPictures) {
  const guidelog::LogFile file = guidelog::ParseLog(
      "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\",\"Xpos1\",\"Ypos1\",\"Xoff1\","
      "\"Yoff1\",\"SN1\",\"\"\r\n"
      "101.5,198.25,1.5,-1.75,0,0,101.5,198.25,1.5,-1.75,35.5,\"\"\r\n"
      "100.5,200,0.5,0,-0.0215480491969015,2,100.5,200,0.5,0,30,\"\"\r\n");
  const std::vector<sim::CycleTruth> truth(2);
  const PlotPictures pictures = DrawRun(file.runs.at(0), &truth, "test");
  EXPECT_EQ(pictures.svg.rfind("<svg", 0), 0u);
  auto count = [&](const std::string& what) { return Count(pictures.svg, what); };
  // Xoff, Yoff; Xtim, Ytim; Xoff1, Yoff1; SN1; the true RA and Dec error.
  EXPECT_EQ(count("<polyline"), 9u);
  // Nothing given: offsets in pixels against cycles (only the simulator's truth in arcsec), and
  // the MinSN drawn is named as assumed.
  EXPECT_EQ(count(">pixels</text>"), 2u);
  EXPECT_EQ(count(">arcsec</text>"), 1u);
  EXPECT_EQ(count(">cycle (minutes need --exposure)</text>"), 5u);
  EXPECT_EQ(count(">MinSN 3 (assumed)</text>"), 1u);
  const std::vector<std::uint8_t> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const std::vector<std::uint8_t> png = pictures.Png();
  ASSERT_GT(png.size(), signature.size());
  EXPECT_TRUE(std::equal(signature.begin(), signature.end(), png.begin()));
}

// With the scale and exposure known, offsets in arcsec against minutes; the cycles lost to a
// cloud shaded in every panel along time and left out of the offsets; MinSN as a line; the
// pulses' directions by their names; the scatter with ticks on both axes.
TEST(Plot, ArcsecAgainstMinutesWithLostCyclesAndMinSNMarked) {
  const auto s = test::Simulated(test::Clouded);
  const guidelog::LogRun run = test::OnlyRun(s);
  RunSettings settings = TimedSettings(s);
  settings.scale = 1.5;
  settings.minSN = 3.0;
  settings.minStars = 4;
  const std::string svg = DrawRun(run, &s.outcome.cycles, "clouded", settings).svg;
  auto count = [&](const std::string& what) { return Count(svg, what); };
  EXPECT_EQ(count(">arcsec</text>"), 3u);  // the mean offset, each star's, the true error
  EXPECT_EQ(count(">minutes from the first guide exposure</text>"), 5u);
  EXPECT_EQ(count("fill=\"#f5b971\""), 5u + 1u);  // one cloud per panel, and its legend
  EXPECT_EQ(count(">MinSN 3</text>"), 1u);
  EXPECT_EQ(count("direction"), 0u);
  EXPECT_EQ(count(">X: East +, West \u2212</text>"), 1u);
  EXPECT_EQ(count(">X offset (arcsec)</text>"), 1u);
  // Each star's offsets break at the cloud: two stretches of each of the ten lines.
  EXPECT_EQ(count("stroke-dasharray=\"4.0,4.0\" points="), 2u * 5u);
  // The scatter's ticks: as many under it as beside it.
  const std::size_t scatter = svg.find("Each star's offset about its mean");
  ASSERT_NE(scatter, std::string::npos);
  const std::string tail = svg.substr(scatter);
  const std::size_t middle = Count(tail, "text-anchor=\"middle\""),
                    end = Count(tail, "text-anchor=\"end\"");
  EXPECT_GE(end, 3u);
  EXPECT_EQ(middle, end + 2);  // the X labels, the two axis titles
}

}  // namespace
}  // namespace corvane::logtools
