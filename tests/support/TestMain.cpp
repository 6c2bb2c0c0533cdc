// The main of every test program: the per-user folders (settings, data, state) point into a
// private temporary folder for the whole run, so a test never reads or changes the real user's
// settings and leaves nothing behind.
#include <gtest/gtest.h>

#include "TempFolder.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ixoral::test::TTempFolder home("home");
  ixoral::test::UsePrivateUserFolders(home);
  return RUN_ALL_TESTS();
}
