// Follows one file as it is written: each step reads what was added since the last one and hands
// over the lines completed since (a last line without its line break waits for it). A file that
// shrank, whose bytes before the point reached changed (it was replaced or emptied and written
// again), or that came back after it was gone is read again from its start. A step reads a bounded
// number of bytes, so a huge file is read over many steps with flat memory, and a line longer than
// any log line is cut off rather than kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "monitor/FileAccess.h"

namespace corvane::monitor {

struct TailLine {
  std::uint64_t number = 0;  // 1-based line number in the file
  std::string text;          // without its CR LF
  bool overlong = false;     // longer than kMaxLine: the text is its beginning only
};

struct TailStep {
  FileState state = FileState::Missing;
  std::string error;            // why the file cannot be read (Unreadable)
  bool fromStart = false;       // this step's lines begin the file's content: a new file
  bool replaced = false;        // ... and the file held other content before
  bool caughtUp = true;         // every byte the file held at this step has been read
  bool partialLine = false;     // a last line without its line break waits for the rest
  std::uint64_t offset = 0;     // bytes read so far
  std::uint64_t size = 0;       // the file's size
  std::int64_t writeTime = 0;   // the file's last write (seconds since 1970, UTC)
  std::vector<TailLine> lines;  // the lines completed in this step, in order
};

class LogTail {
 public:
  static constexpr std::size_t kMaxLine = 64 * 1024;  // a 10-star log line is under 1 KB
  static constexpr std::size_t kGuard = 64;  // bytes before the point reached checked each step

  explicit LogTail(std::string path, std::size_t bytesPerStep = 4u << 20);
  const std::string& Path() const { return path_; }
  TailStep Step(FileAccess& files);

 private:
  void Restart();
  void TakeBytes(std::string_view bytes, TailStep& step);

  std::string path_;
  std::size_t bytesPerStep_;
  std::uint64_t offset_ = 0;
  std::uint64_t lineNumber_ = 0;  // lines completed so far
  std::string guard_;             // the last kGuard bytes before offset_
  std::string partial_;           // the line being completed
  bool skipping_ = false;         // inside an overlong line: its rest is dropped
  bool started_ = false;          // this content has been read from its start
  bool hadContent_ = false;       // some content (of any file at this path) was read before
};

}  // namespace corvane::monitor
