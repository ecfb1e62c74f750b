#include "image/encoder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <random>
#include <string>

#include "image/pbm.h"
#include "image/rotate.h"
#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// A stand-in for the encoder's run that records its arguments and answers.
std::string recordedCommand;
int recordedCalls = 0;
CommandResult answered;
CommandResult Recorder(const std::vector<std::string>& argv) {
  recordedCommand.clear();
  for (const std::string& arg : argv) recordedCommand += (recordedCommand.empty() ? "" : " ") + arg;
  ++recordedCalls;
  return answered;
}

class EncoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recordedCommand.clear();
    recordedCalls = 0;
    answered = CommandResult{};
  }

  int Encode(const std::string& pbm, const std::string& jbg, CommandRunner run = nullptr) {
    CaptureStderr();
    int result = pbmtojbg(pbm.c_str(), jbg.c_str(), run);
    log_ = GetCapturedStderr();
    return result;
  }

  TempDir dir_;
  std::string log_;
};

TEST_F(EncoderTest, RealEncoderRoundTripKeepsEveryBit) {
  const int width = 203, height = 150, rowBytes = 26;
  std::mt19937 random(11);
  std::string raster(rowBytes * height, '\0');
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      bool ink = (x / 10 + y / 10) % 2 == 0 || random() % 7 == 0;
      if (ink) raster[y * rowBytes + x / 8] |= static_cast<char>(0x80 >> (x % 8));
    }
  }
  const std::string header = "P4\n203 150\n";
  WriteFile(dir_.File("page.pbm"), header + raster);

  ASSERT_EQ(Encode(dir_.File("page.pbm"), dir_.File("page.jbg")), 0) << log_;
  const std::string command = "pbmtojbg -q -x 203 -y 150 -r -s 128 -o 0 -p 8 -m 0 " +
                              dir_.File("page.pbm") + " " + dir_.File("page.jbg");
  EXPECT_EQ(log_, "DEBUG: pbmtojbg. width:[203], height:[150], pbm_file:[" + dir_.File("page.pbm") +
                      "]DEBUG: pbmtojbg: " + command + "\n");

  std::string decode = "jbgtopbm " + dir_.File("page.jbg") + " " + dir_.File("back.pbm");
  ASSERT_EQ(system(decode.c_str()), 0);
  // The decoder pads the numbers of its header; compare size and bits.
  FILE* back = fopen(dir_.File("back.pbm").c_str(), "rb");
  ASSERT_NE(back, nullptr);
  PbmHeader decoded = ReadPbmHeader(back);
  getc(back);
  std::string bits(raster.size() + 1, '\0');
  bits.resize(fread(bits.data(), 1, bits.size(), back));
  fclose(back);
  EXPECT_EQ(decoded.width, width);
  EXPECT_EQ(decoded.height, height);
  EXPECT_TRUE(bits == raster) << "decoded page differs from the page sent";
}

TEST_F(EncoderTest, TurnedPageIsEncodedWithTurnedSize) {
  WriteFile(dir_.File("page.pbm"), "P4\n3 2\n\xC0\x20");
  CaptureStderr();
  ASSERT_EQ(rotatePbm(dir_.File("page.pbm").c_str(), dir_.File("turned.pbm").c_str(), -90), 0);
  GetCapturedStderr();
  EXPECT_EQ(Encode(dir_.File("turned.pbm"), dir_.File("t.jbg"), Recorder), 0);
  EXPECT_EQ(recordedCommand, "pbmtojbg -q -x 2 -y 3 -r -s 128 -o 0 -p 8 -m 0 " +
                                 dir_.File("turned.pbm") + " " + dir_.File("t.jbg"));
}

TEST_F(EncoderTest, MissingEncoderIsAFailureAfterBothDebugTexts) {
  WriteFile(dir_.File("page.pbm"), "P4\n8 1\n\x01");
  const char* oldPath = getenv("PATH");
  std::string savedPath = oldPath != nullptr ? oldPath : "";
  setenv("PATH", dir_.path().c_str(), 1);
  int result = Encode(dir_.File("page.pbm"), dir_.File("page.jbg"));
  setenv("PATH", savedPath.c_str(), 1);

  EXPECT_EQ(result, 1);
  size_t first = log_.find("DEBUG: pbmtojbg. width:[8], height:[1]");
  size_t second = log_.find("DEBUG: pbmtojbg: pbmtojbg -q -x 8 -y 1 ");
  size_t error = log_.find("ERROR: pbmtojbg not found or not runnable for " +
                           dir_.File("page.pbm") + " (status 127)\n");
  EXPECT_NE(first, std::string::npos) << log_;
  EXPECT_NE(second, std::string::npos);
  EXPECT_NE(error, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_LT(second, error);
}

TEST_F(EncoderTest, EveryKindOfEncoderFailureIsReported) {
  WriteFile(dir_.File("page.pbm"), "P4\n8 1\n\x01");
  struct Case {
    CommandResult run;
    std::string message;
  };
  for (const Case& c :
       {Case{{0, 2 << 8, ""},
             "ERROR: pbmtojbg failed on " + dir_.File("page.pbm") + " with status 2\n"},
        Case{{0, SIGKILL, ""}, "ERROR: pbmtojbg was killed by signal 9 while encoding"},
        Case{{EAGAIN, 0, ""}, "ERROR: pbmtojbg could not be run for"},
        Case{{0, 0, "line one\nline\ttwo"}, "WARNING: pbmtojbg: line\\011two\n"}}) {
    answered = c.run;
    EXPECT_EQ(Encode(dir_.File("page.pbm"), dir_.File("page.jbg"), Recorder),
              c.run.status == 0 && c.run.startError == 0 ? 0 : 1);
    EXPECT_NE(log_.find(c.message), std::string::npos) << log_;
  }
}

TEST_F(EncoderTest, UnreadablePbmRunsNothing) {
  EXPECT_EQ(Encode(dir_.File("none.pbm"), dir_.File("none.jbg"), Recorder), 1);
  EXPECT_EQ(log_, "Error opening input file: No such file or directory\n");
  EXPECT_EQ(recordedCalls, 0);
  EXPECT_FALSE(FileExists(dir_.File("none.jbg")));
}

TEST_F(EncoderTest, NonPbmIsStillHandedOnWithItsNumbers) {
  WriteFile(dir_.File("page.pgm"), "P5\n# grey\n7 5\n255\n");
  EXPECT_EQ(Encode(dir_.File("page.pgm"), dir_.File("page.jbg"), Recorder), 0);
  EXPECT_NE(recordedCommand.find("-x 7 -y 5 "), std::string::npos);
}

TEST_F(EncoderTest, CommandsThatCannotBeRunSafelyAreRefused) {
  std::string deep = dir_.path() + "/" + std::string(200, 'a');
  ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  deep += "/" + std::string(200, 'b');
  ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  WriteFile(deep + "/p.pbm", "P4\n8 1\n\x01");
  EXPECT_EQ(Encode(deep + "/p.pbm", deep + "/p.jbg", Recorder), 1);
  EXPECT_NE(
      log_.find("\nERROR: pbmtojbg command for " + deep + "/p.pbm is longer than 511 characters\n"),
      std::string::npos);
  EXPECT_EQ(recordedCalls, 0);

  WriteFile(dir_.File("junk.pbm"), "P4\nnot numbers\n");
  EXPECT_EQ(Encode(dir_.File("junk.pbm"), dir_.File("x.jbg"), Recorder), 1);
  EXPECT_EQ(recordedCalls, 0);
}

}  // namespace
