#include "tests/wine/host/TestMain.h"

namespace corvane::testhost {

void BeforeTests() {}
std::optional<int> SpecialMode(int, char**) {
  return std::nullopt;
}

}  // namespace corvane::testhost
