#pragma once
#include <string>

// Folder of the public test vectors (Noise, Wycheproof) kept beside the checkout in
// shared/testdata; FL_TESTDATA in the environment overrides it. Empty when it does not exist,
// so tests can skip with a clear message.
std::string testdata_dir();

// Skips the current test when the vector folder is absent.
#define FL_REQUIRE_TESTDATA()                                                           \
  do {                                                                                  \
    if (testdata_dir().empty())                                                         \
      GTEST_SKIP() << "public test vectors not found (expected ../shared/testdata "     \
                      "beside the checkout, or FL_TESTDATA)";                           \
  } while (0)
