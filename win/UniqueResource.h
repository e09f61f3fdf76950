// Owners of raw Windows resources: each frees its resource exactly once, when it goes out of scope
// or is reset, so no path (an exception included) leaks one. One template, with a small traits
// struct per kind of resource (kernel handles, registry keys, COM task memory, LocalAlloc memory,
// GDI objects, window DCs, modules, windows). Shaped like unique_ptr: Get, Reset, Release, and
// Receive for out-parameters; copying is deleted, moving hands the resource over.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <utility>

namespace corvane::win {

// Traits: the handle's type, its empty value and how it is closed.
template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() noexcept = default;
  explicit UniqueResource(Type owned) noexcept : value_(owned) {}  // takes ownership
  ~UniqueResource() { Reset(); }
  UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Type Get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return !(value_ == Traits::Empty()); }
  void Reset(Type owned = Traits::Empty()) noexcept {
    const Type old = std::exchange(value_, owned);
    if (!(old == Traits::Empty())) Traits::Close(old);
  }
  // Hands the handle over to the caller, who closes it.
  [[nodiscard]] Type Release() noexcept { return std::exchange(value_, Traits::Empty()); }
  // For a call that returns a new handle through a pointer: the old one is closed first.
  Type* Receive() noexcept {
    Reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Empty();
};

struct FileHandleTraits {  // CreateFile's handles: INVALID_HANDLE_VALUE when there is none
  using Type = HANDLE;
  static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) noexcept { CloseHandle(handle); }
};

struct KernelHandleTraits {  // processes, threads, events: nullptr when there is none
  using Type = HANDLE;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type handle) noexcept { CloseHandle(handle); }
};

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type key) noexcept { RegCloseKey(key); }
};

struct GdiObjectTraits {  // fonts, pens, brushes: deleted once no DC has them selected
  using Type = HGDIOBJ;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type object) noexcept { DeleteObject(object); }
};

template <typename T>
struct CoTaskMemTraits {  // memory a COM call allocates for its caller (CoTaskMemAlloc)
  using Type = T*;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type memory) noexcept { CoTaskMemFree(memory); }
};

template <typename T>
struct LocalMemTraits {  // memory a system call allocates with LocalAlloc (FormatMessage's text)
  using Type = T*;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type memory) noexcept { LocalFree(memory); }
};

// A DC from GetDC: released to the window it came from.
struct WindowDc {
  HWND window = nullptr;
  HDC dc = nullptr;
  bool operator==(const WindowDc&) const = default;
};
struct WindowDcTraits {
  using Type = WindowDc;
  static Type Empty() noexcept { return {}; }
  static void Close(Type owned) noexcept { ReleaseDC(owned.window, owned.dc); }
};

struct ModuleTraits {  // LoadLibrary's modules
  using Type = HMODULE;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type module) noexcept { FreeLibrary(module); }
};

struct WindowTraits {  // a window this program created and destroys
  using Type = HWND;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type window) noexcept { DestroyWindow(window); }
};

using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;
template <typename T = wchar_t>
using UniqueCoTaskMem = UniqueResource<CoTaskMemTraits<T>>;
template <typename T = wchar_t>
using UniqueLocalMem = UniqueResource<LocalMemTraits<T>>;
using UniqueWindowDc = UniqueResource<WindowDcTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueWindow = UniqueResource<WindowTraits>;

// The DC of a window (nullptr: the screen), released when the owner goes.
inline UniqueWindowDc GetWindowDc(HWND window) noexcept {
  const HDC dc = GetDC(window);
  return dc != nullptr ? UniqueWindowDc(WindowDc{window, dc}) : UniqueWindowDc();
}

}  // namespace corvane::win
