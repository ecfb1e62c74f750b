#include "image/rotate.h"

#include "common/log.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/owners.h"
#include "image/pbm.h"

namespace quillfern {

namespace {

struct Picture {
  int64_t width;
  int64_t height;
  int64_t rowBytes;
};

inline bool PixelAt(const unsigned char* raster, const Picture& p, int64_t x, int64_t y) {
  return (raster[y * p.rowBytes + x / 8] >> (7 - x % 8)) & 1;
}

inline void SetPixel(unsigned char* raster, const Picture& p, int64_t x, int64_t y) {
  raster[y * p.rowBytes + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
}

// Maps every black source pixel to its place in the turned picture.  Fill
// bits of the source are never read and those of the destination stay 0.
void TurnPixels(const unsigned char* source, const Picture& from, unsigned char* dest,
                const Picture& to, int angle) {
  for (int64_t y = 0; y < from.height; ++y) {
    for (int64_t x = 0; x < from.width; ++x) {
      if (!PixelAt(source, from, x, y)) continue;
      switch (angle) {
        case -90:
          SetPixel(dest, to, y, from.width - 1 - x);
          break;
        case 90:
          SetPixel(dest, to, from.height - 1 - y, x);
          break;
        default:
          SetPixel(dest, to, from.width - 1 - x, from.height - 1 - y);
          break;
      }
    }
  }
}

}  // namespace

int rotatePbm(const char* source, const char* destination, int angle) {
  if (angle != -90 && angle != 90 && angle != 180) {
    LogPrintf("Unsupported rotation angle %d.\n", angle);
    return 1;
  }

  UniqueFile in = OpenFile(source, "rb");
  if (!in) {
    LogPrintf("%s: %s\n", "Error opening input file", strerror(errno));
    return 1;
  }
  PbmHeader header = ReadPbmHeader(in.get());
  getc(in.get());  // the single whitespace byte that ends the header
  if (strcmp(header.magic, "P4") != 0) {
    LogPuts("Unsupported format or not a PBM file.\n");
    return 1;
  }
  if (!PbmSizeIsUsable(header)) {
    LogPrintf("Unsupported PBM size in %s: width %lld, height %lld.\n", source, header.width,
            header.height);
    return 1;
  }

  const Picture from{header.width, header.height, PbmRowBytes(header.width)};
  const size_t sourceBytes = static_cast<size_t>(from.rowBytes * from.height);
  MallocPtr<unsigned char[]> raster = AllocateZeroed(sourceBytes);
  if (!raster) {
    LogPrintf("Cannot allocate %zu bytes for %s.\n", sourceBytes, source);
    return 1;
  }
  size_t got = fread(raster.get(), 1, sourceBytes, in.get());
  in.reset();
  if (got != sourceBytes) {
    LogPrintf("PBM raster of %s is short: %zu of %zu bytes.\n", source, got, sourceBytes);
    return 1;
  }

  const bool quarterTurn = angle != 180;
  const int64_t toWidth = quarterTurn ? from.height : from.width;
  const int64_t toHeight = quarterTurn ? from.width : from.height;
  const Picture to{toWidth, toHeight, PbmRowBytes(toWidth)};
  const int64_t destBytes64 = to.rowBytes * to.height;
  if (destBytes64 > kMaxPbmRasterBytes) {
    LogPrintf("Unsupported PBM size in %s: width %lld, height %lld.\n", source, header.width,
            header.height);
    return 1;
  }
  const size_t destBytes = static_cast<size_t>(destBytes64);
  MallocPtr<unsigned char[]> turned = AllocateZeroed(destBytes);
  if (!turned) {
    LogPrintf("Cannot allocate %zu bytes for %s.\n", destBytes, destination);
    return 1;
  }
  TurnPixels(raster.get(), from, turned.get(), to, angle);

  UniqueFile out = OpenFile(destination, "wb");
  if (!out) {
    LogPrintf("%s: %s\n", "Error opening output file", strerror(errno));
    return 1;
  }
  bool written = fprintf(out.get(), "P4\n%lld %lld\n", static_cast<long long>(to.width),
                         static_cast<long long>(to.height)) > 0 &&
                 fwrite(turned.get(), 1, destBytes, out.get()) == destBytes;
  if (fclose(out.release()) != 0) written = false;
  if (!written) {
    LogPrintf("%s: %s\n", "Error writing output file", strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace quillfern
