// quillfern-decode run as an administrator runs it.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/raster_pages.h"
#include "tests/stream_maker.h"
#include "tests/test_support.h"

namespace {

using namespace testing_support;

class DecodeToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pages_ = {PatternPage(77, 32, 1), PatternPage(77, 33, 2)};
    bytes_ = MakePrintStream("PageSize=A5, copies=2, AuthPassword=Pw-7731-x, ", pages_, dir_).bytes;
    WriteFile(dir_.File("job.prn"), bytes_);
  }

  ProcessResult Decode(const std::vector<std::string>& args,
                       const std::string& stdinPath = "/dev/null") {
    std::vector<std::string> argv = {QUILLFERN_DECODE_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessOptions options;
    options.stdinPath = stdinPath;
    return RunProcess(argv, options);
  }

  TempDir dir_;
  std::vector<Bitmap> pages_;
  std::string bytes_;
};

TEST_F(DecodeToolTest, ShowsParametersAndRecordsWithThePasswordMasked) {
  ProcessResult result = Decode({dir_.File("job.prn")});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_NE(result.out.find("  PageSize=A5\n  copies=2\n  AuthPassword=****\n"), std::string::npos)
      << result.out;
  EXPECT_EQ(result.out.find("Pw-7731-x"), std::string::npos);
  EXPECT_NE(result.out.find("records: 2\n"), std::string::npos);
  EXPECT_NE(result.out.find("stream OK\n"), std::string::npos);
  // Standard input works the same.
  EXPECT_EQ(Decode({}, dir_.File("job.prn")).out, result.out);
}

TEST_F(DecodeToolTest, JsonOutputParses) {
  ProcessResult result = Decode({"--json", dir_.File("job.prn")});
  EXPECT_EQ(result.exitStatus, 0);
  cJSON* root = cJSON_Parse(result.out.c_str());
  ASSERT_NE(root, nullptr) << result.out;
  EXPECT_TRUE(cJSON_IsTrue(cJSON_GetObjectItem(root, "valid")));
  cJSON* params = cJSON_GetObjectItem(root, "job_params");
  EXPECT_STREQ(cJSON_GetObjectItem(params, "PageSize")->valuestring, "A5");
  EXPECT_STREQ(cJSON_GetObjectItem(params, "AuthPassword")->valuestring, "****");
  cJSON* records = cJSON_GetObjectItem(root, "records");
  ASSERT_EQ(cJSON_GetArraySize(records), 2);
  cJSON* second = cJSON_GetArrayItem(records, 1);
  EXPECT_EQ(cJSON_GetObjectItem(second, "lastpage")->valueint, 1);
  EXPECT_EQ(cJSON_GetObjectItem(second, "width")->valueint, 77);
  EXPECT_EQ(cJSON_GetObjectItem(second, "height")->valueint, 33);
  cJSON_Delete(root);
}

TEST_F(DecodeToolTest, ExtractWritesEveryPageAsPbmAndPng) {
  ProcessResult result = Decode({"--extract", dir_.File("pages"), dir_.File("job.prn")});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  for (int n = 1; n <= 2; ++n) {
    const Bitmap& page = pages_[n - 1];
    std::string pbm = ReadFile(dir_.File("pages/page-" + std::to_string(n) + ".pbm"));
    EXPECT_TRUE(pbm == "P4\n77 " + std::to_string(page.height) + "\n" + page.rows);
    std::string png = ReadFile(dir_.File("pages/page-" + std::to_string(n) + ".png"));
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
  }
}

