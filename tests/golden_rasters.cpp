// Writes the raster documents of the filter's golden jobs into a directory:
// text-like A4-shaped pages (three of them, and five), and A5-shaped ones.
//
// usage: golden_rasters DIR
#include <cstdio>
#include <string>
#include <vector>

#include "tests/raster_pages.h"

using testing_support::Bitmap;
using testing_support::TextLikePage;
using testing_support::WriteRasterStream;

namespace {

std::vector<Bitmap> Pages(int count, uint32_t width, uint32_t height) {
  std::vector<Bitmap> pages;
  for (int seed = 1; seed <= count; ++seed) pages.push_back(TextLikePage(width, height, seed));
  return pages;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: golden_rasters DIR\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];
  WriteRasterStream(dir + "/three.ras", Pages(3, 827, 1169));
  WriteRasterStream(dir + "/five.ras", Pages(5, 827, 1169));
  WriteRasterStream(dir + "/a5.ras", Pages(2, 583, 827));
  return 0;
}
