#include "image/pbm.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

// A read-only stream over `text`.
struct TextStream {
  explicit TextStream(const std::string& text)
      : content(text), file(fmemopen(content.data(), content.size(), "rb")) {}
  ~TextStream() { fclose(file); }
  std::string content;
  FILE* file;
};

TEST(PbmTest, SkipsBlanksLineEndsAndCommentsOnly) {
  TextStream plain(" \n\r \n# note\n#second\r x");
  skipPbmComments(plain.file);
  EXPECT_EQ(getc(plain.file), 'x');

  // Tab, vertical tab and form feed stop the skipping, and a "#" after one
  // of them is no comment.
  for (const char* text : {"\t# not a comment", "\v1", "\f1"}) {
    TextStream stream(text);
    skipPbmComments(stream.file);
    EXPECT_EQ(getc(stream.file), text[0]);
  }

  TextStream toEnd("  # runs to the end");
  skipPbmComments(toEnd.file);
  EXPECT_EQ(getc(toEnd.file), EOF);
}

TEST(PbmTest, HeaderWithCommentsReadsTheSameNumbers) {
  for (const char* text : {"P4\n3 2\nR", "P4\n# made by hand\n3 2\nR", "P4 3\n# between\r2\nR",
                           "P4\n3#c1\n#c2\r\n2\nR"}) {
    TextStream stream(text);
    PbmHeader header = ReadPbmHeader(stream.file);
    EXPECT_STREQ(header.magic, "P4") << text;
    EXPECT_EQ(header.width, 3) << text;
    EXPECT_EQ(header.height, 2) << text;
    EXPECT_TRUE(header.numbersScanned);
    EXPECT_EQ(getc(stream.file), '\n') << text;  // the byte rotatePbm consumes
    EXPECT_EQ(getc(stream.file), 'R') << text;
  }
}

TEST(PbmTest, UnusableSizesAreRecognised) {
  auto usable = [](const char* text) {
    TextStream stream(text);
    return PbmSizeIsUsable(ReadPbmHeader(stream.file));
  };
  EXPECT_TRUE(usable("P4\n4960 7016\n"));
  EXPECT_FALSE(usable("P4\n0 5\n"));
  EXPECT_FALSE(usable("P4\n-8 5\n"));
  EXPECT_FALSE(usable("P4\nwide 5\n"));
  EXPECT_FALSE(usable("P4\n8\n"));
  EXPECT_FALSE(usable("P4\n99999999999 1\n"));
  EXPECT_FALSE(usable("P4\n2000000000 2000000000\n"));  // fits no 32-bit size
  EXPECT_TRUE(usable("P4\n8 2147483647\n"));
  EXPECT_FALSE(usable("P4\n9 2147483647\n"));
}

TEST(PbmTest, WritesRawHeaderAndRows) {
  TempDir dir;
  const unsigned char rows[] = {0xC0, 0x20};
  ASSERT_TRUE(WritePbmFile(dir.File("a.pbm").c_str(), 3, 2, rows, sizeof rows));
  EXPECT_EQ(ReadFile(dir.File("a.pbm")), std::string("P4\n3 2\n\xC0\x20", 9));

  ASSERT_TRUE(WritePbmFile(dir.File("blank.pbm").c_str(), 104, 50, nullptr, 13 * 50));
  EXPECT_EQ(ReadFile(dir.File("blank.pbm")), "P4\n104 50\n" + std::string(650, '\0'));

  EXPECT_FALSE(WritePbmFile(dir.File("missing/a.pbm").c_str(), 3, 2, rows, sizeof rows));
  EXPECT_FALSE(WritePbmFile("/dev/full", 3, 2, rows, sizeof rows));
}

}  // namespace
