// Prints the processor time the run's two kinds of wait cost, measured with GetProcessTimes:
// the click wait (a pass over the messages, then WaitForInput, again and again) and the
// exposure wait (Sleep100ms, then a pass over the messages). Usage: corvane-bench-waits [seconds]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "plugin/win/WinRunEnvironment.h"

namespace {

double ProcessorSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& time) {
    return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                               time.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

template <typename Step>
void Measure(const char* name, double seconds, Step step) {
  const double before = ProcessorSeconds();
  const auto start = std::chrono::steady_clock::now();
  long polls = 0;
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
         seconds) {
    step();
    ++polls;
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double used = ProcessorSeconds() - before;
  std::printf("%-14s %5.1f s waited, %8.3f s processor (%5.2f %%), %ld polls\n", name, wall, used,
              100.0 * used / wall, polls);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  corvane::ModuleDialogs dialogs;
  corvane::win::WinRunEnvironment environment(dialogs);
  Measure("click wait", seconds, [&] {
    environment.LetHostRun();
    environment.WaitForInput();
  });
  Measure("exposure wait", seconds, [&] {
    environment.Sleep100ms();
    environment.LetHostRun();
  });
  return 0;
}
