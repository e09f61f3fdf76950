#include <cstdio>
#include <cstring>
#include <thread>

#include "dialogs/win/DialogIds.h"
#include "sim/hostcom/ClassRegistration.h"
#include "sim/hostcom/DialogDriver.h"
#include "tests/wine/host/TestDll.h"
#include "tests/wine/host/TestMain.h"

namespace corvane::testhost {

void BeforeTests() {
  EnsurePlugInRegistered();
}

// "--show-dialog initial|setup": runs the plug-in until the dialog is on the screen, prints
// "shown <left> <top> <width> <height>" (its window rectangle) and leaves it open until the
// program is ended from outside. Used to take the dialogs' pictures.
std::optional<int> SpecialMode(int argc, char** argv) {
  if (argc < 3 || std::strcmp(argv[1], "--show-dialog") != 0) return std::nullopt;
  const bool setup = std::strcmp(argv[2], "setup") == 0;
  EnsurePlugInRegistered();
  auto session = std::make_shared<hostcom::HostSession>();
  ScriptedHost host{HostScript{}};
  hostcom::HostRegistration registration(
      session, [&host] { return host.CreateApplication(); },
      [&host] { return host.CreateCamera(); });
  PlugInClient plugin;
  std::thread user([setup] {
    namespace driver = hostcom::dialogs;
    if (setup) {
      if (HWND initial = driver::WaitForDialog(dialog_ids::kInitialCaption)) {
        driver::PressButton(initial, dialog_ids::kOK);
      }
    }
    HWND shown =
        driver::WaitForDialog(setup ? dialog_ids::kSampleCaption : dialog_ids::kInitialCaption);
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
  });
  user.detach();
  plugin.DoModal();
  return 0;
}

}  // namespace corvane::testhost
