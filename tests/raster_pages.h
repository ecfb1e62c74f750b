// Test pages: one-bit pictures, CUPS raster streams made of them with
// libcups's own raster writer, and JBIG decoding with JBIG-KIT's library to
// check what reached the printer.
#ifndef QUILLFERN_TESTS_RASTER_PAGES_H_
#define QUILLFERN_TESTS_RASTER_PAGES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// A one-bit picture, rows of ceil(width / 8) bytes, a set bit black.
struct Bitmap {
  uint32_t width = 0;
  uint32_t height = 0;
  std::string rows;

  uint32_t rowBytes() const { return (width + 7) / 8; }
  bool Pixel(uint32_t x, uint32_t y) const {
    return (static_cast<unsigned char>(rows[y * rowBytes() + x / 8]) >> (7 - x % 8)) & 1;
  }
  void Set(uint32_t x, uint32_t y) {
    rows[y * rowBytes() + x / 8] =
        static_cast<char>(rows[y * rowBytes() + x / 8] | (0x80 >> (x % 8)));
  }
  bool operator==(const Bitmap& other) const = default;
};

// A page whose ink pattern depends on `seed`, so that pages differ; fill
// bits are left clear.
Bitmap PatternPage(uint32_t width, uint32_t height, int seed);

// A page that looks like printed text: lines of word-shaped ink blocks on
// white, made a byte at a time so that full-size pages are quick to make.
Bitmap TextLikePage(uint32_t width, uint32_t height, int seed);

// The picture turned a quarter turn counter-clockwise.
Bitmap TurnedCounterClockwise(const Bitmap& page);

// Overrides of the page header written for a page, to make bad headers.
struct HeaderOverride {
  int64_t bitsPerPixel = -1;
  int64_t bytesPerLine = -1;
};

struct RasterPage {
  Bitmap bitmap;
  HeaderOverride override;
};

// Writes a CUPS raster stream (version 3) of `pages` to `path`.
void WriteRasterStream(const std::string& path, const std::vector<RasterPage>& pages);
void WriteRasterStream(const std::string& path, const std::vector<Bitmap>& pages);

// Checks a JBIG image entity's header against what the filter asks the
// encoder for and decodes it; `error` is set when either fails.
Bitmap DecodeJbig(const std::string& bie, std::string* error);

}  // namespace testing_support

#endif  // QUILLFERN_TESTS_RASTER_PAGES_H_
