// corvane-monitor.exe [FILE]: Corvane Monitor, the live view of a guiding run. Without FILE it
// follows the newest run: the newest night's record in Documents\Corvane, or the guide log
// c:\Corvane.csv (Documents\Corvane.csv where C:\ could not be written) when there is none or it
// is newer; with FILE it shows that record or guide log, following it while it grows.
#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>
#include <shellapi.h>
#include <shlobj.h>

#include <optional>
#include <string>

#include "monitor/win/MonitorWindow.h"
#include "plugin/win/GuideLogFileWin.h"
#include "win/AutomationValues.h"
#include "win/Failures.h"
#include "win/UniqueResource.h"

namespace {

using namespace corvane;

monitor::Sources WhereRunsAre() {
  monitor::Sources sources;
  sources.guideLogs.push_back(win::Narrow(win::kGuideLogPath));
  win::UniqueCoTaskMem<wchar_t> documents;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, documents.Receive()))) {
    const std::string folder = win::Narrow(documents.Get());
    sources.guideLogs.push_back(monitor::JoinPath(folder, win::Narrow(win::kGuideLogName)));
    sources.recordFolder = monitor::JoinPath(folder, "Corvane");
  }
  return sources;
}

// Per-monitor DPI awareness (version 2) where the manifest's setting was not taken.
void BeDpiAware() {
  using SetContext = BOOL(WINAPI*)(HANDLE);
  const auto set = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
  if (set) set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));  // PER_MONITOR_AWARE_V2
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  BeDpiAware();
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
    MessageBoxW(nullptr, L"GDI+ cannot be started: the graph cannot be drawn.", L"Corvane Monitor",
                MB_OK | MB_ICONERROR);
    return 1;
  }
  int status = 0;
  try {
    std::optional<std::string> file;
    int argc = 0;
    if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
      if (argc > 1) file = win::Narrow(argv[1]);
      LocalFree(argv);
    }
    monitor::MonitorWindow window(instance, WhereRunsAre(), file);
    status = window.Run();
  } catch (const std::exception& failure) {
    MessageBoxW(nullptr, win::Widen(failure.what()).c_str(), L"Corvane Monitor",
                MB_OK | MB_ICONERROR);
    status = 1;
  }
  Gdiplus::GdiplusShutdown(token);
  return status;
}
