#include "image/rotate.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "image/pbm.h"
#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string Pbm(int width, int height, const std::string& raster) {
  return "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n" + raster;
}

class RotateTest : public ::testing::Test {
 protected:
  // Turns `source` by `angle`; returns the destination file's bytes.
  std::string Turn(const std::string& source, int angle) {
    WriteFile(dir_.File("in.pbm"), source);
    CaptureStderr();
    result_ = rotatePbm(dir_.File("in.pbm").c_str(), dir_.File("out.pbm").c_str(), angle);
    log_ = GetCapturedStderr();
    return ReadFile(dir_.File("out.pbm"));
  }

  TempDir dir_;
  int result_ = -1;
  std::string log_;
};

TEST_F(RotateTest, ThreeByTwoPictureAtEveryAngle) {
  const std::string source = Pbm(3, 2, "\xC0\x20");
  EXPECT_EQ(Turn(source, -90), Pbm(2, 3, "\x40\x80\x80"));
  EXPECT_EQ(result_, 0);
  EXPECT_EQ(log_, "");
  EXPECT_EQ(Turn(source, 90), Pbm(2, 3, "\x40\x40\x80"));
  EXPECT_EQ(Turn(source, 180), Pbm(3, 2, "\x80\x60"));
}

TEST_F(RotateTest, NinePixelRowAtEveryAngle) {
  const std::string source = Pbm(9, 1, std::string("\x00\x80", 2));
  EXPECT_EQ(Turn(source, -90), Pbm(1, 9, "\x80" + std::string(8, '\0')));
  EXPECT_EQ(Turn(source, 90), Pbm(1, 9, std::string(8, '\0') + "\x80"));
  EXPECT_EQ(Turn(source, 180), Pbm(9, 1, std::string("\x80\x00", 2)));
}

TEST_F(RotateTest, SetFillBitsComeOutClear) {
  EXPECT_EQ(Turn(Pbm(3, 2, "\xDF\x3F"), 180), Pbm(3, 2, "\x80\x60"));
  EXPECT_EQ(Turn(Pbm(3, 2, "\xDF\x3F"), -90), Pbm(2, 3, "\x40\x80\x80"));
}

TEST_F(RotateTest, OppositeTurnsGiveTheOriginalBack) {
  std::mt19937 random(7);
  const int width = 21, height = 13, rowBytes = 3;
  std::string raster(rowBytes * height, '\0');
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (random() % 2) raster[y * rowBytes + x / 8] |= static_cast<char>(0x80 >> (x % 8));
    }
  }
  const std::string original = Pbm(width, height, raster);
  EXPECT_EQ(Turn(Turn(original, -90), 90), original);
  EXPECT_EQ(Turn(Turn(original, 180), 180), original);
  EXPECT_EQ(Turn(Turn(original, 90), -90), original);
}

TEST_F(RotateTest, CommentsInTheHeaderAreAccepted) {
  EXPECT_EQ(Turn("P4\n# scanned\n3\r#x\r2\n\xC0\x20", 180), Pbm(3, 2, "\x80\x60"));
}

TEST_F(RotateTest, NonP4FileIsRefusedWithoutDestination) {
  Turn("P1\n3 2\n110\n001\n", -90);
  EXPECT_EQ(result_, 1);
  EXPECT_EQ(log_, "Unsupported format or not a PBM file.\n");
  EXPECT_FALSE(FileExists(dir_.File("out.pbm")));
}

TEST_F(RotateTest, MissingSourceAndUnwritableDestination) {
  CaptureStderr();
  EXPECT_EQ(rotatePbm(dir_.File("none.pbm").c_str(), dir_.File("out.pbm").c_str(), -90), 1);
  EXPECT_EQ(GetCapturedStderr(), "Error opening input file: No such file or directory\n");

  WriteFile(dir_.File("in.pbm"), Pbm(3, 2, "\xC0\x20"));
  CaptureStderr();
  EXPECT_EQ(rotatePbm(dir_.File("in.pbm").c_str(), dir_.File("no/out.pbm").c_str(), -90), 1);
  EXPECT_EQ(GetCapturedStderr(), "Error opening output file: No such file or directory\n");
  EXPECT_FALSE(FileExists(dir_.File("no/out.pbm")));
}

TEST_F(RotateTest, UntrustedHeadersAndAnglesAreRefused) {
  for (const std::string& bad : {std::string("P4\n0 2\n"), std::string("P4\n-3 2\n\xC0\x20"),
                                 std::string("P4\nx y\n"), std::string("P4\n99999999 99999999\n"),
                                 std::string("P4\n16 4\n\x01\x02\x03"), std::string("P4\n3")}) {
    Turn(bad, -90);
    EXPECT_EQ(result_, 1) << bad;
    EXPECT_FALSE(log_.empty());
    EXPECT_FALSE(FileExists(dir_.File("out.pbm"))) << bad;
  }
  for (int angle : {0, 45, -180, 270}) {
    Turn(Pbm(3, 2, "\xC0\x20"), angle);
    EXPECT_EQ(result_, 1);
    EXPECT_FALSE(FileExists(dir_.File("out.pbm")));
  }
}

}  // namespace
