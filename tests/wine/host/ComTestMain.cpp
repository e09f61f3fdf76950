// The test programs' main: the thread is a single-threaded apartment, as the host's thread is.
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/wine/host/TestMain.h"

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ::testing::InitGoogleTest(&argc, argv);
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing |= std::strcmp(argv[i], "--gtest_list_tests") == 0;
  int result = 0;
  if (!listing) {
    if (const auto mode = corvane::testhost::SpecialMode(argc, argv)) {
      result = *mode;
    } else {
      corvane::testhost::BeforeTests();
      result = RUN_ALL_TESTS();
    }
  } else {
    result = RUN_ALL_TESTS();
  }
  CoUninitialize();
  return result;
}
