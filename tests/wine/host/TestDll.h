// The Corvane.dll under test, registered with regsvr32, and what the tests read of the registry
// and the file system. The host the tests play comes from the host kit: the plug-in called through
// PlugInClient, the scripted host's objects and the user at the screen.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "hostkit/ScriptedScene.h"
#include "hostkit/win/PlugInClient.h"
#include "hostkit/win/ScreenUser.h"

namespace corvane::testhost {

using hostkit::CallOutcome;
using hostkit::GuiderSettings;
using hostkit::HostRecord;
using hostkit::HostScript;
using hostkit::MissingWindow;
using hostkit::PlugInClient;
using hostkit::Point;
using hostkit::ScreenUser;
using hostkit::ScriptedHost;
using hostkit::Star;
using hostkit::UserActions;

// The Windows path of the Corvane.dll under test.
std::wstring PlugInDllPath();
// Runs regsvr32 (silent) on it; returns regsvr32's exit code.
DWORD RunRegsvr32(bool unregister);
// Registers the DLL unless HKCR\Corvane.PlugIn already names a class served by it.
void EnsurePlugInRegistered();

// A registry value (the default value when name is empty) under HKEY_CLASSES_ROOT.
std::optional<std::wstring> ClassesValue(const std::wstring& path, const wchar_t* name = nullptr);
bool ClassesKeyExists(const std::wstring& path);

// A whole file's bytes, or nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::wstring& path);

}  // namespace corvane::testhost
