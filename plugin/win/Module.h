// The loaded module: its handle, its path, the count of live objects and server locks that
// DllCanUnloadNow answers from, and the dialog objects that live as long as the module.
#pragma once

#include <windows.h>

#include <string>

#include "dialogs/Dialogs.h"

namespace corvane::win {

HINSTANCE ModuleHandle() noexcept;
std::wstring ModulePath();

void AddObject() noexcept;
void RemoveObject() noexcept;
void LockModule(bool lock) noexcept;
bool ModuleInUse() noexcept;

ModuleDialogs& TheModuleDialogs();

}  // namespace corvane::win
