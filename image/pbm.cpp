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

bool WritePbmFile(const char* path, int width, int height, const unsigned char* raster,
                  size_t rasterBytes) {
  UniqueFile file = OpenFile(path, "wb");
  if (!file) return false;
  bool ok = fprintf(file.get(), "P4\n%d %d\n", width, height) > 0;
  if (raster != nullptr) {
    ok = ok && fwrite(raster, 1, rasterBytes, file.get()) == rasterBytes;
  } else {
    static const unsigned char kWhite[65536] = {};
    for (size_t left = rasterBytes; ok && left > 0;) {
      size_t chunk = left < sizeof kWhite ? left : sizeof kWhite;
      ok = fwrite(kWhite, 1, chunk, file.get()) == chunk;
      left -= chunk;
    }
  }
  return fclose(file.release()) == 0 && ok;
}

}  // namespace quillfern
