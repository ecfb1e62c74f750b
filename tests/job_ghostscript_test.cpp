#include "app/job_ghostscript.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

std::string Describe(const std::vector<GhostscriptRun>& runs) {
  std::string text;
  for (const GhostscriptRun& run : runs) {
    if (!text.empty()) text += " | ";
    text += run.pageList + (run.ownSize ? " own"
                                        : " fit " + std::to_string(run.media.width) + "x" +
                                              std::to_string(run.media.length));
  }
  return text;
}

// A document's pages are laid by print-scaling page by page, neighbours laid
// alike in one run, each run naming the document's own page numbers.
TEST(JobGhostscriptTest, PagesAreLaidByPrintScalingInRunsOfTheirOwnPages) {
  const PointSize a4 = {595, 842};
  const std::vector<PointSize> pages = {
      {595, 842}, {420, 595}, {842, 1191}, {842, 1191}, {596, 843}};
  const PageSelection every;
  const PageSelection some({{2, 4}, {9, 10}});
  const struct {
    PdfScaling scaling;
    const PageSelection* selection;
    const char* runs;
  } kCases[] = {
      {PdfScaling::kFitIfLarger, &every, "1-2 own | 3-4 fit 595x842 | 5 own"},
      {PdfScaling::kFitIfLarger, &some, "2-3 own | 4,9 fit 595x842 | 10 own"},
      {PdfScaling::kNone, &every, "1-5 own"},
      {PdfScaling::kFit, &every, "1-5 fit 595x842"},
      // Fill: the sheet grown to the page's shape, so that the page covers it.
      {PdfScaling::kFill, &every, "1 fit 595x842 | 2 fit 595x843 | 3-5 fit 596x842"},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(Describe(PlanRuns(test.scaling, pages, a4, *test.selection)), test.runs);
  }
}

}  // namespace
