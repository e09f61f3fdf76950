#include "hostkit/win/HostSession.h"

namespace corvane::hostcom {

void HostSession::Record(const RecordedCall& call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(call);
}

std::vector<RecordedCall> HostSession::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<RecordedCall> HostSession::CallsOf(const std::string& member) const {
  std::lock_guard lock(mutex_);
  std::vector<RecordedCall> selected;
  for (const auto& call : calls_) {
    if (call.member == member) selected.push_back(call);
  }
  return selected;
}

void HostSession::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void HostSession::SetOverride(Override reply) {
  std::lock_guard lock(mutex_);
  override_ = std::move(reply);
}

std::optional<win::Variant> HostSession::OverriddenReply(const RecordedCall& call) const {
  Override reply;
  {
    std::lock_guard lock(mutex_);
    reply = override_;
  }
  // Called outside the lock: the reply may itself call into the host objects.
  if (!reply) return std::nullopt;
  return reply(call);
}

}  // namespace corvane::hostcom
