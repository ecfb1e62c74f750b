// PBM page files with any header and raster, turned at any angle.  The
// first input byte picks the angle; the rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/owners.h"
#include "image/pbm.h"
#include "image/rotate.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

constexpr int64_t kLargestTried = 1 << 20;  // bigger rasters only slow the search

struct Scratch {
  std::string source, turned, back;
};

const Scratch& Paths() {
  static const Scratch paths = [] {
    std::string base = "/tmp/quillfern-fuzz-pbm-" + std::to_string(getpid());
    return Scratch{base + ".pbm", base + "-turned.pbm", base + "-back.pbm"};
  }();
  return paths;
}

std::string ReadAll(const std::string& path) {
  std::string bytes;
  UniqueFile file = OpenFile(path.c_str(), "rb");
  if (!file) return bytes;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, n);
  return bytes;
}

// A file as rotatePbm writes it: "P4\n%d %d\n" and exactly the raster.
bool WellFormed(const std::string& bytes, long long* width, long long* height,
                size_t* rasterStart) {
  UniqueFile file(fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb"));
  if (!file) return false;
  PbmHeader header = ReadPbmHeader(file.get());
  if (strcmp(header.magic, "P4") != 0 || !PbmSizeIsUsable(header)) return false;
  long at = ftell(file.get());
  if (at < 0 || static_cast<size_t>(at) >= bytes.size() || bytes[at] != '\n') return false;
  *width = header.width;
  *height = header.height;
  *rasterStart = static_cast<size_t>(at) + 1;
  return bytes.size() - *rasterStart == static_cast<size_t>(PbmRasterBytes(*width, *height));
}

// The raster with every fill bit cleared.
std::string Cleared(std::string raster, long long width, long long height) {
  const long long rowBytes = PbmRowBytes(width);
  if (width % 8 == 0) return raster;
  const unsigned char keep = static_cast<unsigned char>(0xff << (8 - width % 8));
  for (long long y = 0; y < height; ++y) {
    char& last = raster[static_cast<size_t>(y * rowBytes + rowBytes - 1)];
    last = static_cast<char>(static_cast<unsigned char>(last) & keep);
  }
  return raster;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const int kAngles[] = {-90, 90, 180, 0, 270, -90, -90, 45};
  const int angle = kAngles[data[0] % 8];
  const std::string file(reinterpret_cast<const char*>(data + 1), size - 1);

  {
    UniqueFile probe(fmemopen(const_cast<char*>(file.data()), file.size() + 1, "rb"));
    if (!probe) return 0;
    PbmHeader header = ReadPbmHeader(probe.get());
    if (PbmSizeIsUsable(header) && PbmRasterBytes(header.width, header.height) > kLargestTried) {
      return 0;
    }
  }

  const Scratch& paths = Paths();
  {
    UniqueFile source = OpenFile(paths.source.c_str(), "wb");
    if (!source || fwrite(file.data(), 1, file.size(), source.get()) != file.size()) abort();
  }
  unlink(paths.turned.c_str());
  int result = rotatePbm(paths.source.c_str(), paths.turned.c_str(), angle);
  if (result != 0 && result != 1) abort();
  if (angle != -90 && angle != 90 && angle != 180 && result == 0) abort();
  if (result != 0) return 0;

  // A turned file is always well formed, with the sides swapped for a
  // quarter turn.
  long long width, height, turnedWidth, turnedHeight;
  size_t start, turnedStart;
  const std::string turned = ReadAll(paths.turned);
  if (!WellFormed(turned, &turnedWidth, &turnedHeight, &turnedStart)) abort();

  // A well-formed source comes back whole from the opposite turn.
  if (WellFormed(file, &width, &height, &start)) {
    if (angle != 180 && (turnedWidth != height || turnedHeight != width)) abort();
    if (angle == 180 && (turnedWidth != width || turnedHeight != height)) abort();
    if (rotatePbm(paths.turned.c_str(), paths.back.c_str(), angle == 180 ? 180 : -angle) != 0) {
      abort();
    }
    const std::string back = ReadAll(paths.back);
    long long backWidth, backHeight;
    size_t backStart;
    if (!WellFormed(back, &backWidth, &backHeight, &backStart)) abort();
    if (back.substr(backStart) != Cleared(file.substr(start), width, height)) abort();
  }
  return 0;
}
