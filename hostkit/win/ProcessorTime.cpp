#include "hostkit/win/ProcessorTime.h"

#include <windows.h>

namespace corvane::hostkit {
namespace {

double FileTimeSeconds(const FILETIME& t) {
  return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                             t.dwLowDateTime) /
         1e7;
}

}  // namespace

CpuTime ProcessorTime() {
  FILETIME created, exited, kernel, user;
  CpuTime now;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  now.process = FileTimeSeconds(kernel) + FileTimeSeconds(user);
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  now.thread = FileTimeSeconds(kernel) + FileTimeSeconds(user);
  return now;
}

}  // namespace corvane::hostkit
