#include "app/job_options.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

// An IPP job's choices become the options text CUPS would hand the filter,
// so that the filter's setup makes the same job_params from them.
TEST(JobOptionsTest, IppChoicesBecomeTheFilterOptionsText) {
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
  EXPECT_EQ(FilterOptionsText(choices),
            "PageSize=BANK2 InputSlot=ManualTray MediaType=Thick Resolution=1200dpi "
            "Duplex=DuplexTumble noCollate FeedEdge=1 job-uuid=urn:uuid:1 "
            "job-originating-host-name= date-time-at-creation= date-time-at-processing= "
            "time-at-creation=100 time-at-processing=101");
  EXPECT_EQ(FilterArguments(choices),
            (std::vector<std::string>{"quillfern-printer-app", "12", "ann", "report.pdf", "3",
                                      FilterOptionsText(choices)}));

  // What the printer does not know is left to the PPD's defaults.
  IppJobChoices plain;
  plain.media = "na_ledger_11x17in";
  plain.sides = "one-sided";
  const std::string text = FilterOptionsText(plain);
  EXPECT_EQ(text.rfind("Resolution=600dpi Duplex=None Collate FeedEdge=0 job-uuid=", 0), 0u)
      << text;
  for (const NamedChoice& size : kMediaSizes) {
    plain.media = size.pwg;
    EXPECT_NE(FilterOptionsText(plain).find(std::string("PageSize=") + size.ppd + " "),
              std::string::npos);
  }
}

}  // namespace
