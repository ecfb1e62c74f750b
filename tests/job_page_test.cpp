#include "app/job_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

cups_page_header2_t Header(unsigned x, unsigned y, unsigned bits, cups_cspace_t space,
                           unsigned height = 7) {
  cups_page_header2_t header = {};
  header.HWResolution[0] = x;
  header.HWResolution[1] = y;
  header.cupsWidth = 10;
  header.cupsHeight = height;
  header.cupsBitsPerColor = bits;
  header.cupsBitsPerPixel = bits;
  header.cupsColorSpace = space;
  header.cupsBytesPerLine = (10 * bits + 7) / 8;
  return header;
}

// A page is printed at the resolution it was rendered at, rows repeated
// where it was rendered at a part of that down the page, and refused when
// the printer has no such resolution or cannot take its pixels.
TEST(JobPageTest, PagesPrintAtTheirOwnResolutionOrAreRefused) {
  const std::vector<int> resolutions = {600, 1200};
  const struct {
    cups_page_header2_t received;
    unsigned repeat;      // 0: refused
    const char* problem;  // part of the reason
  } kCases[] = {
      {Header(600, 600, 8, CUPS_CSPACE_SW), 1, ""},
      {Header(1200, 1200, 8, CUPS_CSPACE_W), 1, ""},
      {Header(600, 300, 8, CUPS_CSPACE_SW), 2, ""},  // CUPS's draft raster
      {Header(600, 600, 1, CUPS_CSPACE_K), 1, ""},   // Ghostscript's pages
      {Header(300, 300, 8, CUPS_CSPACE_SW), 0, "at 300x300 dpi; the printer prints 600 or 1200"},
      {Header(600, 1200, 8, CUPS_CSPACE_SW), 0, "at 600x1200 dpi"},
      {Header(600, 400, 8, CUPS_CSPACE_SW), 0, "at 600x400 dpi"},
      {Header(600, 0, 8, CUPS_CSPACE_SW), 0, "at 600x0 dpi"},
      {Header(600, 600, 8, CUPS_CSPACE_SRGB), 0, "colour space"},
      {Header(600, 600, 16, CUPS_CSPACE_SW), 0, "16 bits a pixel"},
      {Header(600, 300, 8, CUPS_CSPACE_SW, 0x90000000u), 0, "4831838208 rows long"},
  };
  for (const auto& test : kCases) {
    const PagePlan plan = PlanPage(test.received, resolutions);
    const std::string label = std::to_string(test.received.HWResolution[0]) + "x" +
                              std::to_string(test.received.HWResolution[1]);
    if (test.repeat == 0) {
      EXPECT_NE(plan.problem.find(test.problem), std::string::npos)
          << label << ": " << plan.problem;
      continue;
    }
    EXPECT_EQ(plan.problem, "") << label;
    EXPECT_EQ(plan.repeat, test.repeat) << label;
    EXPECT_EQ(plan.printed.cupsBitsPerPixel, 1u) << label;
    EXPECT_EQ(plan.printed.cupsColorSpace, CUPS_CSPACE_K) << label;
    EXPECT_EQ(plan.printed.cupsBytesPerLine, 2u) << label;
    EXPECT_EQ(plan.printed.HWResolution[1], test.received.HWResolution[0]) << label;
    EXPECT_EQ(plan.printed.cupsHeight, 7 * test.repeat) << label;
  }
}

// Gray becomes black where it is darker than the dither, in either sense of
// the colour space; one-bit luminance is inverted; bits past the page's
// width stay white.
TEST(JobPageTest, RowsBecomeTheirPrintersBits) {
  unsigned char dither[16];
  for (int i = 0; i < 16; ++i) dither[i] = 127;
  const unsigned char gray[10] = {0, 255, 0, 255, 100, 200, 0, 0, 255, 0};
  const unsigned char ink[10] = {255, 0, 255, 0, 200, 100, 255, 255, 0, 255};
  unsigned char out[2];
  PrinterRow(Header(600, 600, 8, CUPS_CSPACE_SW), gray, dither, out);
  EXPECT_EQ(out[0], 0xAB);  // 1010 1011
  EXPECT_EQ(out[1], 0x40);  // 01, then white past the width
  PrinterRow(Header(600, 600, 8, CUPS_CSPACE_K), ink, dither, out);
  EXPECT_EQ(out[0], 0xAB);
  EXPECT_EQ(out[1], 0x40);
  const unsigned char luminance[2] = {0x0F, 0x3F};
  PrinterRow(Header(600, 600, 1, CUPS_CSPACE_W), luminance, dither, out);
  EXPECT_EQ(out[0], 0xF0);
  EXPECT_EQ(out[1], 0xC0);
}

// A page laid on a sheet keeps its pixels where they land, shifted by any
// number of pixels either way, and loses those that fall off the sheet.
TEST(JobPageTest, RowsLaidOnASheetKeepTheirPixelsWhereTheyLand) {
  const unsigned char row[2] = {0xA0, 0x40};  // pixels 0, 2 and 9 of 10
  const struct {
    long long xOffset;
    unsigned outWidth;
    unsigned char out[3];
  } kCases[] = {
      {0, 16, {0xA0, 0x40, 0}},    {3, 20, {0x14, 0x08, 0}},  // pixels 3, 5, 12
      {8, 24, {0x00, 0xA0, 0x40}},                            // a whole byte on
      {-2, 16, {0x81, 0x00, 0}},  // pixel 0 off the sheet: 2 and 9 at 0 and 7
      {-9, 8, {0x80, 0x00, 0}},   // only pixel 9 is left, at 0
      {5, 8, {0x05, 0x00, 0}},    // pixels 5 and 7; 9 falls off at 14
      {12, 11, {0x00, 0x00, 0}},  // the page right of the sheet
  };
  for (const auto& test : kCases) {
    unsigned char out[3] = {0xFF, 0xFF, 0xFF};
    PlaceRow(row, 10, test.xOffset, out, test.outWidth);
    const unsigned bytes = (test.outWidth + 7) / 8;
    for (unsigned i = 0; i < bytes; ++i) {
      EXPECT_EQ(out[i], test.out[i]) << "offset " << test.xOffset << ", byte " << i;
    }
  }
}

}  // namespace
