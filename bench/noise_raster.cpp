// noise_raster OUT.ras PAGES WIDTH HEIGHT
//
// Writes a CUPS raster stream of one-bit pages of random noise: the worst
// case for the JBIG encoder and for the size of what the filter holds.
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char* argv[]) {
  if (argc != 5) {
    fputs("usage: noise_raster OUT.ras PAGES WIDTH HEIGHT\n", stderr);
    return 2;
  }
  const int pages = atoi(argv[2]);
  const unsigned width = static_cast<unsigned>(atoi(argv[3]));
  const unsigned height = static_cast<unsigned>(atoi(argv[4]));
  int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    perror(argv[1]);
    return 1;
  }
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  cups_page_header2_t header;
  memset(&header, 0, sizeof header);
  header.cupsWidth = width;
  header.cupsHeight = height;
  header.cupsBitsPerColor = 1;
  header.cupsBitsPerPixel = 1;
  header.cupsBytesPerLine = (width + 7) / 8;
  header.cupsColorOrder = CUPS_ORDER_CHUNKED;
  header.cupsColorSpace = CUPS_CSPACE_K;
  header.HWResolution[0] = header.HWResolution[1] = 600;
  header.PageSize[0] = width * 72 / 600;
  header.PageSize[1] = height * 72 / 600;
  std::vector<unsigned char> row(header.cupsBytesPerLine);
  uint64_t state = 0x9e3779b97f4a7c15ull;
  for (int page = 0; page < pages; ++page) {
    cupsRasterWriteHeader2(raster, &header);
    for (unsigned y = 0; y < height; ++y) {
      for (unsigned char& byte : row) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<unsigned char>(state);
      }
      cupsRasterWritePixels(raster, row.data(), static_cast<unsigned>(row.size()));
    }
  }
  cupsRasterClose(raster);
  close(fd);
  return 0;
}
