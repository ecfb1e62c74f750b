// main() of the tests that run the filter with its fixed paths.  Before any
// test runs, the process moves into a mount namespace of its own with a
// fresh tmpfs over /tmp, so the host's /tmp/brelmont, its lock and
// /tmp/auth/auth_config are never seen, let alone changed.  A source or
// build tree that itself lies under /tmp is bound back into the new /tmp.
// Where the namespace is refused (not root), every such test is skipped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
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

namespace {

// The directories right under /tmp that hold the trees the tests need.
std::set<std::string> TreesUnderTmp() {
  std::set<std::string> tops;
  for (const char* path : {QUILLFERN_TEST_DATA_DIR, QUILLFERN_FILTER_PATH, QUILLFERN_DECODE_PATH}) {
    const std::string text = path;
    if (text.rfind("/tmp/", 0) != 0 || text.size() <= 5) continue;
    tops.insert(text.substr(5, text.find('/', 5) - 5));
  }
  return tops;
}

// Mounts the private /tmp; empty, or what went wrong.
std::string EnterPrivateTmp() {
  if (unshare(CLONE_NEWNS) != 0) return std::string("unshare(CLONE_NEWNS): ") + strerror(errno);
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return std::string("making mounts private: ") + strerror(errno);
  }
  const int hostTmp = open("/tmp", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (mount("tmpfs", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0) {
    return std::string("mounting a tmpfs over /tmp: ") + strerror(errno);
  }
  for (const std::string& top : TreesUnderTmp()) {
    const std::string from = "/proc/self/fd/" + std::to_string(hostTmp) + "/" + top;
    const std::string to = "/tmp/" + top;
    mkdir(to.c_str(), 0755);
    if (mount(from.c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
      return "binding " + to + " back: " + strerror(errno);
    }
  }
  close(hostTmp);
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  testing_support::privateTmpProblem = EnterPrivateTmp();
  return RUN_ALL_TESTS();
}
