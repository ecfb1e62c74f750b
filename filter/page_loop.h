// The page loop: from the CUPS raster stream on standard input to the print
// stream on standard output, one page at a time.  Each page is written as a
// PBM file into the work directory, turned when the job is A5 fed by its
// short edge, encoded by pbmtojbg, read back, and handed to the output
// sequencing.
#ifndef QUILLFERN_FILTER_PAGE_LOOP_H_
#define QUILLFERN_FILTER_PAGE_LOOP_H_

#include <cups/raster.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "filter/job_setup.h"
#include "filter/work_dir.h"
#include "image/encoder.h"

// Where the page loop reads, writes and keeps its files.  The filter uses
// the defaults; tests point them elsewhere.
struct PageLoopPlaces {
  WorkPlaces work;                     // the work directory, its lock, the fallback
  int rasterFd = 0;                    // the CUPS raster stream
  FILE* output = stdout;               // the printer
  CommandRunner runCommand = nullptr;  // system(3) unless a test says otherwise
};

// Runs the job to its end and returns main's exit status: 0 for a normal
// end, a cancellation or an empty raster stream; 1 for an unusable work
// directory, an unusable raster header, memory that cannot be had, or a
// printer that stopped reading; -1 when a page's files cannot be made,
// encoded or read back.
int RunPageLoop(JobSetup& job, const PageLoopPlaces& places);

// Why a raster page header cannot be converted (an "ERROR: " text without
// its prefix), or empty when it can: one bit per pixel, rows of whole bytes
// without padding, a width and height that fit the 32-bit page files, and a
// page of at most 2^31 - 1 bytes.
std::string RasterHeaderProblem(const cups_page_header2_t& header, int32_t pageNo);

#endif  // QUILLFERN_FILTER_PAGE_LOOP_H_
