// What each test program does around its tests.
#pragma once

namespace corvane::testhost {

// Runs once before the tests (not when they are only listed).
void BeforeTests();

}  // namespace corvane::testhost
