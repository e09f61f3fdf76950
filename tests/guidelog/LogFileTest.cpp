// The guide log as users have it: from the DLL (CR LF), cut off by a crash, several runs in one
// file, re-saved by a decimal-comma spreadsheet; anything else an error naming the line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "guidelog/LogFile.h"
#include "tests/logtools/Fixture.h"

namespace corvane::guidelog {
namespace {

using logtools::LogScenario;
namespace test = logtools::test;

const char* const kOneStarLog =
    "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\",\"Xpos1\",\"Ypos1\",\"Xoff1\","
    "\"Yoff1\",\"SN1\",\"\"\r\n"
    "101.5,198.25,1.5,-1.75,0,0,101.5,198.25,1.5,-1.75,35.5,\"\"\r\n"
    "100.5,200,0.5,0,-0.0215480491969015,2,100.5,200,0.5,0,30,\"\"\r\n";

TEST(LogFile, ReadsTheRowsOfAOneStarLog) {
  const auto log = FirstRun(kOneStarLog);
  ASSERT_TRUE(log);
  EXPECT_EQ(log->stars, 1);
  ASSERT_EQ(log->rows.size(), 2u);
  EXPECT_EQ(log->rows[0].xave, 101.5);
  EXPECT_EQ(log->rows[0].yoff, -1.75);
  EXPECT_EQ(log->rows[0].stars[0].sn, 35.5);
  EXPECT_EQ(log->rows[1].xtim, -0.0215480491969015);
  EXPECT_EQ(log->rows[1].ytim, 2.0);
}

TEST(LogFile, TakesTheStarCountFromTheHeaderAndStopsAtALineCutShort) {
  std::string text = "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\"";
  for (int n = 1; n <= 10; ++n) {
    for (const char* word : {"Xpos", "Ypos", "Xoff", "Yoff", "SN"}) {
      text += ",\"" + std::string(word) + std::to_string(n) + "\"";
    }
  }
  text += ",\"\"\r\n";
  std::string row = "1,2,3,4,5,6";
  for (int i = 0; i < 50; ++i) row += ",7";
  text += row + ",\"\"\r\n" + row.substr(0, 20);  // the host stopped while writing
  const auto log = FirstRun(text);
  ASSERT_TRUE(log);
  EXPECT_EQ(log->stars, 10);
  ASSERT_EQ(log->rows.size(), 1u);
  EXPECT_EQ(log->rows[0].stars[9].sn, 7.0);
}

TEST(LogFile, ReadsNumbersWithoutLeadingZeroAndInExponentForm) {
  // Forms another writer of the log may use: .5 and -.5, exponents, no final CR LF.
  const std::string text =
      std::string(kOneStarLog).substr(0, std::string(kOneStarLog).find("\r\n") + 2) +
      ".5,-.5,1E-05,-2.5e+02,0,0,.5,-.5,1E-05,-2.5e+02,7,\"\"";
  const auto log = FirstRun(text);
  ASSERT_TRUE(log);
  ASSERT_EQ(log->rows.size(), 1u);
  EXPECT_EQ(log->rows[0].xave, 0.5);
  EXPECT_EQ(log->rows[0].yave, -0.5);
  EXPECT_EQ(log->rows[0].xoff, 1e-5);
  EXPECT_EQ(log->rows[0].yoff, -250.0);
}

std::string DllLog() {
  return test::Simulated([](LogScenario& c) { c.stars = 3; }).log;
}

TEST(LogFile, ReadsTheDllsLogWithEveryRow) {
  const auto s = test::Simulated([](LogScenario& c) { c.stars = 3; });
  const LogFile file = ParseLog(s.log);
  EXPECT_TRUE(file.crlf);
  ASSERT_EQ(file.runs.size(), 1u);
  const LogRun& run = file.runs[0];
  EXPECT_EQ(run.stars, 3);
  EXPECT_EQ(run.rows.size(), s.outcome.cycles.size());
  EXPECT_FALSE(run.cutShort);
  EXPECT_EQ(run.rowLines.front(), 2);
}

TEST(LogFile, DropsALastLineCutOffByACrashAndKeepsTheRest) {
  const std::string text = DllLog();
  const std::size_t lastLine = text.rfind("\r\n", text.size() - 3) + 2;
  for (std::size_t cut : {std::size_t{3}, std::size_t{17}, text.size() - lastLine - 3}) {
    const LogFile file = ParseLog(text.substr(0, lastLine + cut));
    EXPECT_TRUE(file.runs[0].cutShort) << cut;
    EXPECT_EQ(file.runs[0].rows.size(), 299u) << cut;
  }
}

TEST(LogFile, SplitsConcatenatedRunsAtEachHeader) {
  const std::string a = test::Simulated([](LogScenario& c) { c.stars = 3; }).log;
  const std::string b = test::Simulated([](LogScenario& c) { c.seed = 2; }).log;
  // The first run crashed (its last line is partial) and the second was appended to it.
  const std::string text = a.substr(0, a.size() - 20) + "\r\n" + b + a;
  const LogFile file = ParseLog(text);
  ASSERT_EQ(file.runs.size(), 3u);
  EXPECT_EQ(file.runs[0].stars, 3);
  EXPECT_TRUE(file.runs[0].cutShort);
  EXPECT_EQ(file.runs[0].rows.size(), 299u);
  EXPECT_EQ(file.runs[1].stars, 5);
  EXPECT_EQ(file.runs[1].rows.size(), 300u);
  // Run 1: the header, 299 rows and the partial line; run 2: the header and 300 rows.
  EXPECT_EQ(file.runs[2].headerLine, 1 + 299 + 1 + 1 + 300 + 1);
  EXPECT_EQ(file.runs[2].rows.size(), 300u);
}

TEST(LogFile, ReadsASpreadsheetSaveWithSemicolonsAndDecimalCommas) {
  const std::string text =
      "Xave;Yave;Xoff;Yoff;Xtim;Ytim;Xpos1;Ypos1;Xoff1;Yoff1;SN1;Xpos2;Ypos2;Xoff2;Yoff2;SN2\n"
      "101,5;198,25;0,5;-1,75;0;-0,0215;101,5;198,25;1,5;-1,75;35,5;10;20;-0,5;-1,75;12\n"
      "\"100,5\";200;1E-05;0;2,5E-02;0;100,5;200;0,5;0;30;10;20;0;0;11,5;\n";
  const LogFile file = ParseLog(text);
  ASSERT_EQ(file.runs.size(), 1u);
  const LogRun& run = file.runs[0];
  EXPECT_TRUE(run.decimalComma);
  EXPECT_EQ(run.stars, 2);
  ASSERT_EQ(run.rows.size(), 2u);
  EXPECT_DOUBLE_EQ(run.rows[0].xave, 101.5);
  EXPECT_DOUBLE_EQ(run.rows[0].ytim, -0.0215);
  EXPECT_DOUBLE_EQ(run.rows[0].stars[1].xoff, -0.5);
  EXPECT_DOUBLE_EQ(run.rows[1].xave, 100.5);
  EXPECT_DOUBLE_EQ(run.rows[1].xoff, 1e-5);
  EXPECT_DOUBLE_EQ(run.rows[1].xtim, 0.025);
  EXPECT_DOUBLE_EQ(run.rows[1].stars[1].sn, 11.5);
}

TEST(LogFile, AnythingElseIsAnErrorNamingItsLine) {
  const std::string text = DllLog();
  auto lineAt = [&](int line) {
    std::size_t at = 0;
    for (int i = 1; i < line; ++i) at = text.find("\r\n", at) + 2;
    return at;
  };
  auto errorLine = [](const std::string& bad) {
    try {
      ParseLog(bad);
    } catch (const LogError& e) {
      return e.Line();
    }
    return -1;
  };
  std::string notANumber = text;
  notANumber.replace(lineAt(40), 1, "x");
  EXPECT_EQ(errorLine(notANumber), 40);
  std::string tooMany = text;
  tooMany.insert(lineAt(41) - 2, ",7,8");
  EXPECT_EQ(errorLine(tooMany), 40);
  std::string shortInside = text;
  shortInside.erase(lineAt(12), lineAt(13) - lineAt(12) - 20);
  EXPECT_EQ(errorLine(shortInside), 12);
  EXPECT_EQ(errorLine("Date,Time,Value\r\n1,2,3\r\n"), 1);
  EXPECT_EQ(errorLine(""), 0);
  try {
    ParseLog(notANumber);
  } catch (const LogError& e) {
    EXPECT_NE(std::string(e.what()).find("line 40: item 1"), std::string::npos) << e.what();
  }
}

// A file that cannot be had says why, for a message that names it: missing, a folder, no right.
TEST(LogFile, SaysWhyAFileCannotBeRead) {
  auto why = [](const std::string& path) {
    try {
      ReadLogFile(path);
    } catch (const LogError& e) {
      EXPECT_EQ(e.Line(), 0);
      return std::string(e.what());
    }
    return std::string("read");
  };
  const auto folder = std::filesystem::temp_directory_path() / "corvane-guidelog-test";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  EXPECT_EQ(why((folder / "missing.csv").string()), "no such file");
  EXPECT_EQ(why(folder.string()), "a folder, not a file");
  const auto locked = folder / "locked.csv";
  { std::ofstream(locked) << kOneStarLog; }
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  if (std::ifstream(locked)) {
    GTEST_SKIP() << "this user reads files without permission (root)";
  }
  EXPECT_EQ(why(locked.string()).rfind("cannot be opened: ", 0), 0u);
}

}  // namespace
}  // namespace corvane::guidelog
