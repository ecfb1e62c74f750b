#include "params/job_params.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/log_text.h"
#include "params/secret_mask.h"
#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testing_support::CountOf;

const char kDefaultText[] =
    "PageSize=A4, Resolution=600dpi, resX=600dpi, resY=600dpi, FeedEdge=0, "
    "Collate=False, Duplex=None, MediaType=Plain, InputSlot=MainTray, number-up=1, "
    "job-uuid=, job-originating-host-name=, date-time-at-creation=, "
    "date-time-at-processing=, time-at-creation=, time-at-processing=, copies=1, "
    "jobId=, DocName=, HostName=, LoginName=, AuthID=, AuthPassword=, ";

std::string ValueOf(const JobParamTable& table, const char* key) {
  for (const auto& record : table) {
    if (strcmp(record.key, key) == 0) return record.value;
  }
  ADD_FAILURE() << "no record " << key;
  return "";
}

// Applies an options text to a fresh copy of the defaults; returns the log.
std::string Apply(const char* options, JobParamTable& table) {
  table = tblDefParam;
  CaptureStderr();
  GetJobParamFromCups(options, table);
  return GetCapturedStderr();
}

TEST(JobParamsTest, DefaultTableSerialisesToTheKnownText) {
  char text[kJobParamsBufferSize];
  CaptureStderr();
  BuildJobParams(text, sizeof text, tblDefParam);
  std::string log = GetCapturedStderr();
  EXPECT_EQ(strlen(text), 352u);
  EXPECT_STREQ(text, kDefaultText);
  EXPECT_EQ(log, std::string("BuildJobParams:") + kDefaultText + "\n");
}

TEST(JobParamsTest, KeyValueTokenSetsItsRowAndLogsEachStep) {
  JobParamTable table;
  std::string log = Apply("PageSize=A5", table);
  EXPECT_EQ(ValueOf(table, "PageSize"), "A5");
  EXPECT_EQ(log,
            "One_Param:PageSize=A5 , Len:11\n"
            "Key:PageSize , Length:8\n"
            "Value:A5 , Length:2\n");
}

TEST(JobParamsTest, TokensSplitOnBlanksOnlyAndLaterTokenWins) {
  JobParamTable table;
  std::string log = Apply("MediaType=Thin  MediaType=Thick\tx", table);
  // The tab is part of the token; the double blank gives an empty token.
  EXPECT_EQ(ValueOf(table, "MediaType"), "Thick\tx");
  EXPECT_NE(log.find("One_Param: , Len:0\n"), std::string::npos);
  EXPECT_EQ(CountOf(log, "One_Param:"), 3);

  EXPECT_EQ(Apply("", table), "");
  EXPECT_EQ(Apply("Duplex=DuplexTumble ", table),
            "One_Param:Duplex=DuplexTumble , Len:19\n"
            "Key:Duplex , Length:6\n"
            "Value:DuplexTumble , Length:12\n");
}

TEST(JobParamsTest, KeyWithSeparatorAloneNeverClearsAndStopsAtFirstRow) {
  JobParamTable table;
  std::string log = Apply("date-time-at-creation=", table);
  EXPECT_EQ(ValueOf(table, "date-time-at-creation"), "");
  EXPECT_NE(log.find("Key:date-time-at-creation , Length:21\n"), std::string::npos);
  EXPECT_EQ(log.find("Key:time-at-creation"), std::string::npos);

  Apply("PageSize=", table);
  EXPECT_EQ(ValueOf(table, "PageSize"), "A4");
}

TEST(JobParamsTest, ValueKeepsEverythingAfterTheFirstSeparator) {
  JobParamTable table;
  Apply("job-uuid=urn:uuid:1=2:3", table);
  EXPECT_EQ(ValueOf(table, "job-uuid"), "urn:uuid:1=2:3");
}

TEST(JobParamsTest, BooleanSpellingsOfCollateReachTheTable) {
  JobParamTable table;
  Apply("Collate", table);
  EXPECT_EQ(ValueOf(table, "Collate"), "True");
  Apply("noCollate", table);
  EXPECT_EQ(ValueOf(table, "Collate"), "False");
  Apply("Collate=True", table);
  EXPECT_EQ(ValueOf(table, "Collate"), "True");
  Apply("Collate noCollate", table);
  EXPECT_EQ(ValueOf(table, "Collate"), "False");
}

