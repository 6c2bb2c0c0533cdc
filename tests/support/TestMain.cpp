// The main of every test program: the per-user folders (settings, data, state) point into a
// private temporary folder for the whole run, so a test never reads or changes the real user's
// settings and leaves nothing behind.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TempFolder.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ixoral::test::TTempFolder home("home");
  ::setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", home.File("data").c_str(), 1);
  ::setenv("XDG_STATE_HOME", home.File("state").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", home.File("cache").c_str(), 1);
  return RUN_ALL_TESTS();
}
