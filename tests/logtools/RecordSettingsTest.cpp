// A run's record gives corvane-log the settings a guide log lacks; the user's flags override them.
#include "logtools/RecordSettings.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvane::logtools {
namespace {

const guidelog::Record& Changed() {
  static const guidelog::Record record =
      guidelog::ReadRecordFile(CORVANE_TEST_DATA "/changed-setting.csv");
  return record;
}

bool Holds(const std::vector<std::string>& notes, const std::string& part) {
  return std::any_of(notes.begin(), notes.end(),
                     [&](const std::string& note) { return note.find(part) != std::string::npos; });
}

TEST(RecordSettings, TheRecordedSettingsWithoutFlags) {
  std::vector<std::string> notes;
  const RunSettings s = SettingsFromRecord(Changed(), {}, false, notes);
  EXPECT_EQ(s.exposure, 2.0);
  EXPECT_EQ(s.minMove, 0.01);
  EXPECT_EQ(s.maxMove, 2.0);
  EXPECT_EQ(s.minSN, 3.0);
  EXPECT_EQ(s.minStars, 1);
  EXPECT_EQ(s.angleDeg, 90.0);  // three of the five cycles read 90
  EXPECT_EQ(s.aggressiveness, 10.0);
  EXPECT_EQ(s.xSpeed, 5.0);
  EXPECT_EQ(s.ySpeed, 5.0);
  EXPECT_EQ(s.declinationDeg, 0.0);
  EXPECT_EQ(s.reverseX, false);
  EXPECT_NEAR(s.download, 0.4, 1e-9);  // frames of 2.4 s (one of 2.6 s) for 2 s exposures
  EXPECT_FALSE(s.scale);
  EXPECT_TRUE(Holds(notes,
                    "the run's record: started 2024-05-01 22:13:05 (local), ended "
                    "stopped-by-camera-event after 5 cycles"));
  EXPECT_TRUE(Holds(notes, "changed during the run: GuiderAngle 0 -> 90 at cycle 3"));
}

TEST(RecordSettings, FlagsOverrideTheRecord) {
  RunSettings flags;
  flags.angleDeg = 30.0;
  flags.exposure = 3.0;
  flags.reverseX = true;
  flags.scale = 1.5;
  flags.download = 0.0;
  std::vector<std::string> notes;
  const RunSettings s = SettingsFromRecord(Changed(), flags, true, notes);
  EXPECT_EQ(s.angleDeg, 30.0);
  EXPECT_EQ(s.exposure, 3.0);
  EXPECT_EQ(s.reverseX, true);
  EXPECT_EQ(s.scale, 1.5);
  EXPECT_EQ(s.download, 0.0);
  EXPECT_EQ(s.xSpeed, 5.0);  // not given: recorded
}

}  // namespace
}  // namespace corvane::logtools
