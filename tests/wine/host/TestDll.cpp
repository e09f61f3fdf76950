#include "tests/wine/host/TestDll.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "win/AutomationValues.h"
#include "win/UniqueResource.h"

namespace corvane::testhost {

std::wstring PlugInDllPath() {
  // A Unix path from the build; Wine's drive Z: is the root of the Unix file system.
  std::wstring path = win::Widen(CORVANE_DLL_PATH);
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

DWORD RunRegsvr32(bool unregister) {
  std::wstring command = L"regsvr32.exe /s ";
  if (unregister) command += L"/u ";
  command += L"\"" + PlugInDllPath() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return GetLastError();
  }
  const corvane::win::UniqueHandle thread(process.hThread);
  const corvane::win::UniqueHandle running(process.hProcess);
  WaitForSingleObject(running.Get(), INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(running.Get(), &exitCode);
  return exitCode;
}

std::optional<std::wstring> ClassesValue(const std::wstring& path, const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(value);
}

bool ClassesKeyExists(const std::wstring& path) {
  corvane::win::UniqueRegistryKey key;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Receive()) ==
         ERROR_SUCCESS;
}

void EnsurePlugInRegistered() {
  if (const auto clsid = ClassesValue(L"Corvane.PlugIn\\CLSID")) {
    const auto server = ClassesValue(L"CLSID\\" + *clsid + L"\\InprocServer32");
    if (server && CompareStringOrdinal(server->c_str(), -1, PlugInDllPath().c_str(), -1, TRUE) ==
                      CSTR_EQUAL) {
      return;
    }
  }
  RunRegsvr32(false);
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace corvane::testhost
