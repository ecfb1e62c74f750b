// Raw "P4" PBM page files as the filter writes and reads them: a text header
// "P4\n<width> <height>\n", then the rows, top first, each ceil(width / 8)
// bytes, the leftmost pixel in the most significant bit, a set bit black.
#ifndef QUILLFERN_IMAGE_PBM_H_
#define QUILLFERN_IMAGE_PBM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace quillfern {

// The largest raster a page file may hold: sizes are signed 32-bit numbers.
constexpr int64_t kMaxPbmRasterBytes = INT32_MAX;

struct PbmHeader {
  char magic[3] = {};  // at most two characters
  long long width = 0;
  long long height = 0;
  bool numbersScanned = false;  // both numbers were read
};

// Steps over blanks, line feeds, carriage returns and "#" comments (up to
// and including the next line feed or carriage return).  The first other
// byte is pushed back; end of file ends the skipping and pushes nothing.
void skipPbmComments(FILE* stream);

// Reads magic, width and height, with comments allowed between them.  The
// stream is left right after the height's last digit.
PbmHeader ReadPbmHeader(FILE* stream);

// Bytes in one row, and in the whole raster, computed in 64 bits.
inline int64_t PbmRowBytes(int64_t width) {
  return (width + 7) / 8;
}
inline int64_t PbmRasterBytes(int64_t width, int64_t height) {
  return PbmRowBytes(width) * height;
}

// True when the header's numbers scanned, are positive, and describe a
// raster of at most kMaxPbmRasterBytes bytes.
bool PbmSizeIsUsable(const PbmHeader& header);

// Writes the header "P4\n<width> <height>\n" and then `rasterBytes` bytes
// of `raster` (or that many zero bytes, an all-white page, when `raster` is
// null) to `file`.  False when a write fails (errno tells why).
bool WritePbm(FILE* file, int64_t width, int64_t height, const unsigned char* raster,
              size_t rasterBytes);

// The same into a new file at `path`, closed before it returns.  False when
// the file cannot be created, written or closed.
bool WritePbmFile(const char* path, int64_t width, int64_t height, const unsigned char* raster,
                  size_t rasterBytes);

}  // namespace quillfern

#endif  // QUILLFERN_IMAGE_PBM_H_
