// A DLL loaded into this program, freed when the object goes, and its exports called by name:
// Corvane.dll's registration exports and DllCanUnloadNow.
#pragma once

#include <windows.h>

#include <string>

#include "win/UniqueResource.h"

namespace corvane::hostkit {

class Library {
 public:
  explicit Library(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {}

  explicit operator bool() const noexcept { return static_cast<bool>(module_); }
  HMODULE Get() const noexcept { return module_.Get(); }

  // The export with this name and the given type, or nullptr.
  template <typename Function>
  Function* Export(const char* name) const noexcept {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(Get(), name)));
  }
  // Calls an export taking nothing and returning an HRESULT (DllRegisterServer, DllCanUnloadNow).
  HRESULT Call(const char* name) const {
    const auto function = Export<HRESULT STDAPICALLTYPE()>(name);
    return function != nullptr ? function() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  }

 private:
  win::UniqueModule module_;
};

}  // namespace corvane::hostkit
