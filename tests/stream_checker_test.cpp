#include "tools/stream_checker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/raster_pages.h"
#include "tests/stream_maker.h"
#include "tests/test_support.h"

namespace {

using quillfern::DecodeRecord;
using quillfern::PageImage;
using quillfern::ParsedStream;
using quillfern::ParsePrintStream;
using quillfern::StreamError;
using testing_support::Bitmap;
using testing_support::MadeStream;
using testing_support::MakePrintStream;
using testing_support::PatternPage;
using testing_support::TempDir;

void PutLe32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

class PrintStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 1; n <= 3; ++n) pages_.push_back(PatternPage(90 + n, 40, n));
    MadeStream made = MakePrintStream("PageSize=A4, copies=1, AuthPassword=secret, ", pages_, dir_);
    bytes_ = made.bytes;
    offsets_ = made.recordOffsets;
  }

  // Parses a changed copy of the stream; returns its error.
  StreamError ErrorOf(const std::string& bytes) {
    ParsedStream parsed = ParsePrintStream(bytes);
    EXPECT_FALSE(parsed.valid);
    return parsed.error;
  }

  TempDir dir_;
  std::vector<Bitmap> pages_;
  std::vector<size_t> offsets_;  // of each record
  std::string bytes_;
};

TEST_F(PrintStreamTest, SoundStreamParsesAndEveryPageDecodes) {
  ParsedStream parsed = ParsePrintStream(bytes_);
  ASSERT_TRUE(parsed.valid) << parsed.error.Message();
  EXPECT_EQ(parsed.jobParams, "PageSize=A4, copies=1, AuthPassword=secret, ");
  ASSERT_EQ(parsed.records.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(parsed.records[i].offset, offsets_[i]);
    PageImage image;
    StreamError error;
    ASSERT_TRUE(DecodeRecord(parsed.records[i], &image, &error)) << error.Message();
    EXPECT_EQ(image.width, pages_[i].width);
    EXPECT_EQ(image.height, pages_[i].height);
    EXPECT_TRUE(image.rows == pages_[i].rows);
    EXPECT_GT(image.BlackShare(), 0.05);
    EXPECT_LT(image.BlackShare(), 0.95);
  }
  auto params = quillfern::SplitJobParams(parsed.jobParams);
  ASSERT_EQ(params.size(), 3u);
  EXPECT_EQ(params[2], (std::pair<std::string, std::string>("AuthPassword", "secret")));
}

TEST_F(PrintStreamTest, EachCorruptionIsReportedWhereItIs) {
  std::string flippedMagic = bytes_;
  flippedMagic[offsets_[1] + 3] ^= 0x20;
  StreamError error = ErrorOf(flippedMagic);
  EXPECT_EQ(error.offset, offsets_[1]);
  EXPECT_EQ(error.field, "page record 2 magic");

  std::string flippedTag = bytes_;
  flippedTag[13] = 'x';  // inside the zero padding
  EXPECT_EQ(ErrorOf(flippedTag).offset, 0u);
  EXPECT_EQ(ErrorOf(flippedTag).field, "job tag");

  std::string longer = bytes_;
  PutLe32(longer, offsets_[2] + 24, 1u << 20);
  EXPECT_EQ(ErrorOf(longer).offset, offsets_[2] + 24);
  EXPECT_EQ(ErrorOf(longer).field, "page record 3 datasize");

  std::string shorter = bytes_;
  PutLe32(shorter, offsets_[0] + 24, static_cast<uint32_t>(offsets_[1] - offsets_[0] - 32 - 5));
  EXPECT_EQ(ErrorOf(shorter).offset, offsets_[1] - 5);

  std::string duplicate = bytes_;
  PutLe32(duplicate, offsets_[1] + 28, 1);
  EXPECT_EQ(ErrorOf(duplicate).offset, offsets_[1] + 28);
  EXPECT_EQ(ErrorOf(duplicate).expected, "2");
  EXPECT_EQ(ErrorOf(duplicate).found, "1");

  std::string secondLast = bytes_;
  PutLe32(secondLast, offsets_[1] + 20, 1);
  EXPECT_EQ(ErrorOf(secondLast).offset, offsets_[2]);

  std::string badFlag = bytes_;
  PutLe32(badFlag, offsets_[0] + 16, 2);
  EXPECT_EQ(ErrorOf(badFlag).field, "page record 1 firstpage");

  std::string noEnd = bytes_;
  PutLe32(noEnd, offsets_[2] + 20, 0);
  EXPECT_EQ(ErrorOf(noEnd).offset, offsets_[2] + 20);
  EXPECT_TRUE(ParsePrintStream(noEnd, /*requireEnd=*/false).valid);

  std::string trailing = bytes_ + "xyz";
  EXPECT_EQ(ErrorOf(trailing).offset, bytes_.size());
}

