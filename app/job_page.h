// How a page the application receives becomes the printer's page.  Pages
// arrive as PAPPL reads them from PWG and Apple raster (the client's own
// page header: eight-bit gray, at the resolution the client rendered), as
// PAPPL renders JPEG and PNG, and as Ghostscript renders PDF (one bit).
// The printer takes one bit a pixel, a set bit black, at one of its
// resolutions, the same across and down.
#ifndef QUILLFERN_APP_JOB_PAGE_H_
#define QUILLFERN_APP_JOB_PAGE_H_

#include <cups/raster.h>

#include <string>
#include <vector>

namespace quillfern {

struct PagePlan {
  cups_page_header2_t printed = {};  // the page the conversion core is given
  unsigned repeat = 1;  // each received row is printed this many times
  bool rowsAsReceived = false;  // one-bit black rows, printed as they come
  std::string problem;  // why the page cannot be printed, or empty
};

// The plan for a received page on a printer with these resolutions (dots
// per inch).  A page whose resolution down is its resolution across divided
// by a whole number (600x300, which CUPS sends for draft raster) has its
// rows repeated; any other resolution the printer does not have is a
// problem, as is colour or a depth other than 1 or 8 bits.
PagePlan PlanPage(const cups_page_header2_t& received, const std::vector<int>& resolutions);

// Writes one received row as the printer's row (plan.printed's bytes per
// line), gray turned to black and white with `dither` (the row of PAPPL's
// 16x16 matrix for the printed row).
void PrinterRow(const cups_page_header2_t& received, const unsigned char* row,
                const unsigned char dither[16], unsigned char* out);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_PAGE_H_
