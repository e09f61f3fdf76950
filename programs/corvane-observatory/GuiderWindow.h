// The simulated guider image in a window titled as the host's, "Autoguider Image": it shows each
// new frame of the model, and a person's presses on it become the host's pointer (PointerDown,
// PointerX, PointerY), so someone at the screen can click the guide stars themselves.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "sim/Observatory.h"
#include "win/UniqueResource.h"

namespace corvane::sim {

class GuiderWindow {
 public:
  explicit GuiderWindow(Observatory& observatory);
  ~GuiderWindow();
  GuiderWindow(const GuiderWindow&) = delete;
  GuiderWindow& operator=(const GuiderWindow&) = delete;

  // Shows the model's latest frame if it is new. Called on the window's own thread.
  void Refresh();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) noexcept;
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);

  Observatory& observatory_;
  win::UniqueWindow window_;
  int width_ = 0;
  int height_ = 0;
  int shownFrame_ = 0;
  std::vector<std::uint32_t> pixels_;
};

}  // namespace corvane::sim