TEST(JobParamsTest, KeyInsideALongerOptionNameLeavesTheValue) {
  JobParamTable table;
  std::string log = Apply("number-up-layout=btlr", table);
  EXPECT_EQ(ValueOf(table, "number-up"), "1");
  // Still taken by that row, and logged as such.
  EXPECT_NE(log.find("Key:number-up , Length:9\nValue:1 , Length:1\n"), std::string::npos);

  Apply("xPageSize=A5", table);
  EXPECT_EQ(ValueOf(table, "PageSize"), "A4");
  Apply("PageSize", table);
  EXPECT_EQ(ValueOf(table, "PageSize"), "A4");
}

TEST(JobParamsTest, TokenWithoutKeyIsOnlyLogged) {
  JobParamTable table;
  std::string log = Apply("fit-to-page", table);
  EXPECT_EQ(log, "One_Param:fit-to-page , Len:11\n");
  char before[kJobParamsBufferSize], after[kJobParamsBufferSize];
  FormatJobParams(before, sizeof before, tblDefParam, false);
  FormatJobParams(after, sizeof after, table, false);
  EXPECT_STREQ(before, after);
}

TEST(JobParamsTest, GetAndSetByExactKey) {
  JobParamTable table = tblDefParam;
  const char* untouched = "sentinel";
  CaptureStderr();
  GetJobParam("pagesize", &untouched, table);
  SetJobParam("NoSuchKey", "x", table);
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_STREQ(untouched, "sentinel");

  CaptureStderr();
  SetJobParam("LoginName", "alice", table);
  const char* value = nullptr;
  GetJobParam("LoginName", &value, table);
  EXPECT_EQ(GetCapturedStderr(),
            "SetJobParam:[LoginName , alice ]\nGetJobParam:[LoginName , alice ]\n");
  EXPECT_STREQ(value, "alice");
  // The pointer is a view of the table.
  CaptureStderr();
  SetJobParam("LoginName", "", table);
  GetCapturedStderr();
  EXPECT_STREQ(value, "");
  char text[kJobParamsBufferSize];
  FormatJobParams(text, sizeof text, table, false);
  EXPECT_NE(strstr(text, ", LoginName=, AuthID="), nullptr);
}

TEST(JobParamsTest, OverlongTextIsCutAtEachLimit) {
  JobParamTable table = tblDefParam;
  std::string longValue(400, 'v');
  CaptureStderr();
  SetJobParam("DocName", longValue.c_str(), table);
  std::string token = "LoginName=" + std::string(700, 'w');
  GetJobParamFromCups(token.c_str(), table);
  std::string log = GetCapturedStderr();
  EXPECT_EQ(ValueOf(table, "DocName"), std::string(255, 'v'));
  EXPECT_EQ(ValueOf(table, "LoginName"), std::string(255, 'w'));
  EXPECT_NE(log.find("Len:511\n"), std::string::npos);

  // Every value at its limit: the text is cut at 1023 and still terminated.
  for (auto& record : table) {
    memset(record.value, 'z', kJobParamValueMax);
    record.value[kJobParamValueMax] = '\0';
  }
  char text[kJobParamsBufferSize + 8];
  memset(text, 0x7f, sizeof text);
  FormatJobParams(text, kJobParamsBufferSize, table, false);
  EXPECT_EQ(strlen(text), kJobParamsBufferSize - 1);
  EXPECT_EQ(static_cast<unsigned char>(text[kJobParamsBufferSize]), 0x7f);
  EXPECT_EQ(std::string(text, 12), "PageSize=zzz");
}

