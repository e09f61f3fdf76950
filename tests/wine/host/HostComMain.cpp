#include "tests/wine/host/TestMain.h"

namespace corvane::testhost {

void BeforeTests() {}

}  // namespace corvane::testhost
