// The whole page loop on any bytes as its raster stream.  The first input
// byte picks the job's settings (collation, duplex, A5 fed by its short
// edge); the rest is standard input.  A stand-in encoder writes a small
// valid JBIG file, so a run is quick; the print stream that comes out must
// be one a printer can take.
#include <cups/raster.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/job_setup.h"
#include "filter/page_loop.h"
#include "image/pbm.h"
#include "tools/stream_checker.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

constexpr uint64_t kLargestPageTried = 4 << 20;  // bigger pages only slow the search

// A 1 x 1 white page as pbmtojbg encodes it with the filter's options.
const unsigned char kTinyBie[] = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                                  0x01, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x08, 0xff, 0x03};
std::string tinyBie;

// Stands in for pbmtojbg: writes the tiny JBIG file with the page's size
// in its header, as the core checks it.
class StandInEncoder : public quillfern::PageEncoder {
 public:
  int Encode(const std::string& pbmPath, const std::string& jbgPath) override {
    FILE* pbm = fopen(pbmPath.c_str(), "rb");
    if (pbm == nullptr) return 1;
    const quillfern::PbmHeader header = quillfern::ReadPbmHeader(pbm);
    fclose(pbm);
    std::string bie = tinyBie;
    for (int field = 0; field < 2; ++field) {
      const uint32_t value = static_cast<uint32_t>(field == 0 ? header.width : header.height);
      for (int byte = 0; byte < 4; ++byte) {
        bie[4 + field * 4 + byte] = static_cast<char>(value >> (24 - 8 * byte));
      }
    }
    FILE* file = fopen(jbgPath.c_str(), "wb");
    if (file == nullptr) return 1;
    fwrite(bie.data(), 1, bie.size(), file);
    fclose(file);
    return 0;
  }
};

// A descriptor whose reads give `bytes`.
int MemoryFd(const uint8_t* bytes, size_t size) {
  int fd = memfd_create("raster", MFD_CLOEXEC);
  if (fd < 0) abort();
  if (size > 0 && write(fd, bytes, size) != static_cast<ssize_t>(size)) abort();
  lseek(fd, 0, SEEK_SET);
  return fd;
}

// True when every page header libcups reads from the stream describes a
// page small enough to try quickly.
bool PagesAreSmall(const uint8_t* bytes, size_t size) {
  int fd = MemoryFd(bytes, size);
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
  bool small = true;
  cups_page_header2_t header;
  std::vector<unsigned char> pixels;
  while (small && raster != nullptr && cupsRasterReadHeader2(raster, &header)) {
    uint64_t bytesPerPage = static_cast<uint64_t>(header.cupsBytesPerLine) * header.cupsHeight;
    small = bytesPerPage <= kLargestPageTried;
    if (small && bytesPerPage > 0) {
      pixels.resize(bytesPerPage);
      cupsRasterReadPixels(raster, pixels.data(), static_cast<unsigned>(bytesPerPage));
    }
  }
  if (raster != nullptr) cupsRasterClose(raster);
  close(fd);
  return small;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tinyBie.assign(reinterpret_cast<const char*>(kTinyBie), sizeof kTinyBie);
  // The stand-in's output must itself be what the printer takes.
  quillfern::StreamRecord record;
  record.data = tinyBie;
  quillfern::PageImage image;
  quillfern::StreamError error;
  if (!quillfern::DecodeRecord(record, &image, &error)) {
    fprintf(stderr, "stand-in JBIG does not decode: %s\n", error.Message().c_str());
    abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (!PagesAreSmall(data + 1, size - 1)) return 0;

  static const std::string workDir = "/tmp/quillfern-fuzz-" + std::to_string(getpid()) + "/";
  static const std::string lockPath = "/tmp/quillfern-fuzz-" + std::to_string(getpid()) + ".lock";

  JobSetup job;
  job.settings.jobId = 5;
  job.settings.collate = (data[0] & 1) == 0;
  job.settings.duplexMode = (data[0] >> 1) % 3;
  if ((data[0] & 8) != 0) {
    job.settings.Flag_Page_A5 = 1;
    job.settings.feedEdge = 1;
    job.settings.duplexMode = 0;
  }
  job.table = tblDefParam;
  FormatJobParams(job.job_params, sizeof job.job_params, job.table, false);
  job.job_params_size = static_cast<int32_t>(strlen(job.job_params));
  FormatJobParams(job.loggedJobParams, sizeof job.loggedJobParams, job.table, true);
  job.buffers = AllocatePairBuffers();
  if (!job.buffers.buff1) abort();

  char* streamBytes = nullptr;
  size_t streamSize = 0;
  FILE* output = open_memstream(&streamBytes, &streamSize);
  PageLoopPlaces places;
  places.work.directory = workDir;
  places.work.lockPath = lockPath;
  places.rasterFd = MemoryFd(data + 1, size - 1);
  places.output = output;
  StandInEncoder encoder;
  places.encoder = &encoder;

  const int status = RunPageLoop(job, places);
  fclose(output);
  close(places.rasterFd);
  const std::string stream(streamBytes, streamSize);
  free(streamBytes);

  // Normal ends and an unusable header met by the read-ahead both finish the
  // job: the printer gets a complete stream.  An unusable first header
  // sends nothing.
  if (status != 0 && status != 1) {
    fprintf(stderr, "unexpected exit status %d\n", status);
    abort();
  }
  quillfern::ParsedStream parsed = quillfern::ParsePrintStream(stream, /*requireEnd=*/true);
  if (!parsed.valid) {
    fprintf(stderr, "broken stream: %s\n", parsed.error.Message().c_str());
    abort();
  }
  if (!stream.empty() && parsed.records.empty()) abort();
  // Every record is the stand-in's file: its header (with the page's size)
  // and the tiny page's data.
  for (const quillfern::StreamRecord& record : parsed.records) {
    const std::string_view bytes(record.data);
    if (bytes.size() != tinyBie.size() ||
        bytes.substr(0, 4) != std::string_view(tinyBie).substr(0, 4) ||
        bytes.substr(12) != std::string_view(tinyBie).substr(12)) {
      abort();
    }
  }
  if (job.settings.duplexMode != 0 && parsed.records.size() % 2 != 0) abort();
  return 0;
}
