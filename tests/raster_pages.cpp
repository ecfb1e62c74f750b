#include "tests/raster_pages.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "tools/stream_checker.h"

namespace testing_support {

Bitmap PatternPage(uint32_t width, uint32_t height, int seed) {
  Bitmap page;
  page.width = width;
  page.height = height;
  page.rows.assign(static_cast<size_t>(page.rowBytes()) * height, '\0');
  uint32_t state = 2463534242u + static_cast<uint32_t>(seed) * 7919u;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      bool stripe = ((x + y * static_cast<uint32_t>(seed + 1)) / 7) % 3 == 0;
      if (stripe || state % 11 == 0) page.Set(x, y);
    }
  }
  return page;
}

Bitmap TextLikePage(uint32_t width, uint32_t height, int seed) {
  Bitmap page;
  page.width = width;
  page.height = height;
  const uint32_t rowBytes = page.rowBytes();
  page.rows.assign(static_cast<size_t>(rowBytes) * height, '\0');
  uint32_t state = 88172645u ^ static_cast<uint32_t>(seed * 2654435761u);
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  const uint32_t margin = rowBytes / 10;
  for (uint32_t top = height / 12; top + 60 < height - height / 12; top += 100) {
    // One line of text: words of 3 to 12 bytes with one-byte gaps.
    uint32_t x = margin;
    uint32_t lineEnd = rowBytes - margin - next() % (rowBytes / 4 + 1);
    while (x < lineEnd) {
      uint32_t word = 3 + next() % 10;
      for (uint32_t y = top; y < top + 60; ++y) {
        for (uint32_t b = x; b < x + word && b < lineEnd; ++b) {
          page.rows[static_cast<size_t>(y) * rowBytes + b] = static_cast<char>(next() & 0x7e);
        }
      }
      x += word + 2;
    }
  }
  // Clear the fill bits of every row's last byte.
  if (width % 8 != 0) {
    unsigned char keep = static_cast<unsigned char>(0xff << (8 - width % 8));
    for (uint32_t y = 0; y < height; ++y) {
      char& last = page.rows[static_cast<size_t>(y) * rowBytes + rowBytes - 1];
      last = static_cast<char>(static_cast<unsigned char>(last) & keep);
    }
  }
  return page;
}

Bitmap TurnedCounterClockwise(const Bitmap& page) {
  Bitmap turned;
  turned.width = page.height;
  turned.height = page.width;
  turned.rows.assign(static_cast<size_t>(turned.rowBytes()) * turned.height, '\0');
  for (uint32_t y = 0; y < page.height; ++y) {
    for (uint32_t x = 0; x < page.width; ++x) {
      if (page.Pixel(x, y)) turned.Set(y, page.width - 1 - x);
    }
  }
  return turned;
}

void WriteRasterStream(const std::string& path, const std::vector<RasterPage>& pages) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  for (const RasterPage& page : pages) {
    cups_page_header2_t header;
    memset(&header, 0, sizeof header);
    header.cupsWidth = page.bitmap.width;
    header.cupsHeight = page.bitmap.height;
    header.cupsBitsPerColor = 1;
    header.cupsBitsPerPixel = 1;
    header.cupsBytesPerLine = page.bitmap.rowBytes();
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.cupsColorSpace = CUPS_CSPACE_K;
    header.HWResolution[0] = header.HWResolution[1] = 600;
    header.PageSize[0] = page.bitmap.width * 72 / 600;
    header.PageSize[1] = page.bitmap.height * 72 / 600;
    if (page.override.bitsPerPixel >= 0) {
      header.cupsBitsPerPixel = static_cast<unsigned>(page.override.bitsPerPixel);
      header.cupsBitsPerColor = header.cupsBitsPerPixel;
    }
    if (page.override.bytesPerLine >= 0) {
      header.cupsBytesPerLine = static_cast<unsigned>(page.override.bytesPerLine);
    }
    if (!cupsRasterWriteHeader2(raster, &header)) throw std::runtime_error("header not written");
    std::string rows = page.bitmap.rows;
    rows.resize(static_cast<size_t>(header.cupsBytesPerLine) * header.cupsHeight, '\0');
    if (!rows.empty()) {
      cupsRasterWritePixels(raster, reinterpret_cast<unsigned char*>(rows.data()),
                            static_cast<unsigned>(rows.size()));
    }
  }
  cupsRasterClose(raster);
  close(fd);
}

void WriteRasterStream(const std::string& path, const std::vector<Bitmap>& pages) {
  std::vector<RasterPage> raster;
  for (const Bitmap& bitmap : pages) raster.push_back({bitmap, {}});
  WriteRasterStream(path, raster);
}

Bitmap DecodeJbig(const std::string& bie, std::string* error) {
  quillfern::StreamRecord record;
  record.data = bie;
  quillfern::PageImage image;
  quillfern::StreamError problem;
  Bitmap page;
  if (!quillfern::DecodeRecord(record, &image, &problem)) {
    *error = problem.Message();
    return page;
  }
  error->clear();
  page.width = image.width;
  page.height = image.height;
  page.rows = std::move(image.rows);
  return page;
}

}  // namespace testing_support
