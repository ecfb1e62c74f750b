// Print streams made for tests the way the filter makes them: every page
// encoded by the real pbmtojbg with the filter's options, written behind a
// record header with the filter's stream writers.
#ifndef QUILLFERN_TESTS_STREAM_MAKER_H_
#define QUILLFERN_TESTS_STREAM_MAKER_H_

#include <string>
#include <vector>

#include "tests/raster_pages.h"
#include "tests/test_support.h"

namespace testing_support {

struct MadeStream {
  std::string bytes;
  std::vector<size_t> recordOffsets;  // where each record's header starts
};

// A one-sided collated job of `pages` with `jobParams` as its text; the
// scratch files go into `dir`.
MadeStream MakePrintStream(const std::string& jobParams, const std::vector<Bitmap>& pages,
                           const TempDir& dir);

}  // namespace testing_support

#endif  // QUILLFERN_TESTS_STREAM_MAKER_H_
