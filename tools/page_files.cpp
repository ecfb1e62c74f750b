#include "tools/page_files.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "common/owners.h"
#include "image/pbm.h"

namespace quillfern {

bool WritePbm(const PageImage& page, const std::string& path, std::string* error) {
  UniqueFile file = OpenFile(path.c_str(), "wb");
  if (!file) {
    *error = path + ": " + strerror(errno);
    return false;
  }
  bool ok = WritePbm(file.get(), page.width, page.height,
                     reinterpret_cast<const unsigned char*>(page.rows.data()), page.rows.size());
  if (fclose(file.release()) != 0) ok = false;
  if (!ok) *error = path + ": " + strerror(errno);
  return ok;
}

namespace {

// libpng reports errors by longjmp; everything it touches lives in here.
bool WritePngRows(FILE* file, const PageImage& page) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, page.width, page.height, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // In a one-bit grey PNG 0 is black; on the page a set bit is black.
  png_set_invert_mono(png);
  for (uint32_t y = 0; y < page.height; ++y) {
    png_write_row(png, reinterpret_cast<png_const_bytep>(page.rows.data()) +
                           static_cast<size_t>(y) * page.rowBytes());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng(const PageImage& page, const std::string& path, std::string* error) {
  UniqueFile file = OpenFile(path.c_str(), "wb");
  if (!file) {
    *error = path + ": " + strerror(errno);
    return false;
  }
  bool ok = WritePngRows(file.get(), page);
  if (fclose(file.release()) != 0) ok = false;
  if (!ok) *error = path + ": cannot write the PNG image";
  return ok;
}

}  // namespace quillfern
