// The conversion core: raster header checks, and a push front end that must
// give the printer the same stream as the filter.
#include "core/conversion_job.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

cups_page_header2_t Header(unsigned width, unsigned height, unsigned bitsPerPixel,
                           unsigned bytesPerLine) {
  cups_page_header2_t header;
  memset(&header, 0, sizeof header);
  header.cupsWidth = width;
  header.cupsHeight = height;
  header.cupsBitsPerPixel = bitsPerPixel;
  header.cupsBytesPerLine = bytesPerLine;
  return header;
}

TEST(RasterHeaderTest, OneBitPagesOfUsableSizeAreTaken) {
  EXPECT_EQ(RasterHeaderProblem(Header(4958, 7017, 1, 620), 1), "");
  EXPECT_EQ(RasterHeaderProblem(Header(1, 1, 1, 1), 1), "");
  // The largest: 2^31 - 1 bytes of pixels in rows of whole bytes.
  EXPECT_EQ(RasterHeaderProblem(Header(8, 2147483647u, 1, 1), 1), "");
}

TEST(RasterHeaderTest, EveryUnusableHeaderIsNamed) {
  struct Case {
    unsigned width, height, bitsPerPixel, bytesPerLine;
  };
  for (const Case& c :
       {Case{40, 20, 8, 40}, Case{40, 20, 1, 6}, Case{40, 20, 1, 4}, Case{0, 20, 1, 0},
        Case{40, 0, 1, 5}, Case{16, 2147483647u, 1, 2}, Case{4294967295u, 1, 1, 536870912u},
        Case{2147483641u, 1, 1, 268435456u}, Case{8, 2147483648u, 1, 1}}) {
    std::string problem =
        RasterHeaderProblem(Header(c.width, c.height, c.bitsPerPixel, c.bytesPerLine), 3);
    EXPECT_EQ(problem.rfind("page 3 has a raster header the printer cannot take: cupsWidth " +
                                std::to_string(c.width),
                            0),
              0u)
        << c.width << "x" << c.height << " " << c.bitsPerPixel << " " << c.bytesPerLine;
  }
}

}  // namespace
