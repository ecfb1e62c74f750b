#include "image/rotate.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/log.h"
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

// Reads the P4 file at `source` into `raster`.
bool ReadPicture(const char* source, Picture* from, MallocPtr<unsigned char[]>* raster) {
  UniqueFile in = OpenFile(source, "rb");
  if (!in) {
    LogPrintf("%s: %s\n", "Error opening input file", strerror(errno));
    return false;
  }
  PbmHeader header = ReadPbmHeader(in.get());
  getc(in.get());  // the single whitespace byte that ends the header
  if (strcmp(header.magic, "P4") != 0) {
    LogPuts("Unsupported format or not a PBM file.\n");
    return false;
  }
  if (!PbmSizeIsUsable(header)) {
    LogPrintf("Unsupported PBM size in %s: width %lld, height %lld.\n", source, header.width,
              header.height);
    return false;
  }
  *from = Picture{header.width, header.height, PbmRowBytes(header.width)};
  const size_t sourceBytes = static_cast<size_t>(from->rowBytes * from->height);
  *raster = AllocateZeroed(sourceBytes);
  if (!*raster) {
    LogPrintf("Cannot allocate %zu bytes for %s.\n", sourceBytes, source);
    return false;
  }
  const size_t got = fread(raster->get(), 1, sourceBytes, in.get());
  if (got != sourceBytes) {
    LogPrintf("PBM raster of %s is short: %zu of %zu bytes.\n", source, got, sourceBytes);
    return false;
  }
  return true;
}

// The turned picture of `from`, in a new raster.
bool TurnPicture(const char* source, const char* destination, const Picture& from,
                 const unsigned char* raster, int angle, Picture* to,
                 MallocPtr<unsigned char[]>* turned) {
  const bool quarterTurn = angle != 180;
  const int64_t toWidth = quarterTurn ? from.height : from.width;
  const int64_t toHeight = quarterTurn ? from.width : from.height;
  *to = Picture{toWidth, toHeight, PbmRowBytes(toWidth)};
  const int64_t destBytes = to->rowBytes * to->height;
  if (destBytes > kMaxPbmRasterBytes) {
    LogPrintf("Unsupported PBM size in %s: width %lld, height %lld.\n", source,
              static_cast<long long>(from.width), static_cast<long long>(from.height));
    return false;
  }
  *turned = AllocateZeroed(static_cast<size_t>(destBytes));
  if (!*turned) {
    LogPrintf("Cannot allocate %zu bytes for %s.\n", static_cast<size_t>(destBytes), destination);
    return false;
  }
  TurnPixels(raster, from, turned->get(), *to, angle);
  return true;
}

bool WritePicture(const char* destination, const Picture& to, const unsigned char* raster) {
  UniqueFile out = OpenFile(destination, "wb");
  if (!out) {
    LogPrintf("%s: %s\n", "Error opening output file", strerror(errno));
    return false;
  }
  const size_t bytes = static_cast<size_t>(to.rowBytes * to.height);
  bool written = WritePbm(out.get(), to.width, to.height, raster, bytes);
  if (fclose(out.release()) != 0) written = false;
  if (!written) {
    LogPrintf("%s: %s\n", "Error writing output file", strerror(errno));
    return false;
  }
  return true;
}

}  // namespace

int rotatePbm(const char* source, const char* destination, int angle) {
  if (angle != -90 && angle != 90 && angle != 180) {
    LogPrintf("Unsupported rotation angle %d.\n", angle);
    return 1;
  }
  Picture from{};
  MallocPtr<unsigned char[]> raster;
  if (!ReadPicture(source, &from, &raster)) return 1;
  Picture to{};
  MallocPtr<unsigned char[]> turned;
  if (!TurnPicture(source, destination, from, raster.get(), angle, &to, &turned)) return 1;
  raster.reset();
  return WritePicture(destination, to, turned.get()) ? 0 : 1;
}

}  // namespace quillfern
