// The printer's test page: one PDF page, on the printer's default paper,
// with the printer's name and settings and a frame where the engine's
// unmarked border begins.  Printed from the "Print Test Page" button of the
// printer's web page, through the same path as any PDF job.
#ifndef QUILLFERN_APP_DRIVER_TEST_PAGE_H_
#define QUILLFERN_APP_DRIVER_TEST_PAGE_H_

#include <pappl/pappl.h>

#include <string>
#include <utility>
#include <vector>

namespace quillfern {

struct TestPageFacts {
  double widthPoints = 0;   // the sheet, 72 to the inch
  double lengthPoints = 0;
  double borderPoints = 0;  // the unmarked border on every edge
  std::vector<std::pair<std::string, std::string>> lines;  // label, value
};

// The PDF text of the page.  Characters a PDF string with the standard
// font cannot show are printed as "?".
std::string TestPageDocument(const TestPageFacts& facts);

// PAPPL's test-page callback: writes the page for `printer` to a new 0600
// file of its own in the spool directory and returns its name in `buffer`,
// or null when it cannot be written.  PAPPL 1.3.1 keeps the name as the
// job's document, reads it when the job prints and removes it when the job
// ends (or is cancelled or deleted), as it does any document in the spool
// directory.

const char* MakeTestPage(pappl_printer_t* printer, char* buffer, size_t size);

}  // namespace quillfern

#endif  // QUILLFERN_APP_DRIVER_TEST_PAGE_H_
