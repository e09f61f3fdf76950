#include "tests/wine/host/TestDll.h"
#include "tests/wine/host/TestMain.h"

namespace corvane::testhost {

void BeforeTests() {
  EnsurePlugInRegistered();
}

}  // namespace corvane::testhost
