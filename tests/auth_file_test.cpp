#include "params/auth_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testing_support::TempDir;
using testing_support::WriteFile;

struct AuthRead {
  int result;
  std::string id;
  std::string password;
  std::string log;
};

AuthRead Read(const std::string& path) {
  char id[kAuthFieldSize] = {};
  char password[kAuthFieldSize] = {};
  CaptureStderr();
  int result = getAuthInfo(path.c_str(), id, password, kAuthFieldSize);
  return {result, id, password, GetCapturedStderr()};
}

AuthRead ReadText(const std::string& content) {
  TempDir dir;
  WriteFile(dir.File("auth_config"), content);
  return Read(dir.File("auth_config"));
}

TEST(AuthFileTest, ReadsBothMembersAndMasksThePassword) {
  AuthRead read = ReadText(R"({"AuthID":"clerk-4","Password":"Pw-7731-x","x":{"AuthID":"no"}})");
  EXPECT_EQ(read.result, 1);
  EXPECT_EQ(read.id, "clerk-4");
  EXPECT_EQ(read.password, "Pw-7731-x");
  EXPECT_EQ(read.log,
            "DEBUG: Enter getAuthInfo!\n"
            "DEBUG: create  json_string!\n"
            "DEBUG: Parse  json_string!\n"
            "DEBUG: AuthID: clerk-4\n"
            "DEBUG: Password: ****\n"
            "DEBUG: Exit  getAuthInfo!\n");
}

TEST(AuthFileTest, MissingFileGivesZeroWithoutExitLine) {
  TempDir dir;
  AuthRead read = Read(dir.File("none"));
  EXPECT_EQ(read.result, 0);
  EXPECT_EQ(read.log, "DEBUG: Enter getAuthInfo!\nDEBUG: auth_file is not found!\n");
}

TEST(AuthFileTest, EmptyOrInvalidJsonGivesZero) {
  for (const char* text : {"", "{\"AuthID\":", "not json"}) {
    AuthRead read = ReadText(text);
    EXPECT_EQ(read.result, 0) << text;
    EXPECT_EQ(read.log,
              "DEBUG: Enter getAuthInfo!\n"
              "DEBUG: create  json_string!\n"
              "DEBUG: Error parsing JSON\n"
              "DEBUG: Exit  getAuthInfo with error!\n");
  }
}

TEST(AuthFileTest, ParsedJsonWithoutStringMembersGivesOneAndEmptyBuffers) {
  for (const char* text : {"{}", "[1,2]", R"({"authid":"a","password":"b"})", "\"text\""}) {
    AuthRead read = ReadText(text);
    EXPECT_EQ(read.result, 1) << text;
    EXPECT_EQ(read.id, "");
    EXPECT_EQ(read.password, "");
    EXPECT_EQ(read.log.find("AuthID:"), std::string::npos);
  }
}

TEST(AuthFileTest, NonStringIdStillUsesThePassword) {
  AuthRead read = ReadText(R"({"AuthID":42,"Password":"p"})");
  EXPECT_EQ(read.result, 1);
  EXPECT_EQ(read.id, "");
  EXPECT_EQ(read.password, "p");
}

TEST(AuthFileTest, FirstOfTwinMembersCountsAndTrailingTextIsIgnored) {
  AuthRead read = ReadText(R"({"AuthID":"first","AuthID":"second"} trailing words)");
  EXPECT_EQ(read.result, 1);
  EXPECT_EQ(read.id, "first");
}

TEST(AuthFileTest, LongFieldsAreCutAt127Characters) {
  std::string longId(300, 'i');
  AuthRead read =
      ReadText("{\"AuthID\":\"" + longId + "\",\"Password\":\"" + std::string(200, 'p') + "\"}");
  EXPECT_EQ(read.id, std::string(127, 'i'));
  EXPECT_EQ(read.password, std::string(127, 'p'));
}

// Only a regular file of at most 64 KiB is read; a FIFO planted at the
// path must not hang the job.
TEST(AuthFileTest, WhatIsNoSmallRegularFileIsAnError) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  WriteFile(dir.File("large"),
            "{\"AuthID\":\"a\",\"Password\":\"p\"}" + std::string(64 * 1024, ' '));
  for (const std::string& path : {dir.path(), dir.File("fifo"), dir.File("large")}) {
    SCOPED_TRACE(path);
    AuthRead read = Read(path);
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.id, "");
    EXPECT_NE(
        read.log.find("DEBUG: Error reading auth_file\nDEBUG: Exit  getAuthInfo with error!\n"),
        std::string::npos);
  }
}

TEST(AuthFileTest, FileOthersCouldHaveWrittenIsUsedWithAWarning) {
  TempDir dir;
  const std::string path = dir.File("auth_config");
  WriteFile(path, R"({"AuthID":"desk","Password":"Pw-7731-x"})");
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  AuthRead read = Read(path);
  EXPECT_EQ(read.result, 1);
  EXPECT_EQ(read.password, "Pw-7731-x");
  EXPECT_NE(read.log.find("WARNING: the authentication file is used although " + path +
                          " is writable by group or others\n"),
            std::string::npos)
      << read.log;
  EXPECT_EQ(read.log.find("Pw-7731-x"), std::string::npos);

  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  EXPECT_NE(Read(path).log.find("although " + dir.path() + " is writable by group or others\n"),
            std::string::npos);
  ASSERT_EQ(chmod(dir.path().c_str(), 0700), 0);
  EXPECT_EQ(Read(path).log.find("WARNING"), std::string::npos);
}

}  // namespace
