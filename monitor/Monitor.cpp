#include "monitor/Monitor.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "guidelog/Record.h"
#include "monitor/Texts.h"

namespace corvane::monitor {

Monitor::Monitor(FileAccess& files, Sources sources, std::size_t bytesPerStep)
    : files_(files), sources_(std::move(sources)), bytesPerStep_(bytesPerStep) {}

void Monitor::FollowNewest() {
  pinned_ = false;
  lastLook_ = -1e300;
  folderProblem_.clear();
}

void Monitor::Open(const std::string& path) {
  pinned_ = true;
  Switch(path);
}

void Monitor::Switch(const std::string& path) {
  path_ = path;
  tail_ = std::make_unique<LogTail>(path, bytesPerStep_);
  format_.reset();
  notALog_ = false;
  run_.reset();
  live_ = false;
  caughtUp_ = true;
  state_ = FileState::Missing;
  offset_ = size_ = 0;
  problem_.clear();
  skipped_ = 0;
  newRunAt_.reset();
  fileProblem_ = false;
  begunWhileFollowed_ = false;
}

void Monitor::SetProblem(std::string text) {
  problem_ = std::move(text);
}

std::optional<std::string> Monitor::Newest() {
  struct Candidate {
    std::string path;
    std::int64_t time = 0;
  };
  std::optional<Candidate> record, log;
  if (!sources_.recordFolder.empty()) {
    const FolderListing listing = files_.List(sources_.recordFolder);
    if (listing.state == FileState::Unreadable) {
      folderProblem_ = "The folder " + sources_.recordFolder + " cannot be read (" + listing.error +
                       "): the guide log is followed instead.";
    } else {
      folderProblem_.clear();
    }
    const FolderEntry* newest = nullptr;
    for (const FolderEntry& entry : listing.files) {
      if (!guidelog::ReadRecordName(entry.name)) continue;
      if (!newest ||
          std::tie(entry.writeTime, entry.name) > std::tie(newest->writeTime, newest->name)) {
        newest = &entry;
      }
    }
    if (newest)
      record = Candidate{JoinPath(sources_.recordFolder, newest->name), newest->writeTime};
  }
  for (const std::string& path : sources_.guideLogs) {
    const FileChunk chunk = files_.Read(path, 0, 0);
    if (chunk.state != FileState::Present) continue;
    if (!log || chunk.writeTime > log->time) log = Candidate{path, chunk.writeTime};
  }
  // A run writes its record and the guide log together: the record unless the log is newer by
  // more than a moment (a Corvane that keeps no record).
  constexpr std::int64_t kTogether = 5;
  if (record && (!log || record->time + kTogether >= log->time)) return record->path;
  if (log) return log->path;
  return std::nullopt;
}

bool Monitor::Poll(double now) {
  now_ = now;
  const std::string statusBefore = Status();
  const std::string problemBefore = problem_;
  bool changed = false;
  if (!pinned_ && now - lastLook_ >= kLookAroundSeconds) {
    lastLook_ = now;
    if (const auto newest = Newest(); newest && *newest != path_) {
      // A newer file than the one followed is a run that began while the monitor looked.
      const bool newRun = !path_.empty();
      Switch(*newest);
      begunWhileFollowed_ = newRun;
      changed = true;
    }
  }
  if (!tail_) {
    if (!folderProblem_.empty()) problem_ = folderProblem_;
    return changed || Status() != statusBefore || problem_ != problemBefore;
  }

  TailStep step = tail_->Step(files_);
  const FileState stateBefore = state_;
  state_ = step.state;
  if (step.state == FileState::Missing) {
    if (stateBefore == FileState::Present) {
      SetProblem(path_ + " is gone (deleted or moved); the monitor waits for the next run.");
      fileProblem_ = true;
    }
    live_ = true;  // whatever is written there next is written while the monitor looks
    caughtUp_ = true;
    return true;
  }
  if (step.state == FileState::Unreadable) {
    SetProblem(path_ + " cannot be read (" + step.error + "); the monitor tries again.");
    fileProblem_ = true;
    caughtUp_ = true;
    return Status() != statusBefore || problem_ != problemBefore;
  }
  if (stateBefore != FileState::Present && fileProblem_) problem_.clear();
  fileProblem_ = false;
  if (step.fromStart) {
    format_.reset();
    notALog_ = false;
    skipped_ = 0;
    if (step.replaced && run_) SetProblem(path_ + " was replaced; its new run is awaited.");
  }
  offset_ = step.offset;
  size_ = step.size;
  for (const TailLine& line : step.lines) {
    if (notALog_) break;
    std::string_view text = line.text;
    if (line.number == 1) {
      if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
      std::string why;
      format_ = line.overlong ? nullptr : FormatFor(text, &why);
      if (!format_) {
        notALog_ = true;
        SetProblem(path_ + " is " +
                   (line.overlong ? "not a Corvane guide log (its first line is "
                                    "longer than any line of a log)"
                                  : why) +
                   ". The monitor keeps looking for the next run.");
        break;
      }
    }
    if (!format_) continue;
    if (line.overlong) {
      LineSkipped(line.number, "longer than any line of a guide log");
      continue;
    }
    format_->Line(line.number, text, *this);
  }
  if (run_) run_->SetFileTime(static_cast<double>(step.writeTime));
  caughtUp_ = step.caughtUp;
  if (caughtUp_) live_ = true;
  if (!folderProblem_.empty() && problem_.empty()) problem_ = folderProblem_;
  return changed || !step.lines.empty() || step.fromStart || Status() != statusBefore ||
         problem_ != problemBefore;
}

void Monitor::RunStarted(const RunInfo& info, std::uint64_t) {
  // A run begun while the monitor looks (after another, or in a file that came or was replaced)
  // is told with its time; one read with the file's old content is just the run.
  if (live_ || begunWhileFollowed_) newRunAt_ = now_;
  begunWhileFollowed_ = false;
  run_ = std::make_unique<RunState>(info);
  problem_.clear();
}

void Monitor::Cycle(const CycleLine& cycle, std::uint64_t) {
  if (!run_) return;
  run_->Add(cycle, live_ ? std::optional<double>(now_) : std::nullopt);
}

void Monitor::LineSkipped(std::uint64_t line, const std::string& why) {
  ++skipped_;
  SetProblem("Line " + std::to_string(line) + " of " + path_ + " is skipped: " + why + ".");
}

std::string Monitor::Status() const {
  if (path_.empty()) {
    std::string where;
    for (const std::string& p : sources_.guideLogs) where += (where.empty() ? "" : " or ") + p;
    return "Waiting for a run: no " +
           (sources_.recordFolder.empty() ? std::string()
                                          : "record in " + sources_.recordFolder + " nor ") +
           "guide log" + (where.empty() ? std::string() : " at " + where) + " yet.";
  }
  std::string text = (pinned_ ? "Showing " : "Following ") + path_;
  if (!caughtUp_ && size_ > 0) {
    text += ": reading, " +
            std::to_string(static_cast<int>(100.0 * static_cast<double>(offset_) /
                                            static_cast<double>(size_))) +
            " %";
  } else if (state_ == FileState::Missing) {
    text += " (not there)";
  }
  if (newRunAt_) text += "; a new run began at " + ClockText(*newRunAt_);
  return text;
}

}  // namespace corvane::monitor
