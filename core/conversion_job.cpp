#include "core/conversion_job.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/log.h"
#include "image/encoder.h"
#include "image/pbm.h"
#include "image/rotate.h"

namespace quillfern {

namespace {

constexpr size_t kNameSize = 512;

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

ConversionJob::ConversionJob(JobSetup& setup, const JobServices& services)
    : setup_(setup), services_(services) {}

ConversionJob::~ConversionJob() = default;

// Ends the job with `status` and an "ERROR: " line saying why.
bool ConversionJob::Fail(int status, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = FormatText(format, args);
  va_end(args);
  LogPrintf("ERROR: %s\n", text.c_str());
  error_ = text;
  ended_ = true;
  status_ = status;
  return false;
}

std::string ConversionJob::ScratchName(const char* format, int32_t page) const {
  char name[kNameSize];
  snprintf(name, sizeof name, format, services_.work->directory().c_str(), setup_.settings.jobId,
           page);
  return name;
}

bool ConversionJob::StartPage(const cups_page_header2_t& header) {
  if (ended_) return false;
  if (rasterPageNo_ == 0) {
    if (!OpenStream(header)) return false;
  } else {
    // The page in hand is the last when the raster ended inside it or when
    // the next page cannot be converted.
    if (!CompletePageData()) return false;
    if (!pageCut()) badHeader_ = RasterHeaderProblem(header, rasterPageNo_ + 1);
    if (!FinishPage(pageCut() || !badHeader_.empty())) return false;
  }
  if (!GoOnAfterPage()) return false;
  return BeginPage(header);
}

// The first page: the print stream opens with the Job header, and the
// output sequencing takes over the pair buffers.
bool ConversionJob::OpenStream(const cups_page_header2_t& header) {
  const std::string problem = RasterHeaderProblem(header, 1);
  if (!problem.empty()) return Fail(1, "%s", problem.c_str());
  WriteJobHeader(*services_.output, setup_.job_params, setup_.job_params_size,
                 setup_.loggedJobParams);
  blankWidth_ = static_cast<int32_t>(header.cupsBytesPerLine * 8);
  blankHeight_ = static_cast<int32_t>(header.cupsHeight);

  SequencingSettings sequencing;
  sequencing.collate = setup_.settings.collate;
  sequencing.duplexMode = setup_.settings.duplexMode;
  sequencing.copies = setup_.settings.copies;
  sequencing.printerCopies = setup_.settings.requestedCopies;
  sequencer_ =
      std::make_unique<OutputSequencer>(*services_.output, sequencing, std::move(setup_.buffers));
  return true;
}

// Where the filter's loop checks, between pages, that the printer still
// takes data and the job goes on.
bool ConversionJob::GoOnAfterPage() {
  if (services_.output->failed()) {
    return Fail(1, "%s: %s", kPrinterStoppedTakingData, strerror(services_.output->error()));
  }
  if (noMorePages_ || services_.cancelled()) return Finish();
  return true;
}

bool ConversionJob::BeginPage(const cups_page_header2_t& header) {
  ++rasterPageNo_;
  LogPrintf("DEBUG: Page%d begin ,page_width = %u,page_height=%u, page_line_bytes=%u \n",
            rasterPageNo_, header.cupsWidth, header.cupsHeight, header.cupsBytesPerLine);
  LogPrintf("INFO: Printing page %d\n", rasterPageNo_);
  width_ = header.cupsWidth;
  height_ = header.cupsHeight;
  pixelBytes_ = static_cast<size_t>(header.cupsHeight) * header.cupsBytesPerLine;
  pixels_ = AllocateZeroed(pixelBytes_);
  if (!pixels_) {
    return Fail(1, "page %d: cannot allocate %zu bytes for its raster", rasterPageNo_, pixelBytes_);
  }
  bytesArrived_ = 0;
  pageDataComplete_ = false;
  return true;
}

bool ConversionJob::WriteRow(const unsigned char* row, size_t size) {
  if (ended_ || pageDataComplete_ || !pixels_) return !ended_;
  const size_t rowBytes = height_ > 0 ? pixelBytes_ / height_ : 0;
  if (bytesArrived_ + rowBytes > pixelBytes_) return true;  // rows past the page's height
  memcpy(pixels_.get() + bytesArrived_, row, size < rowBytes ? size : rowBytes);
  bytesArrived_ += rowBytes;
  return true;
}

bool ConversionJob::PageFilled(size_t bytesRead) {
  if (ended_) return false;
  bytesArrived_ = bytesRead;
  return CompletePageData();
}

// All of the page's pixels that will come are in: the page is written as a
// PBM file (what did not arrive stays white).
bool ConversionJob::CompletePageData() {
  if (pageDataComplete_) return true;
  pageDataComplete_ = true;
  LogPrintf("DEBUG: Page %d read %d pixels\n", rasterPageNo_, static_cast<int>(bytesArrived_));
  if (bytesArrived_ < pixelBytes_) cutPage_ = rasterPageNo_;
  const std::string pbmPath = ScratchName("%s%d_%d_gs.pbm", rasterPageNo_);
  if (!WritePbmFile(pbmPath.c_str(), static_cast<int>(width_), static_cast<int>(height_),
                    pixels_.get(), pixelBytes_)) {
    return Fail(kPageFailed, "page %d: cannot write %s: %s", rasterPageNo_, pbmPath.c_str(),
                strerror(errno));
  }
  pixels_.reset();
  return true;
}

// Turns, encodes and hands over the page in hand; `last` when the job ends
// with it (a cancel makes it the last too).
bool ConversionJob::FinishPage(bool last) {
  noMorePages_ = last;
  const int32_t side = sequencer_->sidesAdded() + 1;
  LogPrintf("DEBUG: page %d handleImg done,pring m_page=%d begin\n", rasterPageNo_, side);
  std::string encodePath = ScratchName("%s%d_%d_gs.pbm", side);
  if (!TurnIfNeeded(&encodePath)) return false;

  MallocPtr<unsigned char[]> data;
  size_t size = 0;
  if (!EncodeAndLoad(encodePath, "page", side, &data, &size)) return false;
  if (services_.cancelled()) {
    noMorePages_ = true;
    LogPrintf("DEBUG: cancel job, page %d handleImg done,pring m_page=%d is last page,\n",
              rasterPageNo_, side);
  }
  if (!sequencer_->AddSide({data.get(), size}, noMorePages_, services_.cancelled())) {
    return Fail(1, "page %d cannot be held for its duplex pair", side);
  }
  data.reset();
  RemovePageFiles(side);
  ++pagesSent_;
  if (sequencer_->blankBackSideNeeded()) return AddBlankBackSide();
  return true;
}

// A5 fed by its short edge: the printer takes the page turned.
bool ConversionJob::TurnIfNeeded(std::string* encodePath) {
  const JobSettings& settings = setup_.settings;
  if (settings.Flag_Page_A5 != 1 || settings.feedEdge != 1) return true;
  const int32_t side = sequencer_->sidesAdded() + 1;
  const std::string turned = ScratchName("%s%d_%d_gs_rotated.pbm", side);
  const int turnedResult = rotatePbm(encodePath->c_str(), turned.c_str(), -90);
  LogPuts("DEBUG: A5L need rotate.[-90]");
  if (turnedResult != 0) {
    LogPuts("\n");
    return Fail(kPageFailed, "page %d: cannot turn %s", side, encodePath->c_str());
  }
  *encodePath = turned;
  return true;
}

// The all-white back side of a duplex job that ended on a front side, the
// size of the first page.
bool ConversionJob::AddBlankBackSide() {
  const int32_t side = sequencer_->sidesAdded() + 1;
  const std::string pbmPath = ScratchName("%s%d_%d_gs.pbm", side);
  if (access(pbmPath.c_str(), F_OK) != 0) {
    LogPrintf(
        "DEBUG: extra file %s not exists, ignore, create a empty pbm file, cupsheight %d, "
        "width %d bytesperline %d\n",
        pbmPath.c_str(), blankHeight_, blankWidth_, blankWidth_ / 8);
    const size_t bytes = static_cast<size_t>(blankWidth_ / 8) * static_cast<size_t>(blankHeight_);
    if (!WritePbmFile(pbmPath.c_str(), blankWidth_, blankHeight_, nullptr, bytes)) {
      return Fail(kPageFailed, "extra page %d: cannot write %s: %s", side, pbmPath.c_str(),
                  strerror(errno));
    }
  }
  MallocPtr<unsigned char[]> data;
  size_t size = 0;
  if (!EncodeAndLoad(pbmPath, "extra page", side, &data, &size)) return false;
  if (!sequencer_->AddBlankBackSide({data.get(), size})) {
    return Fail(1, "extra page %d cannot be held for its duplex pair", side);
  }
  RemovePageFiles(side);
  return true;
}

// Once a side is with the sequencer (which keeps a held side of a pair in
// memory), its files are needed no more, unless the work space keeps them.
void ConversionJob::RemovePageFiles(int32_t side) {
  if (services_.work->keepsPageFiles()) return;
  for (const char* format : {"%s%d_%d_gs.pbm", "%s%d_%d_gs_rotated.pbm", "%s%d-%d.jbg"}) {
    unlink(ScratchName(format, side).c_str());
  }
}

// Encodes `pbmPath` into the side's .jbg file and loads it; `what` is
// "page" or "extra page" in the log texts.
bool ConversionJob::EncodeAndLoad(const std::string& pbmPath, const char* what, int32_t side,
                                  MallocPtr<unsigned char[]>* data, size_t* size) {
  const std::string jbgPath = ScratchName("%s%d-%d.jbg", side);
  if (services_.encoder->Encode(pbmPath, jbgPath) != 0) {
    return Fail(kPageFailed, "%s %d could not be encoded", what, side);
  }
  return ReadEncoded(jbgPath, what, side, data, size) &&
         CheckEncoded(pbmPath, what, side, data->get(), *size);
}

// No record goes to the printer unless the encoder's output starts with the
// JBIG header of the page that was encoded: an encoder that ended well but
// left an empty, cut or foreign file fails the job as a failed encoder does.
bool ConversionJob::CheckEncoded(const std::string& pbmPath, const char* what, int32_t side,
                                 const unsigned char* data, size_t size) {
  PbmHeader pbm;
  {
    UniqueFile file = OpenFile(pbmPath.c_str(), "rb");
    if (file) pbm = ReadPbmHeader(file.get());
  }
  if (!pbm.numbersScanned) {
    return Fail(kPageFailed, "%s %d: cannot read the size of %s", what, side, pbmPath.c_str());
  }
  const std::string problem = EncodedPageProblem(data, size, pbm.width, pbm.height);
  if (problem.empty()) return true;
  return Fail(kPageFailed, "%s %d: the encoder's output is not the page's JBIG file: %s", what,
              side, problem.c_str());
}

// Reads the encoded file back whole: a record must never promise bytes
// that are not there.
bool ConversionJob::ReadEncoded(const std::string& jbgPath, const char* what, int32_t side,
                                MallocPtr<unsigned char[]>* data, size_t* size) {
  UniqueFile jbg = OpenFile(jbgPath.c_str(), "rb");
  const char* path = jbgPath.c_str();
  if (!jbg)
    return Fail(kPageFailed, "%s %d: cannot open %s: %s", what, side, path, strerror(errno));
  if (fseek(jbg.get(), 0, SEEK_END) != 0) {
    LogPrintf("DEBUG: %s %d fseek end failed\n", what, side);
    return Fail(kPageFailed, "%s %d: cannot seek in %s: %s", what, side, path, strerror(errno));
  }
  const long length = ftell(jbg.get());
  LogPrintf("DEBUG: %s %d jbg file size: %ld \n", what, side, length);
  if (length == -1) {
    LogPrintf("DEBUG: %s %d ftell failed \n", what, side);
    return Fail(kPageFailed, "%s %d: cannot tell the size of %s: %s", what, side, path,
                strerror(errno));
  }
  if (fseek(jbg.get(), 0, SEEK_SET) != 0) {
    LogPrintf("DEBUG: %s %d fseek begin failed\n", what, side);
    return Fail(kPageFailed, "%s %d: cannot seek in %s: %s", what, side, path, strerror(errno));
  }
  if (length > INT32_MAX) {
    return Fail(kPageFailed, "%s %d: encoded page of %ld bytes is too large", what, side, length);
  }
  *size = static_cast<size_t>(length);
  *data = AllocateZeroed(*size);
  if (!*data) {
    return Fail(1, "%s %d: cannot allocate %ld bytes for the encoded page", what, side, length);
  }
  const size_t got = fread(data->get(), 1, *size, jbg.get());
  if (got != *size) {
    return Fail(kPageFailed, "%s %d: read %zu of %ld bytes of %s", what, side, got, length, path);
  }
  return true;
}

// The end of a job that ran its course: every byte handed to the printer,
// and anything that kept the job from being complete reported.
bool ConversionJob::Finish() {
  sequencer_.reset();  // releases the pair buffers
  ended_ = true;
  status_ = 0;
  if (!services_.output->Flush()) {
    return Fail(1, "%s: %s", kPrinterStoppedTakingData, strerror(services_.output->error()));
  }
  if (cutPage_ != 0) return Fail(1, "the raster stream ended inside page %d", cutPage_);
  if (!badHeader_.empty()) return Fail(1, "%s", badHeader_.c_str());
  return false;
}

int ConversionJob::EndJob() {
  if (ended_) return status_;
  if (rasterPageNo_ == 0) {
    ended_ = true;  // an empty job: nothing was written
    return status_;
  }
  if (CompletePageData() && FinishPage(true)) GoOnAfterPage();
  return status_;
}

}  // namespace quillfern
