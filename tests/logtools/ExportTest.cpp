// The PHD2 export read back by a reader written from the format's facts: every frame kept, the
// mount-axis distances and the pulses as the Corvane log holds them.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "Fixture.h"
#include "logtools/Export.h"

namespace corvane::logtools {
namespace {

struct Phd2Frame {
  int frame = 0;
  double time = 0, dx = 0, dy = 0, ra = 0, dec = 0;
  int raMs = 0, decMs = 0;
  char raDir = ' ', decDir = ' ';
  int errorCode = -1;
};

struct Phd2Section {
  double pixelScale = 1.0, xAngle = 0, xRate = 0, yRate = 0;
  std::vector<Phd2Frame> frames;
};

std::string After(const std::string& line, const std::string& key) {
  const std::size_t at = line.find(key);
  return at == std::string::npos ? "" : line.substr(at + key.size());
}

// Sections start at "Guiding Begins at", end at an empty line or "Guiding Ends"; header lines are
// read by their keys; frame lines start with a digit 1-9 and follow the column line.
std::vector<Phd2Section> ReadPhd2(const std::string& text, std::string& version) {
  std::vector<Phd2Section> sections;
  std::istringstream in(text);
  std::string line;
  bool inside = false, columns = false;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.rfind("PHD2 version ", 0) == 0) {
      version = line.substr(13, line.find(", Log version ") - 13);
    } else if (line.rfind("Guiding Begins at ", 0) == 0) {
      sections.emplace_back();
      inside = true;
      columns = false;
    } else if (!inside) {
      continue;
    } else if (line.empty() || line.rfind("Guiding Ends", 0) == 0) {
      inside = false;
    } else if (line.rfind("Pixel scale = ", 0) == 0) {
      sections.back().pixelScale = std::stod(After(line, "Pixel scale = "));
    } else if (line.rfind("Mount = ", 0) == 0) {
      sections.back().xAngle = std::stod(After(line, ", xAngle = "));
      sections.back().xRate = std::stod(After(line, ", xRate = "));
      sections.back().yRate = std::stod(After(line, ", yRate = "));
    } else if (line.rfind("Frame,Time,mount", 0) == 0) {
      columns = true;
    } else if (columns && line[0] >= '1' && line[0] <= '9') {
      std::vector<std::string> f;
      std::stringstream fields(line);
      std::string item;
      while (std::getline(fields, item, ',')) f.push_back(item);
      while (f.size() < 19) f.emplace_back();
      auto num = [&](std::size_t i) { return f[i].empty() ? 0.0 : std::stod(f[i]); };
      Phd2Frame fr;
      fr.frame = std::stoi(f[0]);
      fr.time = num(1);
      EXPECT_EQ(f[2], "\"Mount\"");
      fr.dx = num(3);
      fr.dy = num(4);
      fr.ra = num(5);
      fr.dec = num(6);
      fr.raMs = static_cast<int>(num(9));
      fr.raDir = f[10].empty() ? ' ' : f[10][0];
      fr.decMs = static_cast<int>(num(11));
      fr.decDir = f[12].empty() ? ' ' : f[12][0];
      fr.errorCode = static_cast<int>(num(17));
      sections.back().frames.push_back(fr);
    }
  }
  return sections;
}

TEST(Export, Phd2RoundTripKeepsEveryFrame) {
  const auto a = test::Simulated([](LogScenario& c) { c.stars = 3; });
  const auto b = test::Simulated([](LogScenario& c) { c.seed = 2; });
  const guidelog::LogFile file = guidelog::ParseLog(a.log + b.log);
  ASSERT_EQ(file.runs.size(), 2u);
  Phd2Settings settings;
  settings.exposure = 2.0;
  settings.download = 0.3;
  settings.angleDeg = 25.0;
  settings.xSpeed = 4.33;
  settings.ySpeed = 5.0;
  settings.scale = 1.5;
  settings.version = "corvane-log 1.6.0";
  const std::string text = ExportPhd2({&file.runs[0], &file.runs[1]}, settings);
  EXPECT_NE(text.find("\r\n"), std::string::npos);
  std::string version;
  const auto sections = ReadPhd2(text, version);
  EXPECT_EQ(version, "corvane-log 1.6.0");
  ASSERT_EQ(sections.size(), 2u);
  const double a25 = 25.0 * 3.14159265358979 / 180.0;
  for (std::size_t s = 0; s < 2; ++s) {
    const guidelog::LogRun& run = file.runs[s];
    const Phd2Section& section = sections[s];
    EXPECT_DOUBLE_EQ(section.pixelScale, 1.5);
    EXPECT_NEAR(section.xAngle, a25, 1e-4);
    EXPECT_NEAR(section.xRate, 4.33, 1e-4);
    ASSERT_EQ(section.frames.size(), run.rows.size());
    double previous = 0.0;
    for (std::size_t i = 0; i < run.rows.size(); ++i) {
      const Phd2Frame& f = section.frames[i];
      const guidelog::LogRow& r = run.rows[i];
      EXPECT_EQ(f.frame, static_cast<int>(i) + 1);
      EXPECT_GT(f.time, previous);
      previous = f.time;
      EXPECT_NEAR(f.dx, r.xoff, 5e-4);
      EXPECT_NEAR(f.ra, r.xoff * std::cos(a25) + r.yoff * std::sin(a25), 1e-3);
      EXPECT_NEAR(f.dec, r.yoff * std::cos(a25) - r.xoff * std::sin(a25), 1e-3);
      EXPECT_NEAR((f.raDir == 'W' ? -1 : 1) * f.raMs / 1000.0, r.xtim, 5e-4);
      EXPECT_NEAR((f.decDir == 'S' ? -1 : 1) * f.decMs / 1000.0, r.ytim, 5e-4);
      EXPECT_EQ(f.errorCode, 0);
    }
  }
}

}  // namespace
}  // namespace corvane::logtools
