#include "app/state_logins.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "params/auth_file.h"
#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

// A printer's login is a 0600 file of its own inside the state directory,
// whatever the printer is called, that the filter's reader takes; what the
// printer cannot take in one job_params line is refused, and the file is
// left as it was.
TEST(StateLoginsTest, LoginsAreFilesOfTheirOwnThatThePrinterCanTake) {
  testing_support::TempDir state;
  const std::string weird = "../up/and\nout";
  ASSERT_EQ(SaveLogin(state.path(), weird, "operator", "Qx7 pass"), "");
  const std::string path = LoginPath(state.path(), weird);
  EXPECT_EQ(path, state.path() + "/logins/..%2Fup%2Fand%0Aout.json");
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  char id[kAuthFieldSize] = {}, password[kAuthFieldSize] = {};
  EXPECT_EQ(getAuthInfo(path.c_str(), id, password, sizeof id), 1);
  EXPECT_STREQ(id, "operator");
  EXPECT_STREQ(password, "Qx7 pass");

  const struct {
    std::string name, password, problem;
  } kRefused[] = {
      {"operator", "two\nlines", "the password has a control character"},
      {"tab\there", "pw", "the login name has a control character"},
      {std::string(kAuthFieldSize, 'n'), "pw", "the login name is longer than 127 bytes"},
      {"operator", std::string(kAuthFieldSize, 'p'), "the password is longer than 127 bytes"},
  };
  for (const auto& test : kRefused) {
    EXPECT_EQ(SaveLogin(state.path(), weird, test.name, test.password), test.problem);
  }
  std::string name, secret;
  ASSERT_TRUE(ReadLogin(state.path(), weird, &name, &secret));
  EXPECT_EQ(name + "/" + secret, "operator/Qx7 pass");

  EXPECT_TRUE(RemoveLogin(state.path(), weird));
  EXPECT_FALSE(ReadLogin(state.path(), weird, &name, &secret));
  EXPECT_TRUE(RemoveLogin(state.path(), weird));  // nothing left to remove

  // A logins entry that is a link is not followed: the server's user must
  // not lead root's write elsewhere.
  testing_support::TempDir linked, elsewhere;
  ASSERT_EQ(symlink(elsewhere.path().c_str(), (linked.path() + "/logins").c_str()), 0);
  EXPECT_NE(SaveLogin(linked.path(), "office", "operator", "pw"), "");
  EXPECT_FALSE(ReadLogin(linked.path(), "office", &name, &secret));
  struct stat target;
  EXPECT_NE(stat((elsewhere.path() + "/office.json").c_str(), &target), 0);
}

}  // namespace
