#include "filter/page_loop.h"

#include "common/log.h"

#include <cups/raster.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>

#include "common/unique_file.h"
#include "filter/output_sequencer.h"
#include "filter/printer_stream.h"
#include "filter/signals.h"
#include "image/pbm.h"
#include "image/rotate.h"
#include "params/log_text.h"

using quillfern::LogPrintf;
using quillfern::LogPuts;

namespace {

constexpr int kPageFailed = -1;  // seen by CUPS as exit status 255
constexpr size_t kNameSize = 512;

struct RasterCloser {
  void operator()(cups_raster_t* raster) const { cupsRasterClose(raster); }
};
using UniqueRaster = std::unique_ptr<cups_raster_t, RasterCloser>;

// The state the loop keeps from page to page.
struct LoopState {
  int32_t rasterPageNo = 1;
  int32_t m_page = 0;
  int32_t noMorePages = 0;
  int32_t needBlankPage = 0;
  int32_t copiesLeft = 0;
  int32_t blankWidth = 0;
  int32_t blankHeight = 0;
  // A read-ahead header that could not be used: the stream ends before it,
  // and the job reports it once the pages in hand are finished.
  std::string badHeader;
  // The page whose pixels the raster stream ended inside, or 0: it is
  // printed as the job's last page and the job then reported as failed.
  int32_t cutPage = 0;
};

// A page's encoded file, measured and loaded into memory.
struct EncodedPage {
  MallocPtr<unsigned char[]> data;
  int32_t size = 0;
};

}  // namespace

std::string RasterHeaderProblem(const cups_page_header2_t& header, int32_t pageNo) {
  const uint64_t rowBytes = (static_cast<uint64_t>(header.cupsWidth) + 7) / 8;
  const uint64_t pixelBytes = static_cast<uint64_t>(header.cupsHeight) * header.cupsBytesPerLine;
  // The width and height go into signed 32-bit file headers, the blank back
  // side's width (whole bytes of the first page) too.
  const bool fitsHeaders = header.cupsWidth <= static_cast<uint32_t>(INT32_MAX) - 7 &&
                           header.cupsHeight <= static_cast<uint32_t>(INT32_MAX);
  const bool usable = header.cupsBitsPerPixel == 1 && header.cupsWidth > 0 &&
                      header.cupsHeight > 0 && fitsHeaders && header.cupsBytesPerLine == rowBytes &&
                      pixelBytes <= static_cast<uint64_t>(kMaxPbmRasterBytes);
  if (usable) return "";
  char text[256];
  snprintf(text, sizeof text,
           "page %d has a raster header the printer cannot take: cupsWidth %u, cupsHeight %u, "
           "cupsBitsPerPixel %u, cupsBytesPerLine %u",
           pageNo, header.cupsWidth, header.cupsHeight, header.cupsBitsPerPixel,
           header.cupsBytesPerLine);
  return text;
}

namespace {

class PageLoop {
 public:
  PageLoop(JobSetup& job, const PageLoopPlaces& places)
      : job_(job), places_(places), out_(places.output) {}

  int Run();

 private:
  std::string ScratchName(const char* format, int32_t page) const;
  int ConvertRasterPage(cups_raster_t* raster, cups_page_header2_t& header);
  int ProduceBlankPage();
  // Encodes `pbmPath` into the page's .jbg file and loads it; `what` is
  // "page" or "extra page" in the log texts.
  int EncodeAndLoad(const std::string& pbmPath, const char* what, EncodedPage& page);
  int Fail(int status, const char* format, ...) __attribute__((format(printf, 3, 4)));
  int Finish();

