// The conversion core: one job, its raster pages pushed in, the printer's
// stream out.  A front end begins the job with what setup made, announces
// each page with its raster header, gives it the page's rows, and ends the
// job.  Announcing a page (or ending the job) tells the core that the page
// in hand is not (or is) the job's last, so that the core can finish it:
// write it as a PBM file into the work space, turn it when the job is A5
// fed by its short edge, encode it, and hand it to the output sequencing.
//
// Every call returns false once the job has ended (finished, cancelled or
// failed); exitStatus() then tells how, as the filter's exit status: 0 for
// a normal end, a cancellation or an empty job, 1 for a job that could not
// be printed whole, -1 (255) when a page's files cannot be made, encoded or
// read back, or the encoder's output is not the page's JBIG file.  The
// reason of every failure is logged with "ERROR: " and kept (error()).
#ifndef QUILLFERN_CORE_CONVERSION_JOB_H_
#define QUILLFERN_CORE_CONVERSION_JOB_H_

#include <cups/raster.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/owners.h"
#include "core/job_setup.h"
#include "core/output_sequencer.h"
#include "core/page_encoder.h"
#include "core/stream_writer.h"
#include "core/work_space.h"

namespace quillfern {

constexpr int kPageFailed = -1;  // seen by CUPS as exit status 255

// How a job's error begins when the printer stopped taking its stream
// (followed by ": " and the system's reason).
constexpr char kPrinterStoppedTakingData[] = "the printer stopped taking data";

// The places and services a job works with, all owned by the front end.
struct JobServices {
  const WorkSpace* work = nullptr;
  PageEncoder* encoder = nullptr;
  PrinterOutput* output = nullptr;
  // Asked at the three points a cancel is honoured: before a page starts,
  // once a page is encoded (it becomes the last), and for the blank back side.
  std::function<bool()> cancelled = [] { return false; };
};

class ConversionJob {
 public:
  // `setup` must outlive the job; its pair buffers move into the job.
  ConversionJob(JobSetup& setup, const JobServices& services);
  ~ConversionJob();
  ConversionJob(const ConversionJob&) = delete;
  ConversionJob& operator=(const ConversionJob&) = delete;

  // Announces the next page.  The first one opens the print stream with the
  // Job header; a later one first finishes the page in hand as not the last.
  bool StartPage(const cups_page_header2_t& header);

  // The page's rows, one at a time (a push front end) ...
  bool WriteRow(const unsigned char* row, size_t size);
  // ... or all at once: read `PageBytes()` bytes into `PageBuffer()` and
  // say how many arrived (a pull front end).
  unsigned char* PageBuffer() { return pixels_.get(); }
  size_t PageBytes() const { return pixelBytes_; }
  bool PageFilled(size_t bytesRead);
  // The raster ended inside the page in hand: there is no next page.
  bool pageCut() const { return cutPage_ != 0; }

  // Finishes the page in hand as the last and ends the job; returns the
  // exit status.
  int EndJob();

  bool ended() const { return ended_; }
  int exitStatus() const { return status_; }
  // Why the job failed (the text of its "ERROR: " line), or empty.
  const std::string& error() const { return error_; }
  // How many of the raster's pages were sent to the printer (each once,
  // whatever the copies; a blank back side is not one of them).
  int pagesSent() const { return pagesSent_; }

 private:
  bool OpenStream(const cups_page_header2_t& header);
  bool BeginPage(const cups_page_header2_t& header);
  bool CompletePageData();
  bool FinishPage(bool last);
  bool TurnIfNeeded(std::string* encodePath);
  bool AddBlankBackSide();
  bool EncodeAndLoad(const std::string& pbmPath, const char* what, int32_t side,
                     MallocPtr<unsigned char[]>* data, size_t* size);
  bool ReadEncoded(const std::string& jbgPath, const char* what, int32_t side,
                   MallocPtr<unsigned char[]>* data, size_t* size);
  bool CheckEncoded(const std::string& pbmPath, const char* what, int32_t side,
                    const unsigned char* data, size_t size);
  void RemovePageFiles(int32_t side);
  bool GoOnAfterPage();
  bool Finish();
  bool Fail(int status, const char* format, ...) __attribute__((format(printf, 3, 4)));
  std::string ScratchName(const char* format, int32_t page) const;

  JobSetup& setup_;
  JobServices services_;
  std::unique_ptr<OutputSequencer> sequencer_;
  bool ended_ = false;
  int status_ = 0;
  std::string error_;
  int pagesSent_ = 0;
  // The page in hand: its number, pixels and how many of them arrived.
  int32_t rasterPageNo_ = 0;
  bool pageDataComplete_ = false;
  MallocPtr<unsigned char[]> pixels_;
  size_t pixelBytes_ = 0;
  size_t bytesArrived_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  bool noMorePages_ = false;
  // The blank back side has the width (whole bytes) and height of page 1.
  int32_t blankWidth_ = 0;
  int32_t blankHeight_ = 0;
  // Reported once the pages in hand are finished: a read-ahead header that
  // could not be used, or the page the raster ended inside.
  std::string badHeader_;
  int32_t cutPage_ = 0;
};

// Why a raster page header cannot be converted (an "ERROR: " text without
// its prefix), or empty when it can: one bit per pixel, rows of whole bytes
// without padding, a width and height that fit the 32-bit page files, and a
// page of at most 2^31 - 1 bytes.
std::string RasterHeaderProblem(const cups_page_header2_t& header, int32_t pageNo);

}  // namespace quillfern

#endif  // QUILLFERN_CORE_CONVERSION_JOB_H_
