// corvane-dialog-pictures.exe initial|setup [--dll PATH]: shows one of Corvane's dialogs as a
// user sees it, for its picture. The real Corvane.dll (beside this program unless --dll names
// another) is registered, created by its ProgID and run by a host scripted with no stars; once
// the dialog ("Initial Exposure", or "Guide star setup" after OK in the first) is on the screen,
// the program prints "shown <left> <top> <width> <height>" (its window rectangle), or "missing",
// and leaves it open until it is ended from outside. scripts/screenshots.sh takes the pictures.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "dialogs/win/DialogIds.h"
#include "hostkit/ScriptedScene.h"
#include "hostkit/win/ClassRegistration.h"
#include "hostkit/win/DialogDriver.h"
#include "hostkit/win/HostSession.h"
#include "hostkit/win/Library.h"
#include "hostkit/win/OleSession.h"
#include "hostkit/win/PlugInClient.h"

namespace {

using namespace corvane;
namespace driver = hostkit::dialogs;

std::wstring DllBesideProgram() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return (std::filesystem::path(path).parent_path() / L"Corvane.dll").wstring();
}

// Waits for the dialog (passing "Initial Exposure" with OK first for the setup), then reports
// where it is.
void ReportWhenShown(bool setup) {
  if (setup) {
    if (HWND initial = driver::WaitForDialog(dialog_ids::kInitialExposureCaption)) {
      driver::PressButton(initial, dialog_ids::kOK);
    }
  }
  HWND shown = driver::WaitForDialog(setup ? dialog_ids::kGuideSetupCaption
                                           : dialog_ids::kInitialExposureCaption);
  if (!shown) {
    std::printf("missing\n");
    std::fflush(stdout);
    return;
  }
  Sleep(500);  // let it paint
  RECT r{};
  GetWindowRect(shown, &r);
  std::printf("shown %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool known =
      argc >= 2 && (std::wcscmp(argv[1], L"initial") == 0 || std::wcscmp(argv[1], L"setup") == 0);
  if (!known || (argc != 2 && !(argc == 4 && std::wcscmp(argv[2], L"--dll") == 0))) {
    std::fprintf(stderr, "corvane-dialog-pictures initial|setup [--dll PATH]\n");
    return 2;
  }
  const bool setup = std::wcscmp(argv[1], L"setup") == 0;
  try {
    const hostkit::OleSession ole;
    const hostkit::Library dll(argc == 4 ? std::wstring(argv[3]) : DllBesideProgram());
    if (!dll || FAILED(dll.Call("DllRegisterServer"))) {
      std::fprintf(stderr, "corvane-dialog-pictures: Corvane.dll cannot be registered\n");
      return 1;
    }
    auto session = std::make_shared<hostcom::HostSession>();
    hostkit::ScriptedHost host{hostkit::HostScript{}};
    const hostcom::HostRegistration registration(
        session, [&host] { return host.CreateApplication(); },
        [&host] { return host.CreateCamera(); });
    const hostkit::PlugInClient plugin;
    std::thread(ReportWhenShown, setup).detach();
    plugin.DoModal();
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "corvane-dialog-pictures: %s\n", failure.what());
    return 1;
  }
}
