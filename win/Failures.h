// How the Windows shell says why something failed: "<what failed>: <why>", the why being the
// system's text for the HRESULT or, where the system has none, the code in hex.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace corvane::win {

// The system's text for an HRESULT without the trailing line break ("" when it has none).
std::string SystemText(HRESULT hr);
// Why something failed with this HRESULT: the system's text, or the code in hex ("error
// 0x800401F3") where the system has no text for it. Never empty.
std::string FailureReason(HRESULT hr);
// Every failure description of the shell reads "<what failed>: <why>".
std::string FailureDescription(std::string_view what, HRESULT hr);

}  // namespace corvane::win
