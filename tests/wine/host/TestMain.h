// What each test program does around its tests.
#pragma once

#include <optional>

namespace corvane::testhost {

// Runs once before the tests (not when they are only listed).
void BeforeTests();
// A mode of the program other than running tests (its exit code), selected by its arguments.
std::optional<int> SpecialMode(int argc, char** argv);

}  // namespace corvane::testhost
