#include "app/job_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

// An IPP job's choices become the options text CUPS would hand the filter,
// so that the filter's setup makes the same job_params from them.
TEST(JobSettingsTest, IppChoicesBecomeTheFilterOptionsText) {
  IppJobChoices choices;
  choices.jobId = 12;
  choices.user = "ann";
  choices.jobName = "report.pdf";
  choices.copies = 3;
  choices.media = "custom_bank2_210x140mm";
  choices.mediaSource = "manual";
  choices.mediaType = "stationery-heavyweight";
  choices.resolution = 1200;
  choices.sides = "two-sided-short-edge";
  choices.collate = false;
  choices.feedEdge = "short-edge";
  choices.uuid = "urn:uuid:1";
  choices.createdAt = 100;
  choices.processedAt = 101;
  const PrinterChoices& printer = BuiltInChoices();
  EXPECT_EQ(FilterOptionsText(choices, printer),
            "PageSize=BANK2 InputSlot=ManualTray MediaType=Thick Resolution=1200dpi "
            "Duplex=DuplexTumble noCollate FeedEdge=1 job-uuid=urn:uuid:1 "
            "job-originating-host-name= date-time-at-creation= date-time-at-processing= "
            "time-at-creation=100 time-at-processing=101");
  EXPECT_EQ(FilterArguments(choices, printer),
            (std::vector<std::string>{"quillfern-printer-app", "12", "ann", "report.pdf", "3",
                                      FilterOptionsText(choices, printer)}));

  // What the printer does not know is left to the PPD's defaults.
  IppJobChoices plain;
  plain.media = "na_ledger_11x17in";
  plain.sides = "one-sided";
  const std::string text = FilterOptionsText(plain, printer);
  EXPECT_EQ(text.rfind("Resolution=600dpi Duplex=None Collate FeedEdge=0 job-uuid=", 0), 0u)
      << text;
}

// The printer's choices come from the built-in PPD under the IPP names
// printers saved by earlier versions use, and a job's size is found by its
// name or, when CUPS names it otherwise, by its dimensions.
TEST(JobSettingsTest, SizesReachThePrinterUnderThePpdNameByNameOrDimensions) {
  const PrinterChoices& printer = BuiltInChoices();
  std::vector<std::string> names;
  for (const PrinterChoice& size : printer.sizes) names.push_back(size.pwg + "=" + size.ppd);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "iso_a4_210x297mm=A4", "iso_a5_148x210mm=A5", "jis_b5_182x257mm=B5",
                       "om_16k_195x270mm=16k", "na_letter_8.5x11in=Letter",
                       "na_invoice_5.5x8.5in=Statement", "na_legal_8.5x14in=Legal",
                       "na_executive_7.25x10.5in=Executive", "iso_a6_105x148mm=A6",
                       "jis_b6_128x182mm=B6", "iso_b5_176x250mm=B5ISO",
                       "custom_bank1_210x99mm=BANK1", "custom_bank2_210x140mm=BANK2"}));
  EXPECT_EQ(printer.defaultSize, "iso_a4_210x297mm");
  EXPECT_EQ(printer.resolutions, (std::vector<int>{600, 1200}));
  EXPECT_EQ(printer.defaultResolution, 600);
  EXPECT_EQ(ChoiceFor(printer.sources, "manual")->ppd, "ManualTray");
  EXPECT_EQ(ChoiceFor(printer.types, "stationery-lightweight")->ppd, "Thin");

  const struct {
    const char* media;
    const char* pageSize;  // null: the printer has no such size
  } kCases[] = {
      {"custom_195x270mm_195x270mm", "16k"},  // how CUPS names 16K
      {"custom_210x99mm_210x99mm", "BANK1"},
      {"custom_209.9x140.05mm_209.9x140.05mm", "BANK2"},
      {"na_letter_8.5x11in", "Letter"},
      {"custom_216x279mm_216x279mm", "Letter"},  // within a millimetre
      {"iso_a4_210x297mm", "A4"},
      {"custom_210x299mm_210x299mm", nullptr},  // two millimetres off A4
      {"na_ledger_11x17in", nullptr},
      {"iso_a4_297x210mm", nullptr},  // landscape is not another size
      {"not a size", nullptr},
  };
  for (const auto& test : kCases) {
    const PrinterChoice* size = SizeFor(printer, test.media);
    EXPECT_EQ(size != nullptr ? size->ppd : "none",
              test.pageSize != nullptr ? test.pageSize : "none")
        << test.media;
  }
}

// page-ranges: the pages printed, in order, and the text Ghostscript takes.
TEST(JobSettingsTest, PageRangesSelectPagesInOrder) {
  const struct {
    std::vector<std::pair<int, int>> ranges;
    const char* text;
    std::vector<int> printed;  // the first pages printed, in order
  } kCases[] = {
      {{}, "", {1, 2, 3}},
      {{{2, 3}}, "2-3", {2, 3, 2147483647}},
      {{{7, 7}, {2, 3}}, "2-3,7", {2, 3, 7}},
      {{{2, 4}, {3, 6}, {7, 8}}, "2-8", {2, 3, 4}},  // overlapping and touching
      {{{5, 2147483647}}, "5-", {5, 6, 7}},
  };
  for (const auto& test : kCases) {
    const PageSelection pages(test.ranges);
    EXPECT_EQ(pages.Text(), test.text);
    for (size_t n = 0; n < test.printed.size(); ++n) {
      EXPECT_EQ(pages.NthPage(static_cast<int>(n) + 1), test.printed[n]) << test.text << " #" << n;
    }
    EXPECT_EQ(pages.Includes(1), test.ranges.empty()) << test.text;
    EXPECT_TRUE(pages.Includes(test.printed[0])) << test.text;
  }
}

}  // namespace
