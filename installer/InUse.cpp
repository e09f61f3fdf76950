// corvane-inuse: tells the setup whether a running program holds one of the given DLLs loaded,
// and which, before anything is replaced or removed. Windows refuses to overwrite a loaded DLL,
// but Wine does not, and a 32-bit program cannot list a 64-bit process's modules: the setup runs
// the helper of the system's own bitness, which sees the processes of both.
//   corvane-inuse.exe DLL...
// Exit 0: no process holds any of them; 1: at least one does, one line per holder on stdout,
// "<program> (process <id>)"; 2: the processes could not be listed.
#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using ProcessHandle = std::unique_ptr<void, HandleCloser>;

// The long form of a path, so that short (8.3) names and different spellings compare equal.
std::wstring LongPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD length =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return path;
  full.resize(length);
  std::wstring longer(32768, L'\0');
  length = GetLongPathNameW(full.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
  if (length == 0 || length >= longer.size()) return full;
  longer.resize(length);
  return longer;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FileName(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The module is one of the DLLs: the cheap test on the file name first, then the whole path.
bool IsOneOf(const std::wstring& module, const std::vector<std::wstring>& dlls) {
  for (const std::wstring& dll : dlls) {
    if (SameText(FileName(module), FileName(dll)) && SameText(LongPath(module), dll)) return true;
  }
  return false;
}

std::vector<DWORD> ProcessIds() {
  std::vector<DWORD> ids(1024);
  for (;;) {
    DWORD bytes = 0;
    if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
      return {};
    }
    if (bytes < ids.size() * sizeof(DWORD)) {
      ids.resize(bytes / sizeof(DWORD));
      return ids;
    }
    ids.resize(ids.size() * 2);
  }
}

std::vector<std::wstring> ModulePaths(HANDLE process) {
  std::vector<HMODULE> modules(256);
  for (;;) {
    DWORD bytes = 0;
    if (!EnumProcessModulesEx(process, modules.data(),
                              static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &bytes,
                              LIST_MODULES_ALL)) {
      return {};
    }
    if (bytes <= modules.size() * sizeof(HMODULE)) {
      modules.resize(bytes / sizeof(HMODULE));
      break;
    }
    modules.resize(bytes / sizeof(HMODULE));
  }
  std::vector<std::wstring> paths;
  for (HMODULE module : modules) {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameExW(process, module, path, MAX_PATH * 4);
    if (length > 0) paths.emplace_back(path, length);
  }
  return paths;
}

std::wstring ProgramName(HANDLE process) {
  wchar_t path[MAX_PATH * 4];
  DWORD length = MAX_PATH * 4;
  if (!QueryFullProcessImageNameW(process, 0, path, &length)) return L"a program";
  return FileName(std::wstring(path, length));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> wanted;
  for (int i = 1; i < argc; ++i) wanted.push_back(LongPath(argv[i]));
  const std::vector<DWORD> ids = ProcessIds();
  if (ids.empty()) {
    std::fprintf(stderr, "cannot list the running processes (error %lu)\n", GetLastError());
    return 2;
  }
  int holders = 0;
  for (DWORD id : ids) {
    if (id == 0 || id == GetCurrentProcessId()) continue;
    // A process this user may not look into cannot be one the user can close either; Windows
    // itself still refuses to replace a DLL such a process holds, which the setup checks next.
    ProcessHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, id));
    if (!process) continue;
    for (const std::wstring& module : ModulePaths(process.get())) {
      if (IsOneOf(module, wanted)) {
        std::printf("%ls (process %lu)\n", ProgramName(process.get()).c_str(), id);
        ++holders;
        break;
      }
    }
  }
  return holders > 0 ? 1 : 0;
}
