#include "GuiderWindow.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>

namespace corvane::sim {
namespace {

constexpr const wchar_t* kClassName = L"CorvaneSimulatedGuiderImage";
constexpr const wchar_t* kTitle = L"Autoguider Image";
constexpr double kDisplayRange = 3000.0;  // electrons above the sky shown as full white

}  // namespace

GuiderWindow::GuiderWindow(Observatory& observatory)
    : observatory_(observatory),
      width_(observatory.Settings().camera.width),
      height_(observatory.Settings().camera.height),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &GuiderWindow::Procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32515));  // IDC_CROSS
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);  // fails harmlessly when already registered

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame = {0, 0, width_, height_};
  AdjustWindowRect(&frame, style, FALSE);
  window_.Reset(CreateWindowExW(0, kClassName, kTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, windowClass.hInstance, this));
  if (window_) ShowWindow(window_.Get(), SW_SHOWNOACTIVATE);
}

GuiderWindow::~GuiderWindow() = default;

void GuiderWindow::Refresh() {
  if (!window_ || observatory_.FramesFinished() == shownFrame_) return;
  shownFrame_ = observatory_.FramesFinished();
  const std::vector<float> image = observatory_.FrameImage();
  if (image.size() != pixels_.size()) return;
  // The sky level: the median of a sample of pixels.
  std::vector<float> sample;
  for (std::size_t i = 0; i < image.size(); i += 97) sample.push_back(image[i]);
  std::nth_element(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(sample.size() / 2),
                   sample.end());
  const double sky = sample.empty() ? 0.0 : sample[sample.size() / 2];
  for (std::size_t i = 0; i < image.size(); ++i) {
    const double level = std::clamp((image[i] - sky) / kDisplayRange + 0.02, 0.0, 1.0);
    const auto grey = static_cast<std::uint32_t>(255.0 * std::sqrt(level));
    pixels_[i] = grey | (grey << 8) | (grey << 16);
  }
  // A green box where the plug-in measures each guide star.
  const int half = static_cast<int>(observatory_.Settings().sky.searchRadius);
  auto put = [this](int x, int y) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) {
      pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
              static_cast<std::size_t>(x)] = 0x00FF00;
    }
  };
  for (const Vec2& point : observatory_.MeasuredPoints()) {
    const int cx = static_cast<int>(point.x), cy = static_cast<int>(point.y);
    for (int d = -half; d <= half; ++d) {
      put(cx + d, cy - half);
      put(cx + d, cy + half);
      put(cx - half, cy + d);
      put(cx + half, cy + d);
    }
  }
  InvalidateRect(window_.Get(), nullptr, FALSE);
}

LRESULT CALLBACK GuiderWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) noexcept {
  try {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<GuiderWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->window_.Get() == window) return self->Handle(message, w, l);
  } catch (...) {
    // Nothing may leave a window procedure; a failed repaint or press is simply lost.
  }
  return DefWindowProcW(window, message, w, l);
}

LRESULT GuiderWindow::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_.Get(), &paint);
      BITMAPINFO info = {};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = width_;
      info.bmiHeader.biHeight = -height_;  // top row first
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width_), static_cast<DWORD>(height_), 0, 0, 0,
                        static_cast<UINT>(height_), pixels_.data(), &info, DIB_RGB_COLORS);
      EndPaint(window_.Get(), &paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
      SetCapture(window_.Get());
      observatory_.SetManualPointer(
          true, {static_cast<double>(GET_X_LPARAM(l)), static_cast<double>(GET_Y_LPARAM(l))});
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      observatory_.SetManualPointer(
          false, {static_cast<double>(GET_X_LPARAM(l)), static_cast<double>(GET_Y_LPARAM(l))});
      return 0;
    case WM_CLOSE:
      return 0;  // the window stays for the run; the program closes it
    default:
      return DefWindowProcW(window_.Get(), message, w, l);
  }
}

}  // namespace corvane::sim
