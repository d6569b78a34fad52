// main() of the Windows test programs: the channel's process locks, then
// either one child role (the program started again as a second process) or
// the tests. Kept apart from the helpers so that programs with a main of
// their own (the benchmarks) can use those.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dllcomm.h"
#include "wintest.h"

int main(int argc, char** argv) {
  qp::CreateChannelLocks();
  int result = 0;
  if (argc >= 3 && std::string(argv[1]) == "--child") {
    result = qp::test::RunChildRole(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  } else {
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  qp::DeleteChannelLocks();
  return result;
}
