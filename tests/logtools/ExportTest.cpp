// The PHD2 export read back by a reader written from the format's facts: every frame kept, the
// mount-axis distances and the pulses as the Corvane log holds them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "Fixture.h"
#include "guidelog/Record.h"
#include "logtools/Export.h"
#include "logtools/RecordSettings.h"

namespace corvane::logtools {
namespace {

struct Phd2Frame {
  int frame = 0;
  double time = 0, dx = 0, dy = 0, ra = 0, dec = 0;
  int raMs = 0, decMs = 0;
  char raDir = ' ', decDir = ' ';
  int starMass = -1, errorCode = -1;
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
      fr.starMass = static_cast<int>(num(15));
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

// A minute of total cloud and an unreadable row: the viewers' dropped frames (StarMass 0 and an
// ErrorCode), so their RMS is the guided cycles'; each frame's time within half a poll of the
// simulator's clock, whose exposures end on a poll and are found by it or by the next.
TEST(Export, LostAndUnreadableCyclesAreDroppedFramesOnAClockThatAddsUp) {
  const auto s = test::Simulated(test::Clouded);
  guidelog::LogRun run = test::OnlyRun(s);
  run.rows[90].xtim = std::numeric_limits<double>::infinity();
  Phd2Settings settings;
  settings.exposure = s.exposureS;
  settings.download = s.settings.observatory.camera.downloadSeconds;
  settings.minSN = 3.0;
  settings.minStars = 4;
  settings.version = "corvane-log 1.6.0";
  std::string version;
  const auto sections = ReadPhd2(ExportPhd2({&run}, settings), version);
  ASSERT_EQ(sections.size(), 1u);
  const auto& frames = sections[0].frames;
  ASSERT_EQ(frames.size(), run.rows.size());
  RunSettings given;
  given.minSN = 3.0;
  given.minStars = 4;
  const auto uses = CycleUses(run, given);
  int lost = 0;
  double squares = 0.0, sum = 0.0;
  int good = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const int expected = uses[i] == CycleUse::Guided ? 0
                         : uses[i] == CycleUse::Lost ? kPhd2StarLost
                                                     : kPhd2Unreadable;
    EXPECT_EQ(frames[i].errorCode, expected) << "frame " << i + 1;
    if (expected != 0) {
      EXPECT_EQ(frames[i].starMass, 0);
      EXPECT_EQ(frames[i].raMs + frames[i].decMs, 0);
    }
    lost += uses[i] == CycleUse::Lost ? 1 : 0;
    if (expected == 0) {
      sum += frames[i].dx;
      squares += frames[i].dx * frames[i].dx;
      ++good;
    }
  }
  EXPECT_GE(lost, 20);  // the minute of cloud
  EXPECT_EQ(frames[90].errorCode, kPhd2Unreadable);
  const double rms = std::sqrt(squares / good - (sum / good) * (sum / good));
  EXPECT_NEAR(rms, Analyse(run, given).x.rms, 1e-3);
  const auto& truth = s.outcome.cycles;
  ASSERT_GE(truth.size(), frames.size());
  for (std::size_t i = 1; i < frames.size(); ++i) {
    if (i == 91) continue;  // after the unreadable row's unknown pulse
    const double modelled = frames[i].time - frames[i - 1].time;
    const double actual = truth[i].start - truth[i - 1].start;
    EXPECT_NEAR(modelled, actual, 0.05 + 2e-3) << "cycle " << i;
  }
}

// The header's calibration says what it rests on: the host's settings, else the estimate with
// its standard errors; a start that is no real date and time is refused.
TEST(Export, CalibrationSaysWhatItRestsOnAndTheStartIsARealDate) {
  MotionFit fit;
  fit.available = true;
  fit.angleDeg = 24.0;
  fit.angleErrorDeg = 1.5;
  fit.xSpeed = 4.1;
  fit.xSpeedError = 0.2;
  fit.ySpeed = 5.2;
  fit.ySpeedError = 0.3;
  fit.calibrationMeasured = true;
  const Phd2Calibration estimated = CalibrationFor({}, fit);
  EXPECT_DOUBLE_EQ(estimated.xSpeed, 4.1);
  ASSERT_EQ(estimated.notes.size(), 1u);
  EXPECT_NE(estimated.notes[0].find("angle 24.0 +- 1.5 deg, xRate 4.100 +- 0.200 px/s"),
            std::string::npos)
      << estimated.notes[0];
  RunSettings host;
  host.angleDeg = 25.0;
  host.xSpeed = 5.0;
  host.ySpeed = 5.0;
  host.reverseX = true;
  host.declinationDeg = 60.0;
  const Phd2Calibration given = CalibrationFor(host, fit);
  EXPECT_NEAR(given.xSpeed, 2.5, 1e-12);
  EXPECT_TRUE(given.reverseX);
  ASSERT_EQ(given.notes.size(), 1u);
  EXPECT_EQ(given.notes[0],
            "Calibration from the host's settings: angle 25.0 deg, xRate 2.500 px/s (5.000 at the "
            "equator, at dec 60.0), yRate 5.000 px/s, reverse X yes");
  const Phd2Calibration none = CalibrationFor({}, MotionFit{});
  ASSERT_EQ(none.notes.size(), 1u);
  EXPECT_EQ(none.notes[0],
            "Calibration unknown (the run's pulses do not show it), placeholders written: angle 0 "
            "deg, xRate 1 px/s, yRate 1 px/s, reverse X no");
  EXPECT_TRUE(IsDateTime("2024-02-29 22:00:00"));
  for (const char* bad : {"tomorrow night", "2023-02-29 22:00:00", "2024-13-01 00:00:00",
                          "2024-01-01 24:00:00", "2024-1-01 00:00:00", "2024-01-01T00:00:00"}) {
    EXPECT_FALSE(IsDateTime(bad)) << bad;
  }
}

// A run's record exports with the times it recorded: each frame when it arrived, counted from
// the start of guiding, and the run's events as INFO lines.
TEST(Export, ARecordCarriesItsRealTimes) {
  const guidelog::Record record =
      guidelog::ReadRecordFile(CORVANE_TEST_DATA "/changed-setting.csv");
  Phd2Settings settings;
  settings.start = "2024-05-01 22:13:20";
  settings.info = RecordInfo(record);
  const std::string text = ExportPhd2({&record.run}, settings);
  std::string version;
  const auto sections = ReadPhd2(text, version);
  ASSERT_EQ(sections.size(), 1u);
  std::vector<double> times;
  for (const Phd2Frame& frame : sections[0].frames) times.push_back(frame.time);
  EXPECT_EQ(times, (std::vector<double>{2.4, 5.0, 7.4, 10.1, 12.7}));
  EXPECT_NE(text.find("Guiding Begins at 2024-05-01 22:13:20\r\n"), std::string::npos);
  EXPECT_NE(text.find("Guiding Ends at 2024-05-01 22:13:33\r\n"), std::string::npos);
  const std::size_t info = text.find("INFO: Guiding parameter change, GuiderAngle 0 -> 90");
  ASSERT_NE(info, std::string::npos);
  EXPECT_LT(text.find("\r\n2,5.000,"), info);  // after the second frame, before the third
  EXPECT_GT(text.find("\r\n3,7.400,"), info);
  // The camera's stop between the fourth and the fifth frame, how the run ended after the last.
  const std::size_t message = text.find("INFO: Corvane message: EventCode 15 received\r\n");
  ASSERT_NE(message, std::string::npos);
  EXPECT_LT(text.find("\r\n4,10.100,"), message);
  EXPECT_GT(text.find("\r\n5,12.700,"), message);
  EXPECT_GT(text.find("INFO: Guiding ended: stopped-by-camera-event\r\nGuiding Ends"),
            text.find("\r\n5,12.700,"));
}

}  // namespace
}  // namespace corvane::logtools
