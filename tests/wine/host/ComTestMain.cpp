// The test programs' main: the thread is a single-threaded apartment with OLE, as the host's
// thread is.
#include <gtest/gtest.h>

#include <cstring>

#include "hostkit/win/OleSession.h"
#include "tests/wine/host/TestMain.h"

int main(int argc, char** argv) {
  const corvane::hostkit::OleSession ole;
  ::testing::InitGoogleTest(&argc, argv);
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing |= std::strcmp(argv[i], "--gtest_list_tests") == 0;
  if (!listing) corvane::testhost::BeforeTests();
  return RUN_ALL_TESTS();
}
