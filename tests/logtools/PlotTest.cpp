// The pictures of a run: the same drawing as SVG and as PNG, with a line per quantity.
#include <gtest/gtest.h>

#include "logtools/Plot.h"

namespace corvane::logtools {
namespace {

TEST(Plot, DrawsALinePerQuantityAndStarAxisInBothPictures) {
  const guidelog::LogFile file = guidelog::ParseLog(
      "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\",\"Xpos1\",\"Ypos1\",\"Xoff1\","
      "\"Yoff1\",\"SN1\",\"\"\r\n"
      "101.5,198.25,1.5,-1.75,0,0,101.5,198.25,1.5,-1.75,35.5,\"\"\r\n"
      "100.5,200,0.5,0,-0.0215480491969015,2,100.5,200,0.5,0,30,\"\"\r\n");
  const std::vector<sim::CycleTruth> truth(2);
  const PlotPictures pictures = DrawRun(file.runs.at(0), &truth, "test");
  EXPECT_EQ(pictures.svg.rfind("<svg", 0), 0u);
  // Xoff, Yoff; Xtim, Ytim; Xoff1, Yoff1; SN1; the true RA and Dec error.
  std::size_t lines = 0;
  for (auto at = pictures.svg.find("<polyline"); at != std::string::npos;
       at = pictures.svg.find("<polyline", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 9u);
  const std::vector<std::uint8_t> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GT(pictures.png.size(), signature.size());
  EXPECT_TRUE(std::equal(signature.begin(), signature.end(), pictures.png.begin()));
}

}  // namespace
}  // namespace corvane::logtools