// What a socket printer device records: jobs back to back.  Each is shown,
// every page survives --extract, and a fault is placed in its job.
TEST_F(DecodeToolTest, CaptureOfTwoJobsIsShownJobByJob) {
  const std::vector<Bitmap> secondPages = {PatternPage(64, 20, 3)};
  MadeStream second = MakePrintStream("PageSize=A4, copies=1, ", secondPages, dir_);
  const std::string capture = bytes_ + second.bytes;
  WriteFile(dir_.File("capture.prn"), capture);

  ProcessResult result = Decode({"--extract", dir_.File("pages"), dir_.File("capture.prn")});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  const size_t secondAt = result.out.find("== job 2 at byte " + std::to_string(bytes_.size()));
  ASSERT_NE(secondAt, std::string::npos) << result.out;
  EXPECT_EQ(result.out.rfind("== job 1 at byte 0 ==\n", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("  PageSize=A5\n"), std::string::npos);
  EXPECT_LT(result.out.find("records: 2\n"), secondAt);
  EXPECT_NE(result.out.find("  PageSize=A4\n", secondAt), std::string::npos);
  EXPECT_NE(result.out.find("records: 1\n", secondAt), std::string::npos);
  EXPECT_NE(result.out.find("stream OK: 2 jobs\n"), std::string::npos);
  EXPECT_TRUE(ReadFile(dir_.File("pages/job-1-page-1.pbm")) == "P4\n77 32\n" + pages_[0].rows);
  EXPECT_TRUE(ReadFile(dir_.File("pages/job-2-page-1.pbm")) == "P4\n64 20\n" + secondPages[0].rows);

  ProcessResult json = Decode({"--json", dir_.File("capture.prn")});
  cJSON* root = cJSON_Parse(json.out.c_str());
  ASSERT_TRUE(cJSON_IsArray(root)) << json.out;
  EXPECT_EQ(cJSON_GetArraySize(root), 2);
  cJSON* secondJob = cJSON_GetArrayItem(root, 1);
  EXPECT_EQ(cJSON_GetObjectItem(secondJob, "offset")->valuedouble,
            static_cast<double>(bytes_.size()));
  EXPECT_STREQ(
      cJSON_GetObjectItem(cJSON_GetObjectItem(secondJob, "job_params"), "PageSize")->valuestring,
      "A4");
  cJSON_Delete(root);

  const size_t magicAt = bytes_.size() + second.recordOffsets[0] + 3;
  std::string broken = capture;
  broken[magicAt] ^= 0x20;
  WriteFile(dir_.File("broken.prn"), broken);
  ProcessResult fault = Decode({dir_.File("broken.prn")});
  EXPECT_EQ(fault.exitStatus, 1);
  EXPECT_EQ(fault.err.rfind("quillfern-decode: job 2: at byte " + std::to_string(magicAt - 3) +
                                ": page record 1 magic: expected",
                            0),
            0u)
      << fault.err;

  // Bytes that do not start a job stay an error of the job they follow.
  WriteFile(dir_.File("trailing.prn"), capture + "xyz");
  ProcessResult trailing = Decode({dir_.File("trailing.prn")});
  EXPECT_EQ(trailing.exitStatus, 1);
  EXPECT_EQ(trailing.err.rfind("quillfern-decode: job 2: at byte " +
                                   std::to_string(capture.size()) + ": page record 2: expected",
                               0),
            0u)
      << trailing.err;
}

TEST_F(DecodeToolTest, BadInputGivesOneLineAndNeverACrash) {
  ProcessResult missing = Decode({dir_.File("none.prn")});
  EXPECT_EQ(missing.exitStatus, 2);
  EXPECT_EQ(missing.err, "quillfern-decode: cannot open " + dir_.File("none.prn") +
                             ": No such file or directory\n");

  ProcessResult empty = Decode({}, "/dev/null");
  EXPECT_EQ(empty.exitStatus, 1);
  EXPECT_EQ(CountOf(empty.err, "\n"), 1);

  WriteFile(dir_.File("garbage"), "%PDF-1.7 this is not a print stream at all");
  ProcessResult garbage = Decode({dir_.File("garbage")});
  EXPECT_EQ(garbage.exitStatus, 1);
  EXPECT_EQ(garbage.err.rfind("quillfern-decode: at byte 0: job tag: expected", 0), 0u);

  for (size_t length = 3; length < bytes_.size(); length += 41) {
    WriteFile(dir_.File("cut"), bytes_.substr(0, length));
    ProcessResult cut = Decode({"--json", dir_.File("cut")});
    EXPECT_EQ(cut.signal, 0) << length;
    EXPECT_EQ(cut.exitStatus, 1) << length;
    EXPECT_EQ(CountOf(cut.err, "\n"), 1) << cut.err;
    EXPECT_NE(cut.err.find("at byte "), std::string::npos);
  }
  EXPECT_EQ(Decode({"--bogus"}).exitStatus, 2);
}

// What help2man reads: --help and --version on standard output, exit 0.
TEST_F(DecodeToolTest, HelpAndVersionGoToStandardOutput) {
  ProcessResult help = Decode({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_EQ(help.err, "");
  for (const char* option : {"--json", "--extract DIR", "--help", "--version"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  ProcessResult version = Decode({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.out.rfind("quillfern-decode ", 0), 0u) << version.out;
}

}  // namespace
