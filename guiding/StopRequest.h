// The request to end a guiding run at the head of its next cycle. The plug-in object owns one
// (the host's camera event 15 sets it); the run clears it when guiding begins, so a stop that
// came during the dialogs or the star picking has no effect, and sets it when the host's
// aggressiveness reads 0.
#pragma once

namespace corvane {

class StopRequest {
 public:
  void Request() { requested_ = true; }
  void Clear() { requested_ = false; }
  bool Requested() const { return requested_; }

 private:
  bool requested_ = false;
};

}  // namespace corvane