TEST(JobParamsTest, PasswordIsMaskedInEveryLogLineButKeptInTheText) {
  JobParamTable table;
  std::string log = Apply("AuthPassword=Pw-7731-x", table);
  CaptureStderr();
  SetJobParam("AuthPassword", "Pw-7731-x", table);
  const char* value = nullptr;
  GetJobParam("AuthPassword", &value, table);
  char text[kJobParamsBufferSize];
  BuildJobParams(text, sizeof text, table);
  log += GetCapturedStderr();

  EXPECT_EQ(log.find("Pw-7731-x"), std::string::npos) << log;
  EXPECT_NE(log.find("One_Param:AuthPassword=**** , Len:22\n"), std::string::npos);
  EXPECT_NE(log.find("SetJobParam:[AuthPassword , **** ]"), std::string::npos);
  EXPECT_NE(log.find(", AuthPassword=****, \n"), std::string::npos);
  EXPECT_STREQ(value, "Pw-7731-x");
  EXPECT_NE(strstr(text, "AuthPassword=Pw-7731-x, "), nullptr);

  // An empty password is shown as it is.
  CaptureStderr();
  SetJobParam("AuthPassword", "", table);
  EXPECT_EQ(GetCapturedStderr(), "SetJobParam:[AuthPassword ,  ]\n");
}

// Options texts as CUPS writes them: escaped blanks, quotes and
// backslashes, and quoted values; each row gives the value its key receives.
TEST(JobParamsTest, EscapedAndQuotedValuesAreReadAsCupsWroteThem) {
  struct Case {
    const char* options;
    const char* key;
    const char* value;
    int tokens;
  } const cases[] = {
      {R"(AuthPassword=my\ pass PageSize=A5)", "AuthPassword", "my pass", 2},
      {R"(AuthPassword='my pass' PageSize=A5)", "AuthPassword", "my pass", 2},
      {R"(MediaType="a b\"c" PageSize=A5)", "MediaType", "a b\"c", 2},
      {R"(MediaType=a\'b\"c\\d)", "MediaType", R"(a'b"c\d)", 1},
      {R"(MediaType=x'y)", "MediaType", "x'y", 1},  // a quote inside a value is kept
      {R"(MediaType='open to the end)", "MediaType", "open to the end", 1},
      // A key that starts the token takes it, whatever its value holds.
      {"AuthPassword=Duplex42", "AuthPassword", "Duplex42", 1},
      {"LoginName=PageSize=A5", "LoginName", "PageSize=A5", 1},
      // A value from the job cannot add records of its own.
      {"LoginName=x,_jobId=9,", "LoginName", "x;_jobId=9;", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    JobParamTable table;
    std::string log = Apply(c.options, table);
    EXPECT_EQ(ValueOf(table, c.key), c.value);
    EXPECT_EQ(ValueOf(table, "PageSize"), c.tokens == 2 ? "A5" : "A4");
    EXPECT_EQ(CountOf(log, "One_Param:"), c.tokens);
  }
  JobParamTable table;
  std::string log = Apply(R"(AuthPassword=Qf7\ Zr9 AuthPassword='Qf7 Zr9')", table);
  EXPECT_EQ(log.find("Qf7"), std::string::npos) << log;
  EXPECT_EQ(log.find("Zr9"), std::string::npos) << log;
  EXPECT_EQ(MaskSecretsInOptions(R"(Duplex=None AuthPassword=Qf7\ Zr9  x\ y )"),
            R"(Duplex=None AuthPassword=****  x\ y )");
}

TEST(JobParamsTest, ControlCharactersNeverStartALineOfTheLog) {
  JobParamTable table;
  std::string log = Apply("MediaType=Thin\nPPD:\x7f", table);
  EXPECT_EQ(ValueOf(table, "MediaType"), "Thin\nPPD:\x7f");
  EXPECT_EQ(log,
            "One_Param:MediaType=Thin\\012PPD:\\177 , Len:20\n"
            "Key:MediaType , Length:9\n"
            "Value:Thin\\012PPD:\\177 , Length:10\n");
  EXPECT_EQ(LogText("\x01\tok\xE4\xBF\xA1"), "\\001\\011ok\xE4\xBF\xA1");
}

TEST(JobParamsTest, DefaultTableIsNeverChangedByAJob) {
  JobParamTable table;
  Apply("PageSize=Legal Collate", table);
  EXPECT_STREQ(tblDefParam[0].value, "A4");
  EXPECT_STREQ(tblDefParam[5].value, "False");
}

}  // namespace
