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
  unsigned repeat = 1;               // each received row is printed this many times
  bool rowsAsReceived = false;       // one-bit black rows, printed as they come
  // A page laid on a sheet of another size (PlaceOnSheet): the received
  // page's top-left pixel lands at (xOffset, yOffset) on the printed page,
  // which may be left of or above it (the page cropped).
  bool placed = false;
  unsigned receivedWidth = 0;
  long long xOffset = 0;
  long long yOffset = 0;
  std::string problem;  // why the page cannot be printed, or empty
};

// The plan for a received page on a printer with these resolutions (dots
// per inch).  A page whose resolution down is its resolution across divided
// by a whole number (600x300, which CUPS sends for draft raster) has its
// rows repeated; any other resolution the printer does not have is a
// problem, as is colour or a depth other than 1 or 8 bits.
PagePlan PlanPage(const cups_page_header2_t& received, const std::vector<int>& resolutions);

// Why a client's raster page cannot print on the job's paper, `paper`
// (`width` x `length` hundredths of a millimetre), or empty: a page of
// another size (beyond a millimetre and a pixel) would come out wrong.
std::string SizeProblem(const cups_page_header2_t& page, const char* paper, int width, int length);

// Lays a planned one-bit page (rowsAsReceived) centred on a sheet of
// `width` x `height` pixels at the page's resolution: the printed page is
// the sheet, and what falls outside it is cropped.
void PlaceOnSheet(unsigned width, unsigned height, PagePlan* plan);

// Writes the received one-bit `row` of `width` pixels into `out`, a row of
// `outWidth` pixels, shifted right by `xOffset` (left when negative); the
// rest of `out` is white.
void PlaceRow(const unsigned char* row, unsigned width, long long xOffset, unsigned char* out,
              unsigned outWidth);

// Writes one received row as the printer's row (plan.printed's bytes per
// line), gray turned to black and white with `dither` (the row of PAPPL's
// 16x16 matrix for the printed row).
void PrinterRow(const cups_page_header2_t& received, const unsigned char* row,
                const unsigned char dither[16], unsigned char* out);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_PAGE_H_
