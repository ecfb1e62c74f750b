#include "app/system_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

// Each directory comes from systemd's variable when there is one, else
// from the service's fixed paths for root and lp, else from the user's
// ~/.config; the spool is always in the state directory, and only lp's
// server has a runtime directory of its own without systemd (root's
// listens at /run/NAME.sock itself).
TEST(SystemPathsTest, DirectoriesFollowSystemdThenTheServiceUserThenTheHome) {
  const std::string name = kProgramName;
  const struct {
    const char* who;
    PathsContext context;
    ServerPaths expected;
  } kCases[] = {
      {"the unit's service",
       {"/var/lib/s", "/var/log/s", "/run/s", "/var/spool/lpd", 7, true},
       {"/var/lib/s", "/var/lib/s/spool", "/var/log/s/" + name + ".log", "/run/s"}},
      {"lp by hand",
       {"", "", "", "/var/spool/lpd", 7, true},
       {"/var/lib/" + name, "/var/lib/" + name + "/spool", "/var/log/" + name + "/" + name + ".log",
        "/run/" + name}},
      {"root by hand",
       {"", "", "", "/root", 0, true},
       {"/var/lib/" + name, "/var/lib/" + name + "/spool", "/var/log/" + name + "/" + name + ".log",
        ""}},
      {"a user",
       {"", "", "", "/home/ann", 1000, false},
       {"/home/ann/.config/" + name, "/home/ann/.config/" + name + "/spool", "", ""}},
      {"a user under systemd --user with a state directory only",
       {"/home/ann/.local/state/q", "", "", "/home/ann", 1000, false},
       {"/home/ann/.local/state/q", "/home/ann/.local/state/q/spool", "", ""}},
      {"a user without a home",
       {"", "", "", "", 1000, false},
       {"/tmp/.config/" + name, "/tmp/.config/" + name + "/spool", "", ""}},
  };
  for (const auto& test : kCases) {
    const ServerPaths paths = ChooseServerPaths(test.context);
    EXPECT_EQ(paths.state, test.expected.state) << test.who;
    EXPECT_EQ(paths.spool, test.expected.spool) << test.who;
    EXPECT_EQ(paths.logFile, test.expected.logFile) << test.who;
    EXPECT_EQ(paths.runtime, test.expected.runtime) << test.who;
  }
}

// A user's state from before it had a folder of its own (the state file
// and the logins and job marks beside it, directly in ~/.config) moves into
// the folder once, the printers' logins with it; a folder that has a state
// already is never overwritten.
TEST(SystemPathsTest, AUsersEarlierStateMovesIntoItsFolder) {
  testing_support::TempDir home;
  const std::string config = home.path() + "/.config";
  const std::string state = "/" + std::string(kProgramName) + ".state";
  const std::string folder = config + "/" + kProgramName;
  ASSERT_EQ(mkdir(config.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((config + "/logins").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((config + "/job-marks").c_str(), 0700), 0);
  std::ofstream(config + state) << "earlier";
  std::ofstream(config + "/logins/office.json") << "{}";
  EXPECT_FALSE(MoveEarlierUserState(home.path(), folder));

  ASSERT_TRUE(MoveEarlierUserState(config, folder));
  EXPECT_EQ(access((folder + state).c_str(), F_OK), 0);
  EXPECT_EQ(access((folder + "/logins/office.json").c_str(), F_OK), 0);
  EXPECT_EQ(access((folder + "/job-marks").c_str(), F_OK), 0);
  EXPECT_NE(access((config + state).c_str(), F_OK), 0);
  EXPECT_NE(access((config + "/logins").c_str(), F_OK), 0);

  std::ofstream(config + state) << "another";
  EXPECT_FALSE(MoveEarlierUserState(config, folder));
  std::ifstream kept(folder + state);
  std::string text;
  kept >> text;
  EXPECT_EQ(text, "earlier");
}

}  // namespace
