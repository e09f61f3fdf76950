// Following one file as it is written: the lines completed since the last step, a last line that
// waits for its end, a file replaced, emptied, deleted and written again, a huge file read in
// bounded steps, a line longer than any log's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/LogTail.h"
#include "tests/monitor/Files.h"

namespace corvane::monitor {
namespace {

using test::Append;
using test::TempFolder;
using test::Write;

std::vector<std::string> Texts(const TailStep& step) {
  std::vector<std::string> out;
  for (const TailLine& line : step.lines) out.push_back(line.text);
  return out;
}

using Lines = std::vector<std::string>;

TEST(LogTail, HandsOverCompletedLinesAndKeepsATornLastLineUntilItsEnd) {
  TempFolder folder;
  const std::string path = folder.File("Corvane.csv");
  StandardFileAccess files;
  LogTail tail(path);
  EXPECT_EQ(tail.Step(files).state, FileState::Missing);

  Write(path, "one\r\ntwo\r\nthr");
  TailStep step = tail.Step(files);
  EXPECT_EQ(step.state, FileState::Present);
  EXPECT_TRUE(step.fromStart);
  EXPECT_FALSE(step.replaced);
  EXPECT_EQ(Texts(step), (Lines{"one", "two"}));
  EXPECT_TRUE(step.partialLine);
  EXPECT_EQ(step.lines[1].number, 2u);

  EXPECT_TRUE(tail.Step(files).lines.empty());  // nothing new: the torn line still waits
  Append(path, "ee,");
  EXPECT_TRUE(tail.Step(files).lines.empty());
  Append(path, "\"\"\r\nfour\r\n");
  step = tail.Step(files);
  EXPECT_FALSE(step.fromStart);
  EXPECT_EQ(Texts(step), (Lines{"three,\"\"", "four"}));
  EXPECT_EQ(step.lines[0].number, 3u);
  EXPECT_FALSE(step.partialLine);
  EXPECT_TRUE(step.caughtUp);
}

TEST(LogTail, StartsAgainWhenTheFileIsReplacedEmptiedOrDeleted) {
  TempFolder folder;
  const std::string path = folder.File("Corvane.csv");
  StandardFileAccess files;
  LogTail tail(path);
  Write(path, "first run header\r\n1,2,3\r\n4,5,6\r\n");
  EXPECT_EQ(tail.Step(files).lines.size(), 3u);

  // Replaced by a longer file whose bytes differ before the point reached.
  Write(path, "second run header\r\n7,8,9\r\n10,11,12\r\n13\r\n");
  TailStep step = tail.Step(files);
  EXPECT_TRUE(step.fromStart);
  EXPECT_TRUE(step.replaced);
  EXPECT_EQ(Texts(step), (Lines{"second run header", "7,8,9", "10,11,12", "13"}));
  EXPECT_EQ(step.lines[0].number, 1u);

  // Emptied (a new run opened it), then written again.
  Write(path, "");
  step = tail.Step(files);
  EXPECT_TRUE(step.fromStart);
  EXPECT_TRUE(step.lines.empty());
  Append(path, "third\r\n");
  step = tail.Step(files);
  EXPECT_FALSE(step.fromStart);
  EXPECT_EQ(Texts(step), (Lines{"third"}));

  // Deleted, then written anew.
  std::filesystem::remove(path);
  EXPECT_EQ(tail.Step(files).state, FileState::Missing);
  Write(path, "fourth\r\n");
  step = tail.Step(files);
  EXPECT_TRUE(step.fromStart);
  EXPECT_TRUE(step.replaced);
  EXPECT_EQ(Texts(step), (Lines{"fourth"}));
}

TEST(LogTail, ReadsAHugeFileInBoundedStepsAndCutsAnOverlongLine) {
  TempFolder folder;
  const std::string path = folder.File("big.csv");
  std::string bytes;
  for (int i = 1; i <= 2000; ++i) bytes += "line " + std::to_string(i) + "\r\n";
  bytes += std::string(LogTail::kMaxLine * 3, 'x') + "\r\nafter\r\n";
  Write(path, bytes);
  StandardFileAccess files;
  LogTail tail(path, 4096);
  std::vector<TailLine> lines;
  int steps = 0;
  for (;;) {
    TailStep step = tail.Step(files);
    ++steps;
    EXPECT_LE(step.offset, static_cast<std::uint64_t>(steps) * 4096);
    for (TailLine& line : step.lines) lines.push_back(std::move(line));
    if (step.caughtUp) break;
  }
  EXPECT_GT(steps, 40);
  ASSERT_EQ(lines.size(), 2002u);
  EXPECT_EQ(lines[1999].text, "line 2000");
  EXPECT_TRUE(lines[2000].overlong);
  EXPECT_EQ(lines[2000].text.size(), LogTail::kMaxLine);
  EXPECT_EQ(lines[2001].text, "after");
  EXPECT_EQ(lines[2001].number, 2002u);
}

TEST(LogTail, NamesAPathItCannotRead) {
  TempFolder folder;
  std::filesystem::create_directories(folder.File("a folder"));
  StandardFileAccess files;
  LogTail tail(folder.File("a folder"));
  const TailStep step = tail.Step(files);
  EXPECT_EQ(step.state, FileState::Unreadable);
  EXPECT_FALSE(step.error.empty());
}

}  // namespace
}  // namespace corvane::monitor
