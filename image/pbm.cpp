#include "image/pbm.h"

#include <cstring>

#include "common/owners.h"

namespace quillfern {

void skipPbmComments(FILE* stream) {
  int c;
  while ((c = getc(stream)) != EOF) {
    if (c == ' ' || c == '\n' || c == '\r') continue;
    if (c == '#') {
      while ((c = getc(stream)) != EOF && c != '\n' && c != '\r') {
      }
      if (c == EOF) return;
      continue;
    }
    ungetc(c, stream);
    return;
  }
}

PbmHeader ReadPbmHeader(FILE* stream) {
  PbmHeader header;
  // Numbers are scanned in 64 bits so that an absurd header is refused by a
  // range check rather than wrapped by the conversion.
  bool magicRead = fscanf(stream, "%2s", header.magic) == 1;
  skipPbmComments(stream);
  bool widthRead = fscanf(stream, "%lld", &header.width) == 1;
  skipPbmComments(stream);
  bool heightRead = fscanf(stream, "%lld", &header.height) == 1;
  header.numbersScanned = magicRead && widthRead && heightRead;
  return header;
}

bool PbmSizeIsUsable(const PbmHeader& header) {
  if (!header.numbersScanned) return false;
  if (header.width <= 0 || header.height <= 0) return false;
  if (header.width > INT32_MAX || header.height > INT32_MAX) return false;
  return PbmRasterBytes(header.width, header.height) <= kMaxPbmRasterBytes;
}

bool WritePbm(FILE* file, int64_t width, int64_t height, const unsigned char* raster,
              size_t rasterBytes) {
  bool ok = fprintf(file, "P4\n%lld %lld\n", static_cast<long long>(width),
                    static_cast<long long>(height)) > 0;
  if (raster != nullptr) return ok && fwrite(raster, 1, rasterBytes, file) == rasterBytes;
  static const unsigned char kWhite[65536] = {};
  for (size_t left = rasterBytes; ok && left > 0;) {
    size_t chunk = left < sizeof kWhite ? left : sizeof kWhite;
    ok = fwrite(kWhite, 1, chunk, file) == chunk;
    left -= chunk;
  }
  return ok;
}

bool WritePbmFile(const char* path, int64_t width, int64_t height, const unsigned char* raster,
                  size_t rasterBytes) {
  UniqueFile file = OpenFile(path, "wb");
  if (!file) return false;
  const bool ok = WritePbm(file.get(), width, height, raster, rasterBytes);
  return fclose(file.release()) == 0 && ok;
}

}  // namespace quillfern
