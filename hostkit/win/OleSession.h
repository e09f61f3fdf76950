// COM and OLE on this thread, for the lifetime of the object: the single-threaded apartment a
// host's main thread runs in, where the plug-in is created and called.
#pragma once

#include <windows.h>

#include <ole2.h>

namespace corvane::hostkit {

class OleSession {
 public:
  OleSession() noexcept : result_(OleInitialize(nullptr)) {}
  ~OleSession() {
    if (SUCCEEDED(result_)) OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;

  HRESULT Result() const noexcept { return result_; }

 private:
  HRESULT result_;
};

}  // namespace corvane::hostkit
