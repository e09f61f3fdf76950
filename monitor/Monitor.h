// What the monitor follows and how: the newest run (a night's record in the record folder, or the
// guide log, whichever was written last) or one file the user opened, read step by step as it
// grows. A file replaced or emptied begins a new run; one that is gone, cannot be read or is not a
// guide log is named in a message while the monitor keeps looking. The clock comes in from the
// caller: every decision here can be replayed in a test.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitor/FileAccess.h"
#include "monitor/LogTail.h"
#include "monitor/RunLines.h"
#include "monitor/RunState.h"

namespace corvane::monitor {

struct Sources {
  std::vector<std::string> guideLogs;  // where the guide log may be (c:\Corvane.csv, Documents)
  std::string recordFolder;            // where the nights' records are; "" for none
};

class Monitor : private RunEvents {
 public:
  static constexpr double kLookAroundSeconds = 2.0;  // how often the folders are looked at

  Monitor(FileAccess& files, Sources sources, std::size_t bytesPerStep = 4u << 20);

  void FollowNewest();                 // the newest run, and the next one when it begins
  void Open(const std::string& path);  // this file, as it grows
  bool FollowingNewest() const { return !pinned_; }

  // One look at the files; true when what is shown may have changed. `now`: seconds since 1970
  // (UTC), the clock the cycles' arrivals are told in.
  bool Poll(double now);
  bool CatchingUp() const { return !caughtUp_; }  // bytes wait: poll again at once

  const std::string& Path() const { return path_; }
  const RunState* Run() const { return run_.get(); }
  bool Live() const { return live_; }  // cycles arrive as they are written
  std::string Status() const;          // what is followed and how far it is read
  const std::string& Problem() const { return problem_; }  // the latest trouble ("" none)
  std::uint64_t SkippedLines() const { return skipped_; }

 private:
  void RunStarted(const RunInfo& info, std::uint64_t line) override;
  void Cycle(const CycleLine& cycle, std::uint64_t line) override;
  void LineSkipped(std::uint64_t line, const std::string& why) override;

  std::optional<std::string> Newest();
  void Switch(const std::string& path);
  void SetProblem(std::string text);

  FileAccess& files_;
  Sources sources_;
  std::size_t bytesPerStep_;
  bool pinned_ = false;
  std::string path_;
  std::unique_ptr<LogTail> tail_;
  std::unique_ptr<LineFormat> format_;
  bool notALog_ = false;
  std::unique_ptr<RunState> run_;
  bool live_ = false;  // the tail had caught up before: new lines arrive as written
  bool caughtUp_ = true;
  double now_ = 0.0;
  double lastLook_ = -1e300;
  FileState state_ = FileState::Missing;
  std::uint64_t offset_ = 0, size_ = 0;
  std::string problem_;
  std::string folderProblem_;
  bool fileProblem_ = false;  // the problem is the file's (gone, unreadable): cleared once read
  std::uint64_t skipped_ = 0;
  std::optional<double> newRunAt_;   // when a run began while the monitor looked
  bool begunWhileFollowed_ = false;  // the file followed now replaced an older one by itself
};

}  // namespace corvane::monitor
