#include "monitor/LogTail.h"

#include <algorithm>
#include <utility>

namespace corvane::monitor {

LogTail::LogTail(std::string path, std::size_t bytesPerStep)
    : path_(std::move(path)), bytesPerStep_(std::max<std::size_t>(bytesPerStep, kGuard)) {}

void LogTail::Restart() {
  offset_ = 0;
  lineNumber_ = 0;
  guard_.clear();
  partial_.clear();
  skipping_ = false;
  started_ = false;
}

TailStep LogTail::Step(FileAccess& files) {
  TailStep step;
  // At most the guard's size: a count of bytes in memory.
  const auto back = static_cast<std::size_t>(std::min<std::uint64_t>(offset_, guard_.size()));
  const std::uint64_t readFrom = offset_ - back;
  FileChunk chunk = files.Read(path_, readFrom, bytesPerStep_ + back);
  step.state = chunk.state;
  step.error = chunk.error;
  if (chunk.state != FileState::Present) {
    // Whatever comes at this path next is a new file.
    if (chunk.state == FileState::Missing) Restart();
    step.offset = offset_;
    return step;
  }
  const bool sameContent = started_ && chunk.size >= offset_ && chunk.bytes.size() >= back &&
                           std::string_view(chunk.bytes).substr(0, back) ==
                               std::string_view(guard_).substr(guard_.size() - back);
  std::string_view fresh = chunk.bytes;
  if (sameContent) {
    fresh.remove_prefix(back);
  } else {
    if (started_) Restart();
    if (readFrom > 0) {
      chunk = files.Read(path_, 0, bytesPerStep_);
      if (chunk.state != FileState::Present) {
        step.state = chunk.state;
        step.error = chunk.error;
        return step;
      }
    }
    fresh = chunk.bytes;
    started_ = true;
    step.fromStart = true;
    step.replaced = hadContent_;
  }
  TakeBytes(fresh, step);
  if (offset_ > 0) hadContent_ = true;
  step.size = std::max<std::uint64_t>(chunk.size, offset_);
  step.offset = offset_;
  step.writeTime = chunk.writeTime;
  step.caughtUp = offset_ >= step.size;
  step.partialLine = !partial_.empty() || skipping_;
  return step;
}

void LogTail::TakeBytes(std::string_view bytes, TailStep& step) {
  offset_ += bytes.size();
  // The guard: the last bytes before the new offset.
  if (bytes.size() >= kGuard) {
    guard_.assign(bytes.substr(bytes.size() - kGuard));
  } else {
    guard_.append(bytes);
    if (guard_.size() > kGuard) guard_.erase(0, guard_.size() - kGuard);
  }
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (!skipping_) {
      const std::size_t room = kMaxLine - std::min(kMaxLine, partial_.size());
      partial_.append(piece.substr(0, room));
      if (piece.size() > room) {
        // Longer than any line of a log: what came so far is handed over, the rest dropped.
        step.lines.push_back({++lineNumber_, std::move(partial_), true});
        partial_.clear();
        skipping_ = true;
      }
    }
    if (end == std::string_view::npos) return;
    if (skipping_) {
      skipping_ = false;
    } else {
      if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
      step.lines.push_back({++lineNumber_, std::move(partial_), false});
      partial_.clear();
    }
    bytes.remove_prefix(end + 1);
  }
}

}  // namespace corvane::monitor
