// The module's registry entries: the ProgID Corvane.PlugIn, the class as an in-process server
// with ThreadingModel Apartment, and the type library.
#pragma once

#include <string>

namespace corvane::win {

// Writes the entries for the module at modulePath and registers its type library.
void RegisterServer(const std::wstring& modulePath);
// Removes exactly those entries. The ProgID key is shared by the 32- and 64-bit registry views
// while the class keys are not: it stays while the other view still serves the class.
void UnregisterServer();

}  // namespace corvane::win