  JobSetup& job_;
  const PageLoopPlaces& places_;
  PrinterOutput out_;
  std::unique_ptr<WorkDirectory> workDirectory_;
  std::unique_ptr<OutputSequencer> sequencer_;
  LoopState state_;
};

int PageLoop::Fail(int status, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  LogPrintf("ERROR: %s\n", text);
  return status;
}

std::string PageLoop::ScratchName(const char* format, int32_t page) const {
  char name[kNameSize];
  snprintf(name, sizeof name, format, workDirectory_->directory().c_str(), job_.settings.jobId,
           page);
  return name;
}

// The end of a job that ran its course: every byte handed to the printer,
// and anything that kept the job from being complete reported.
int PageLoop::Finish() {
  if (!out_.Flush()) {
    return Fail(1, "the printer stopped taking data: %s", strerror(out_.error()));
  }
  if (state_.cutPage != 0) {
    return Fail(1, "the raster stream ended inside page %d", state_.cutPage);
  }
  if (!state_.badHeader.empty()) return Fail(1, "%s", state_.badHeader.c_str());
  return 0;
}

int PageLoop::Run() {
  std::string problem;
  workDirectory_ = OpenWorkDirectory(places_.work, job_.settings.jobId, &problem);
  if (!workDirectory_) return Fail(1, "%s", LogText(problem).c_str());

  UniqueRaster raster(cupsRasterOpen(places_.rasterFd, CUPS_RASTER_READ));
  cups_page_header2_t header;
  if (!raster || !cupsRasterReadHeader2(raster.get(), &header)) {
    LogPuts("DEBUG: First page header is null \n");
    return 0;
  }
  std::string firstProblem = RasterHeaderProblem(header, 1);
  if (!firstProblem.empty()) return Fail(1, "%s", firstProblem.c_str());

  WriteJobHeader(out_, job_.job_params, job_.job_params_size, job_.loggedJobParams);
  state_.blankWidth = static_cast<int32_t>(header.cupsBytesPerLine * 8);
  state_.blankHeight = static_cast<int32_t>(header.cupsHeight);

  SequencingSettings sequencing;
  sequencing.collate = job_.settings.collate;
  sequencing.duplexMode = job_.settings.duplexMode;
  sequencing.copies = job_.settings.copies;
  sequencing.printerCopies = job_.settings.requestedCopies;
  sequencer_ = std::make_unique<OutputSequencer>(out_, sequencing, std::move(job_.buffers));

  while (true) {
    if (out_.failed()) {
      return Fail(1, "the printer stopped taking data: %s", strerror(out_.error()));
    }
    if (state_.noMorePages != 0 || cancel_job != 0) break;
    int status = ConvertRasterPage(raster.get(), header);
    if (status != 0) return status;
  }
  sequencer_.reset();  // releases the pair buffers
  return Finish();
}

int PageLoop::ConvertRasterPage(cups_raster_t* raster, cups_page_header2_t& header) {
  LoopState& s = state_;
  const JobSettings& settings = job_.settings;

  LogPrintf("DEBUG: Page%d begin ,page_width = %u,page_height=%u, page_line_bytes=%u \n",
          s.rasterPageNo, header.cupsWidth, header.cupsHeight, header.cupsBytesPerLine);
  LogPrintf("INFO: Printing page %d\n", s.rasterPageNo);

  const size_t pixelBytes = static_cast<size_t>(header.cupsHeight) * header.cupsBytesPerLine;
  MallocPtr<unsigned char[]> pixels = AllocateZeroed(pixelBytes);
  if (!pixels) {
    return Fail(1, "page %d: cannot allocate %zu bytes for its raster", s.rasterPageNo, pixelBytes);
  }
  unsigned got = cupsRasterReadPixels(raster, pixels.get(), static_cast<unsigned>(pixelBytes));
  LogPrintf("DEBUG: Page %d read %d pixels\n", s.rasterPageNo, static_cast<int>(got));
  if (got < pixelBytes) s.cutPage = s.rasterPageNo;

  const std::string pbmPath = ScratchName("%s%d_%d_gs.pbm", s.rasterPageNo);
  if (!WritePbmFile(pbmPath.c_str(), static_cast<int>(header.cupsWidth),
                    static_cast<int>(header.cupsHeight), pixels.get(), pixelBytes)) {
    return Fail(kPageFailed, "page %d: cannot write %s: %s", s.rasterPageNo, pbmPath.c_str(),
                strerror(errno));
  }
  pixels.reset();

  s.copiesLeft = settings.copies;

  // Reading the next header now tells, before this page is encoded, whether
  // it is the job's last.  A stream that ended inside this page has none.
  if (s.cutPage != 0 || !cupsRasterReadHeader2(raster, &header)) {
    s.noMorePages = 1;
  } else {
    std::string problem = RasterHeaderProblem(header, s.rasterPageNo + 1);
    if (!problem.empty()) {
      s.noMorePages = 1;
      s.badHeader = problem;
    }
  }

  ++s.m_page;
  LogPrintf("DEBUG: page %d handleImg done,pring m_page=%d begin\n", s.rasterPageNo,
          s.m_page);

  std::string encodePath = ScratchName("%s%d_%d_gs.pbm", s.m_page);
  if (settings.Flag_Page_A5 == 1 && settings.feedEdge == 1) {
    // A5 fed by its short edge: the printer takes the page turned.
    std::string turned = ScratchName("%s%d_%d_gs_rotated.pbm", s.m_page);
    int turnedResult = rotatePbm(encodePath.c_str(), turned.c_str(), -90);
    LogPuts("DEBUG: A5L need rotate.[-90]");
    if (turnedResult != 0) {
      LogPuts("\n");
      return Fail(kPageFailed, "page %d: cannot turn %s", s.m_page, encodePath.c_str());
    }
    encodePath = turned;
  }

  EncodedPage encoded;
  int status = EncodeAndLoad(encodePath, "page", encoded);
  if (status != 0) return status;

  printer_header page;
  page.pageno = s.m_page;
  if (s.rasterPageNo == 1) page.firstpage = 1;
  if (cancel_job != 0) {
    s.noMorePages = 1;
    LogPrintf("DEBUG: cancel job, page %d handleImg done,pring m_page=%d is last page,\n",
            s.rasterPageNo, s.m_page);
  }
  page.lastpage = s.noMorePages;
  if (settings.duplexMode != 0 && (s.noMorePages != 0 || cancel_job != 0) && s.m_page % 2 != 0) {
    // The job ends on a front side: a blank back side becomes its last.
    page.lastpage = 0;
    s.needBlankPage = 1;
  }
  page.datasize = encoded.size;

  if (!sequencer_->EmitPageSide(page, encoded.data.get(), static_cast<size_t>(encoded.size),
                                s.m_page, s.noMorePages, s.copiesLeft)) {
    return Fail(1, "page %d cannot be held for its duplex pair", s.m_page);
  }
  LogPrintf("DEBUG: print m_page %d write jbg done\n", s.m_page);
  encoded.data.reset();

  ++s.rasterPageNo;
  if (s.needBlankPage != 0) {
    status = ProduceBlankPage();
    if (status != 0) return status;
  }
  sequencer_->PairStep(s.m_page, s.copiesLeft);
  return 0;
}

int PageLoop::ProduceBlankPage() {
  LoopState& s = state_;
  ++s.m_page;
  const std::string pbmPath = ScratchName("%s%d_%d_gs.pbm", s.m_page);
  if (access(pbmPath.c_str(), F_OK) != 0) {
    LogPrintf("DEBUG: extra file %s not exists, ignore, create a empty pbm file, cupsheight %d, "
            "width %d bytesperline %d\n",
            pbmPath.c_str(), s.blankHeight, s.blankWidth, s.blankWidth / 8);
    const size_t bytes = static_cast<size_t>(s.blankWidth / 8) * static_cast<size_t>(s.blankHeight);
    if (!WritePbmFile(pbmPath.c_str(), s.blankWidth, s.blankHeight, nullptr, bytes)) {
      return Fail(kPageFailed, "extra page %d: cannot write %s: %s", s.m_page, pbmPath.c_str(),
                  strerror(errno));
    }
  }

  EncodedPage encoded;
  int status = EncodeAndLoad(pbmPath, "extra page", encoded);
  if (status != 0) return status;

  printer_header blank;
  blank.pageno = s.m_page;
  blank.firstpage = 0;
  blank.lastpage = 1;
  LogPrintf("DEBUG: extra page %d lastpage to 1\n", s.m_page);
  blank.datasize = encoded.size;

  if (!sequencer_->EmitBlankPage(blank, encoded.data.get(), static_cast<size_t>(encoded.size),
                                 s.m_page)) {
    return Fail(1, "extra page %d cannot be held for its duplex pair", s.m_page);
  }
  LogPrintf("DEBUG: print extra m_page %d write jbg done\n", s.m_page);
  return 0;
}

int PageLoop::EncodeAndLoad(const std::string& pbmPath, const char* what, EncodedPage& page) {
  const int32_t m_page = state_.m_page;
  const std::string jbgPath = ScratchName("%s%d-%d.jbg", m_page);
  if (pbmtojbg(pbmPath.c_str(), jbgPath.c_str(), places_.runCommand) != 0) {
    return Fail(kPageFailed, "%s %d could not be encoded", what, m_page);
  }

  UniqueFile jbg = OpenFile(jbgPath.c_str(), "rb");
  if (!jbg) {
    return Fail(kPageFailed, "%s %d: cannot open %s: %s", what, m_page, jbgPath.c_str(),
                strerror(errno));
  }
  if (fseek(jbg.get(), 0, SEEK_END) != 0) {
    LogPrintf("DEBUG: %s %d fseek end failed\n", what, m_page);
    return Fail(kPageFailed, "%s %d: cannot seek in %s: %s", what, m_page, jbgPath.c_str(),
                strerror(errno));
  }
  long size = ftell(jbg.get());
  LogPrintf("DEBUG: %s %d jbg file size: %ld \n", what, m_page, size);
  if (size == -1) {
    LogPrintf("DEBUG: %s %d ftell failed \n", what, m_page);
    return Fail(kPageFailed, "%s %d: cannot tell the size of %s: %s", what, m_page, jbgPath.c_str(),
                strerror(errno));
  }
  if (fseek(jbg.get(), 0, SEEK_SET) != 0) {
    LogPrintf("DEBUG: %s %d fseek begin failed\n", what, m_page);
    return Fail(kPageFailed, "%s %d: cannot seek in %s: %s", what, m_page, jbgPath.c_str(),
                strerror(errno));
  }
  if (size > INT32_MAX) {
    return Fail(kPageFailed, "%s %d: encoded page of %ld bytes is too large", what, m_page, size);
  }

  page.size = static_cast<int32_t>(size);
  page.data = AllocateZeroed(static_cast<size_t>(size));
  if (!page.data) {
    return Fail(1, "%s %d: cannot allocate %ld bytes for the encoded page", what, m_page, size);
  }
  // A short read would send a record whose size promises bytes that are
  // not there.
  const size_t got = fread(page.data.get(), 1, static_cast<size_t>(size), jbg.get());
  if (got != static_cast<size_t>(size)) {
    return Fail(kPageFailed, "%s %d: read %zu of %ld bytes of %s", what, m_page, got, size,
                jbgPath.c_str());
  }
  return 0;
}

}  // namespace

int RunPageLoop(JobSetup& job, const PageLoopPlaces& places) {
  PageLoop loop(job, places);
  return loop.Run();
}
