#include "app/system_paths.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
