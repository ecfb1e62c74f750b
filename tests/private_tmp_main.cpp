// main() of the tests that run the filter with its fixed paths.  Before any
// test runs, the process moves into a mount namespace of its own with a
// fresh tmpfs over /tmp, so the host's /tmp/brelmont, its lock and
// /tmp/auth/auth_config are never seen, let alone changed.  Where the
// namespace is refused (not root), every such test is skipped.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tests/test_support.h"

namespace testing_support {

namespace {
std::string privateTmpProblem = "not set up";
}

const std::string& PrivateTmpProblem() {
  return privateTmpProblem;
}

}  // namespace testing_support

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string& problem = testing_support::privateTmpProblem;
  if (unshare(CLONE_NEWNS) != 0) {
    problem = std::string("unshare(CLONE_NEWNS): ") + strerror(errno);
  } else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    problem = std::string("making mounts private: ") + strerror(errno);
  } else if (mount("tmpfs", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0) {
    problem = std::string("mounting a tmpfs over /tmp: ") + strerror(errno);
  } else {
    problem.clear();
  }
  return RUN_ALL_TESTS();
}
