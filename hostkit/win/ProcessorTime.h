// The processor clock of the scripted scene's wait figures on Windows.
#pragma once

#include "hostkit/FakeHost.h"

namespace corvane::hostkit {

// Processor time (user + kernel) of the whole process and of the calling thread, the host's
// thread on which the plug-in runs.
CpuTime ProcessorTime();

}  // namespace corvane::hostkit