TEST_F(PrintStreamTest, StreamCutAnywhereIsReportedNeverMisread) {
  for (size_t length : {size_t{5}, size_t{17}, size_t{30}, offsets_[0] + 10, offsets_[1] + 40,
                        offsets_[2] + 31, bytes_.size() - 1}) {
    ParsedStream parsed = ParsePrintStream(std::string_view(bytes_).substr(0, length));
    EXPECT_FALSE(parsed.valid) << length;
    EXPECT_LE(parsed.error.offset, length);
  }
  for (size_t length = 1; length < bytes_.size(); length += 97) {
    ParsedStream parsed = ParsePrintStream(std::string_view(bytes_).substr(0, length));
    if (parsed.valid) {
      ADD_FAILURE() << "a stream cut at " << length << " passed as sound";
    }
  }
}

TEST_F(PrintStreamTest, ImageEntityMustBeWhatTheFilterAsksFor) {
  ParsedStream parsed = ParsePrintStream(bytes_);
  ASSERT_TRUE(parsed.valid);
  const size_t dataStart = offsets_[0] + 32;
  struct Change {
    size_t at;
    char value;
    std::string field;
  };
  for (const Change& change : {Change{2, 2, "P (planes)"}, Change{15, 64, "L0 (stripe height)"},
                               Change{18, 8, "order byte"}, Change{19, 12, "options byte"}}) {
    std::string bie(parsed.records[0].data);
    bie[change.at] = change.value;
    quillfern::StreamRecord record = parsed.records[0];
    record.data = bie;
    PageImage image;
    StreamError error;
    EXPECT_FALSE(DecodeRecord(record, &image, &error)) << change.field;
    EXPECT_EQ(error.offset, dataStart + (change.at == 15 ? 12 : change.at)) << change.field;
    EXPECT_NE(error.field.find(change.field), std::string::npos) << error.field;
  }
  // A damaged size never makes the decoder ask for gigabytes.
  for (uint32_t side : {0u, 32769u, 0x76355b00u}) {
    std::string bie(parsed.records[0].data);
    for (int i = 0; i < 4; ++i) bie[4 + i] = static_cast<char>(side >> (24 - 8 * i));
    quillfern::StreamRecord record = parsed.records[0];
    record.data = bie;
    PageImage image;
    StreamError error;
    EXPECT_FALSE(DecodeRecord(record, &image, &error)) << side;
    EXPECT_EQ(error.offset, dataStart + 4);
    EXPECT_EQ(error.field, "page record 1 JBIG size");
  }

  quillfern::StreamRecord cut = parsed.records[0];
  cut.data = cut.data.substr(0, cut.data.size() / 2);
  PageImage image;
  StreamError error;
  EXPECT_FALSE(DecodeRecord(cut, &image, &error));
  EXPECT_NE(error.field.find("data"), std::string::npos);
}

TEST(PrintStreamEmptyTest, EmptyStreamIsSoundAndHasNoJobHeader) {
  ParsedStream parsed = ParsePrintStream("");
  EXPECT_TRUE(parsed.valid);
  EXPECT_FALSE(parsed.hasJobHeader);
}

}  // namespace
