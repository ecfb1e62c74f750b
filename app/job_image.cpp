#include "app/job_image.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/job_seams.h"
#include "app/job_settings.h"
#include "app/job_turns.h"
#include "common/owners.h"

namespace quillfern {

namespace {

// A decoded image: eight-bit gray, a byte a pixel, row after row.
struct GrayImage {
  std::vector<unsigned char> pixels;
  int width = 0;
  int height = 0;
  int ppi = 0;  // 0 when the file does not say
};

// Whether the image fits in what the system lets a job render.
bool FitsSystemLimits(pappl_job_t* job, long long width, long long height) {
  int maxWidth = 0, maxHeight = 0;
  const size_t maxSize =
      papplSystemGetMaxImageSize(papplPrinterGetSystem(papplJobGetPrinter(job)), &maxWidth, &maxHeight);
  return width >= 1 && height >= 1 && width <= maxWidth && height <= maxHeight &&
         static_cast<unsigned long long>(width * height) <= maxSize;
}

// Renders the image through PAPPL at the job's resolution.
bool PrintImage(pappl_job_t* job, pappl_device_t* device, const GrayImage& image) {
  pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, false);
  const int resolution = JobResolution(job, options);
  if (options->printer_resolution[0] != resolution || options->printer_resolution[1] != resolution) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
    options->printer_resolution[0] = options->printer_resolution[1] = resolution;
    cupsRasterInitPWGHeader(&options->header, pwgMediaForPWG(options->media.size_name), "sgray_8",
                            resolution, resolution, "one-sided", "normal");
  }
  const bool ok = papplJobFilterImage(job, device, options, image.pixels.data(), image.width,
                                      image.height, 1, image.ppi, true);
  papplJobDeletePrintOptions(options);
  return ok;
}

bool Unprintable(pappl_job_t* job, const std::string& problem) {
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
  return FailJob(job, problem);
}

struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegFailed(j_common_ptr info) {
  JpegError* error = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, error->message);
  longjmp(error->jump, 1);
}

int JpegPpi(const jpeg_decompress_struct& info) {
  if (info.X_density != info.Y_density) return -1;
  if (info.density_unit == 1) return info.X_density;
  if (info.density_unit == 2) return (info.X_density * 254 + 50) / 100;  // dots a centimetre
  return 0;
}

// Decodes the JPEG file to gray; empty with `problem` set when it cannot.
// No C++ object lives across the decoder's longjmp.
bool DecodeJpeg(pappl_job_t* job, FILE* file, GrayImage* image, std::string* problem) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegFailed;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&info);
    *problem = std::string("the JPEG image cannot be read: ") + error.message;
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_GRAYSCALE;
  jpeg_calc_output_dimensions(&info);
  image->ppi = JpegPpi(info);
  if (!FitsSystemLimits(job, info.output_width, info.output_height) || image->ppi < 0) {
    jpeg_destroy_decompress(&info);
    *problem = image->ppi < 0 ? "the JPEG image's pixels are not square"
                              : "the JPEG image is too large to print";
    return false;
  }
  image->width = static_cast<int>(info.output_width);
  image->height = static_cast<int>(info.output_height);
  image->pixels.resize(static_cast<size_t>(image->width) * static_cast<size_t>(image->height));
  jpeg_start_decompress(&info);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image->pixels.data() + static_cast<size_t>(info.output_scanline) * image->width;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

uint32_t BigEndian32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
         static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

// The PNG file's pixels an inch from its pHYs chunk (before the image
// data): 0 when it says none, -1 when its pixels are not square.
int PngPpi(const char* path) {
  UniqueFile file = OpenFile(path, "rb");
  unsigned char chunk[8];
  if (!file || fseek(file.get(), 8, SEEK_SET) != 0) return 0;
  while (fread(chunk, 1, 8, file.get()) == 8 && memcmp(chunk + 4, "IDAT", 4) != 0) {
    const uint32_t length = BigEndian32(chunk);
    unsigned char data[9];
    if (memcmp(chunk + 4, "pHYs", 4) == 0 && length == 9 && fread(data, 1, 9, file.get()) == 9) {
      if (data[8] != 1) return 0;  // no unit: an aspect ratio only
      if (BigEndian32(data) != BigEndian32(data + 4)) return -1;
      return static_cast<int>((BigEndian32(data) * 254ULL + 5000) / 10000);  // a metre's
    }
    if (fseek(file.get(), static_cast<long>(length) + 4, SEEK_CUR) != 0) return 0;
  }
  return 0;
}

// Decodes the PNG file to gray, transparency laid on white paper.
bool DecodePng(pappl_job_t* job, const char* path, GrayImage* image, std::string* problem) {
  png_image png = {};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path)) {
    *problem = std::string("the PNG image cannot be read: ") + png.message;
    return false;
  }
  png.format = PNG_FORMAT_GRAY;
  image->ppi = PngPpi(path);
  if (!FitsSystemLimits(job, png.width, png.height) || image->ppi < 0) {
    png_image_free(&png);
    *problem = image->ppi < 0 ? "the PNG image's pixels are not square"
                              : "the PNG image is too large to print";
    return false;
  }
  image->width = static_cast<int>(png.width);
  image->height = static_cast<int>(png.height);
  image->pixels.resize(PNG_IMAGE_SIZE(png));
  const png_color white = {255, 255, 255};
  if (!png_image_finish_read(&png, &white, image->pixels.data(), 0, nullptr)) {
    *problem = std::string("the PNG image cannot be read: ") + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

}  // namespace

// Each filter decodes its image only once the job holds its printer's turn
// (StartAppJob, called by PAPPL's rendering, then finds it held): jobs
// started together hold one decoded image at a time, and a second start of
// the same job never reads the document the first start is done with
// (PAPPL removes it when that start finishes).
bool FilterJpeg(pappl_job_t* job, pappl_device_t* device, void*) {
  PrinterTurn turn(job);
  const PrinterTurn::Result taken = turn.Take();
  if (taken != PrinterTurn::kGo) return taken == PrinterTurn::kAlreadyPrinted;
  const char* path = papplJobGetFilename(job);
  UniqueFile file = OpenFile(path, "rb");
  if (!file) return Unprintable(job, std::string("cannot open the JPEG image: ") + strerror(errno));
  GrayImage image;
  std::string problem;
  if (!DecodeJpeg(job, file.get(), &image, &problem)) return Unprintable(job, problem);
  return PrintImage(job, device, image);
}

bool FilterPng(pappl_job_t* job, pappl_device_t* device, void*) {
  PrinterTurn turn(job);
  const PrinterTurn::Result taken = turn.Take();
  if (taken != PrinterTurn::kGo) return taken == PrinterTurn::kAlreadyPrinted;
  GrayImage image;
  std::string problem;
  if (!DecodePng(job, papplJobGetFilename(job), &image, &problem)) return Unprintable(job, problem);
  return PrintImage(job, device, image);
}

}  // namespace quillfern
