#include "params/doc_name.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

struct Named {
  std::string name;
  std::string log;
};

Named NameOf(const std::string& title) {
  char name[kDocNameSize];
  memset(name, 0, sizeof name);
  CaptureStderr();
  getDocumenName(title.c_str(), name, sizeof name);
  return {name, GetCapturedStderr()};
}

TEST(DocNameTest, PathAndWordsAfterTheExtensionAreDropped) {
  Named named = NameOf("/home/a/report.pdf draft v2");
  EXPECT_EQ(named.name, "report.pdf");
  EXPECT_EQ(named.log,
            "DEBUG: Enter getDocumenName!\n"
            "DEBUG: getDocumenName:remove dir.\n"
            "DEBUG: getDocumenName:find expanded flag.\n"
            "DEBUG: getDocumenName:set DocName string terminal.\n"
            "DEBUG: Exit getDocumenName!\n");
}

TEST(DocNameTest, TitleWithoutDotKeepsItsBlanks) {
  Named named = NameOf("Quarterly figures draft");
  EXPECT_EQ(named.name, "Quarterly figures draft");
  EXPECT_EQ(named.log,
            "DEBUG: Enter getDocumenName!\n"
            "DEBUG: getDocumenName:param not include dir.\n"
            "DEBUG: Exit getDocumenName!\n");
}

TEST(DocNameTest, BlanksBeforeTheFirstDotStay) {
  EXPECT_EQ(NameOf("my report.v2.pdf final").name, "my report.v2.pdf");
  Named noBlankAfterDot = NameOf("dir/a b.txt");
  EXPECT_EQ(noBlankAfterDot.name, "a b.txt");
  EXPECT_NE(noBlankAfterDot.log.find("find expanded flag"), std::string::npos);
  EXPECT_EQ(noBlankAfterDot.log.find("set DocName string terminal"), std::string::npos);
}

TEST(DocNameTest, TitleEndingInSlashGivesEmptyName) {
  EXPECT_EQ(NameOf("/var/spool/").name, "");
}

TEST(DocNameTest, LongTitleIsCutAt255Characters) {
  std::string title = "/x/" + std::string(600, 'n');
  EXPECT_EQ(NameOf(title).name, std::string(255, 'n'));
}

}  // namespace
