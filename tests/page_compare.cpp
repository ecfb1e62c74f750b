// page_compare PRINTED.pbm REFERENCE.pbm
// page_compare --box PAGE.pbm
//
// Tells whether a page the printer received shows the same document page as
// a reference rendering: ink where the reference has ink, white elsewhere.
// Two renderers never agree on every pixel, so the pages are compared in
// blocks of 48 x 48 pixels, each block inked or white, and a block of one
// page counts as matched when the other has ink in it or in a neighbour.
// Exits 0 when at least 95% of the inked blocks of each page are matched.
// --box prints the page's width and height and the box around its ink,
// "WIDTH HEIGHT LEFT TOP RIGHT BOTTOM" (a white page: no box), for tests
// that check where a mark lands.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/owners.h"
#include "image/pbm.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

constexpr int kBlock = 48;

struct Blocks {
  int columns = 0;
  int rows = 0;
  std::vector<char> inked;
  int count = 0;

  bool At(int x, int y) const {
    return x >= 0 && y >= 0 && x < columns && y < rows && inked[y * columns + x];
  }
};

bool Load(const char* path, Blocks* blocks, long long* width, long long* height) {
  UniqueFile file = OpenFile(path, "rb");
  if (!file) return false;
  PbmHeader header = ReadPbmHeader(file.get());
  getc(file.get());
  if (!PbmSizeIsUsable(header)) return false;
  *width = header.width;
  *height = header.height;
  const size_t rowBytes = static_cast<size_t>(PbmRowBytes(header.width));
  std::vector<unsigned char> row(rowBytes);
  blocks->columns = static_cast<int>((header.width + kBlock - 1) / kBlock);
  blocks->rows = static_cast<int>((header.height + kBlock - 1) / kBlock);
  std::vector<int> black(static_cast<size_t>(blocks->columns) * blocks->rows, 0);
  for (long long y = 0; y < header.height; ++y) {
    if (fread(row.data(), 1, rowBytes, file.get()) != rowBytes) return false;
    for (long long x = 0; x < header.width; ++x) {
      if ((row[x / 8] >> (7 - x % 8)) & 1) ++black[(y / kBlock) * blocks->columns + x / kBlock];
    }
  }
  blocks->inked.resize(black.size());
  for (size_t i = 0; i < black.size(); ++i) {
    blocks->inked[i] = black[i] > 2;
    blocks->count += blocks->inked[i];
  }
  return true;
}

// The share of `a`'s inked blocks that `b` has ink at or next to.
double Matched(const Blocks& a, const Blocks& b) {
  if (a.count == 0) return 1.0;
  int matched = 0;
  for (int y = 0; y < a.rows; ++y) {
    for (int x = 0; x < a.columns; ++x) {
      if (!a.At(x, y)) continue;
      bool near = false;
      for (int dy = -1; dy <= 1 && !near; ++dy) {
        for (int dx = -1; dx <= 1 && !near; ++dx) near = b.At(x + dx, y + dy);
      }
      matched += near;
    }
  }
  return static_cast<double>(matched) / a.count;
}

// --box: the page's size and the box around its ink.
int PrintBox(const char* path) {
  UniqueFile file = OpenFile(path, "rb");
  PbmHeader header = file ? ReadPbmHeader(file.get()) : PbmHeader();
  if (!file || !PbmSizeIsUsable(header)) return 2;
  getc(file.get());
  std::vector<unsigned char> row(static_cast<size_t>(PbmRowBytes(header.width)));
  long long left = header.width, top = -1, right = -1, bottom = -1;
  for (long long y = 0; y < header.height; ++y) {
    if (fread(row.data(), 1, row.size(), file.get()) != row.size()) return 2;
    for (long long x = 0; x < header.width; ++x) {
      if (((row[x / 8] >> (7 - x % 8)) & 1) == 0) continue;
      if (top < 0) top = y;
      bottom = y;
      left = std::min(left, x);
      right = std::max(right, x);
    }
  }
  printf("%lld %lld", static_cast<long long>(header.width), static_cast<long long>(header.height));
  if (top >= 0) printf(" %lld %lld %lld %lld", left, top, right, bottom);
  printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 3 && std::string(argv[1]) == "--box") return PrintBox(argv[2]);
  if (argc != 3) {
    fputs("usage: page_compare PRINTED.pbm REFERENCE.pbm | --box PAGE.pbm\n", stderr);
    return 2;
  }
  Blocks printed, reference;
  long long pw, ph, rw, rh;
  if (!Load(argv[1], &printed, &pw, &ph) || !Load(argv[2], &reference, &rw, &rh)) {
    fputs("page_compare: cannot read both pages\n", stderr);
    return 2;
  }
  double forward = Matched(printed, reference);
  double backward = Matched(reference, printed);
  bool same =
      std::abs(pw - rw) <= 8 && std::abs(ph - rh) <= 8 && forward >= 0.95 && backward >= 0.95;
  printf(
      "%s: %lldx%lld, %d inked blocks; reference %lldx%lld, %d inked blocks; "
      "matched %.1f%% / %.1f%%: %s\n",
      argv[1], pw, ph, printed.count, rw, rh, reference.count, 100 * forward, 100 * backward,
      same ? "same page" : "DIFFERENT");
  return same ? 0 : 1;
}
