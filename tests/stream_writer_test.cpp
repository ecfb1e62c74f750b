#include "core/stream_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/memory_stream.h"
#include "tests/stream_reader.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testing_support::MemoryStream;
using testing_support::ReadPrintStream;

std::string Le32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xff);
  return bytes;
}

TEST(StreamWriterTest, FreshHeaderHasMagicAndDefaults) {
  printer_header header;
  EXPECT_EQ(std::string(header.magic, 16), std::string("rv7731_printer\0\0", 16));
  EXPECT_EQ(header.firstpage, 0);
  EXPECT_EQ(header.lastpage, 0);
  EXPECT_EQ(header.pageno, 1);
}

TEST(StreamWriterTest, OnePageJobIsLaidOutByteForByte) {
  const std::string params = "PageSize=A4, copies=1, ";
  const std::string jbig = std::string("\x00\x01\x02\xff", 4) + "encoded page";
  MemoryStream stream;
  CaptureStderr();
  WriteJobHeader(stream.output(), params.c_str(), static_cast<int32_t>(params.size()),
                 "logged text");
  std::string log = GetCapturedStderr();
  printer_header header;
  header.firstpage = 1;
  header.lastpage = 0;  // the record carries the lastpage passed in
  header.datasize = static_cast<int32_t>(jbig.size());
  header.pageno = 1;
  WritePageHeader(stream.output(), header, 1);
  WritePageData(stream.output(), reinterpret_cast<const unsigned char*>(jbig.data()), jbig.size());

  std::string expected = std::string("rv7731_param\0\0\0\0", 16) + Le32(params.size()) + params +
                         std::string("rv7731_printer\0\0", 16) + Le32(1) + Le32(1) +
                         Le32(jbig.size()) + Le32(1) + jbig;
  std::string bytes = stream.bytes();
  EXPECT_EQ(bytes.size(), 52 + params.size() + jbig.size());
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(log, "DEBUG: job_params=logged text \nDEBUG: job_params_size=23 \n");
  EXPECT_FALSE(stream.output().failed());
  EXPECT_TRUE(ReadPrintStream(bytes).error.empty());
}

TEST(StreamWriterTest, IntegersAreLittleEndianWhateverTheirValue) {
  MemoryStream stream;
  printer_header header;
  header.firstpage = 0;
  header.datasize = 0x01020304;
  header.pageno = 0x7fffffff;
  WritePageHeader(stream.output(), header, 0);
  std::string bytes = stream.bytes();
  ASSERT_EQ(bytes.size(), 32u);
  EXPECT_EQ(bytes.substr(24, 4), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(bytes.substr(28, 4), std::string("\xff\xff\xff\x7f", 4));
}

TEST(StreamWriterTest, FailedWriteIsKeptAndStopsFurtherWrites) {
  FILE* full = fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  setvbuf(full, nullptr, _IONBF, 0);
  FileSink fullSink(full);
  PrinterOutput out(fullSink);
  unsigned char byte = 1;
  EXPECT_FALSE(out.Write(&byte, 1));
  EXPECT_TRUE(out.failed());
  EXPECT_EQ(out.error(), ENOSPC);
  EXPECT_FALSE(out.Write(&byte, 1));
  EXPECT_FALSE(out.Flush());
  fclose(full);

  FILE* buffered = fopen("/dev/full", "wb");
  FileSink bufferedSink(buffered);
  PrinterOutput late(bufferedSink);
  EXPECT_TRUE(late.Write(&byte, 1));  // still in the stream's buffer
  EXPECT_FALSE(late.Flush());
  EXPECT_EQ(late.error(), ENOSPC);
  fclose(buffered);
}

}  // namespace
