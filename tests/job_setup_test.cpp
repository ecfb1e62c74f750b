#include "core/job_setup.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testing_support::MakeTestPpd;
using testing_support::TempDir;
using testing_support::WriteFile;

struct SetupRun {
  int status = 0;
  std::unique_ptr<JobSetup> job = std::make_unique<JobSetup>();
  std::string log;

  std::string params() const { return job->job_params; }
  bool Has(const std::string& text) const { return params().find(text) != std::string::npos; }
};

class JobSetupTest : public ::testing::Test {
 protected:
  // Runs setup with the given options text and PPD defaults.
  SetupRun Run(const std::string& options, const std::map<std::string, std::string>& defaults = {},
               const std::string& copies = "1", const std::string& title = "doc.txt") {
    std::string ppd = MakeTestPpd(dir_, defaults);
    std::vector<std::string> args = {"rastertoquillfern", "42", "bob", title, copies, options};
    return RunArgs(args, ppd.c_str());
  }

  SetupRun RunArgs(std::vector<std::string> args, const char* ppd) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    SetupSources sources;
    sources.ppdPath = ppd;
    std::string auth = dir_.File("auth_config");
    sources.authPath = auth.c_str();
    SetupRun run;
    CaptureStderr();
    run.status = SetupJob(static_cast<int>(args.size()), argv.data(), sources, *run.job);
    run.log = GetCapturedStderr();
    return run;
  }

  // True when every line occurs in the log, in this order.
  static ::testing::AssertionResult InOrder(const std::string& log,
                                            const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
      size_t found = log.find(line, at);
      if (found == std::string::npos) {
        return ::testing::AssertionFailure() << "missing or out of order: " << line << "\nlog:\n"
                                             << log;
      }
      at = found + line.size();
    }
    return ::testing::AssertionSuccess();
  }

  TempDir dir_;
};

TEST_F(JobSetupTest, FullSetupLogsEveryStepInOrder) {
  SetupRun run = Run("PageSize=A5 noCollate", {}, "2", "/home/a/report.pdf draft");
  ASSERT_EQ(run.status, kSetupDone);
  EXPECT_TRUE(
      InOrder(run.log, {
                           "DEBUG: printerdriver_quillfern argv[0]=rastertoquillfern \n",
                           "DEBUG: printerdriver_quillfern argv[5]=PageSize=A5 noCollate \n",
                           "One_Param:PageSize=A5 , Len:11\n",
                           "One_Param:noCollate , Len:9\n",
                           "SetJobParam:[jobId , 42 ]\n",
                           "SetJobParam:[LoginName , bob ]\n",
                           "DEBUG: Enter getDocumenName!\n",
                           "SetJobParam:[DocName , report.pdf ]\n",
                           "SetJobParam:[copies , 2 ]\n",
                           "HostName: ",
                           "DEBUG: option nocollate found\n",
                           "DEBUG: collate is 0\n",
                           "DEBUG: option PageSize,value=A5\n",
                           "SetJobParam:[PageSize , A5 ]\n",
                           "DEBUG: InputSlot is Default(MainTray).\n",
                           "DEBUG: resX is default(600dpi).\n",
                           "SetJobParam:[Duplex , None ]\n",
                           "DEBUG: duplex is 0 \n",
                           "DEBUG: ppdIsMarked FeedEdge,value=0\n",
                           "DEBUG: ppdIsMarked Flag_Page_A5,value=1\n",
                           "DEBUG: ppdIsMarked Orientation,value=0\n",
                           "SetJobParam:[MediaType , Plain ]\n",
                           "DEBUG: ppdIsMarked MediaType,value=0\n",
                           "DEBUG: input copies is 2 \n",
                           "SetJobParam:[copies , 2 ]\n",
                           "GetJobParam:[PageSize , A5 ]\n",
                           "DEBUG: Enter getAuthInfo!\n",
                           "DEBUG: auth_file is not found!\n",
                           "DEBUG: Verify the Params Constraint. \n",
                           "BuildJobParams:PageSize=A5, ",
                       }));
  const JobSettings& settings = run.job->settings;
  EXPECT_EQ(settings.jobId, 42);
  EXPECT_FALSE(settings.collate);
  EXPECT_EQ(settings.Flag_Page_A5, 1);
  EXPECT_EQ(settings.copies, 1);
  EXPECT_TRUE(run.Has("PageSize=A5, "));
  EXPECT_TRUE(run.Has("Collate=False, "));
  EXPECT_TRUE(run.Has("copies=2, jobId=42, DocName=report.pdf, HostName="));
  EXPECT_TRUE(run.Has(", LoginName=bob, "));
  EXPECT_EQ(run.job->job_params_size, static_cast<int32_t>(run.params().size()));
  EXPECT_NE(run.job->buffers.buff1, nullptr);
  EXPECT_NE(run.job->buffers.buff2, nullptr);
}

TEST_F(JobSetupTest, CollationFollowsTheRawOptionsText) {
  EXPECT_TRUE(Run("").job->settings.collate);
  SetupRun collated = Run("Collate");
  EXPECT_TRUE(collated.job->settings.collate);
  EXPECT_NE(collated.log.find("DEBUG: option collate found\n"), std::string::npos);
  EXPECT_TRUE(collated.Has("Collate=True, "));
  EXPECT_FALSE(Run("media=A4 noCollate").job->settings.collate);
  // Collate=False holds "Collate" but not "noCollate".
  SetupRun explicitFalse = Run("Collate=False");
  EXPECT_TRUE(explicitFalse.job->settings.collate);
  EXPECT_TRUE(explicitFalse.Has("Collate=False, "));
}

TEST_F(JobSetupTest, PageSizeFromPpdMarksAndCustomSizes) {
  SetupRun fromPpd = Run("", {{"PageSize", "Letter"}});
  EXPECT_NE(fromPpd.log.find("DEBUG: ppd PageSize,value=Letter\n"), std::string::npos);
  EXPECT_TRUE(fromPpd.Has("PageSize=Letter, "));

  SetupRun unknown = Run("", {{"PageSize", "A3"}});
  EXPECT_EQ(unknown.log.find("PageSize,value="), std::string::npos);
  EXPECT_TRUE(unknown.Has("PageSize=A4, "));

  // media= is mapped onto the PPD's PageSize by CUPS's option marking.
  SetupRun media = Run("media=B5");
  EXPECT_NE(media.log.find("DEBUG: ppd PageSize,value=B5\n"), std::string::npos);

  SetupRun bank1 = Run("PageSize=BANK1");
  EXPECT_TRUE(bank1.Has("PageSize=CUS_1, "));
  SetupRun bank2 = Run("PageSize=BANK2 Duplex=DuplexNoTumble");
  EXPECT_TRUE(bank2.Has("PageSize=CUS_2, "));
  EXPECT_NE(bank2.log.find("DEBUG: PageSize:CUS_2. \n"
                           "DEBUG: Duplex is amend to OFF. Cause of Duplex ON + Unsupport "
                           "Media Size. \n"),
            std::string::npos);
  EXPECT_EQ(bank2.job->settings.duplexMode, 0);
}

TEST_F(JobSetupTest, ResolutionSlotFeedEdgeAndMedia) {
  SetupRun run =
      Run("Resolution=1200dpi InputSlot=ManualTray FeedEdge=1 MediaType=Recycled "
          "Orientation=Landscape");
  EXPECT_TRUE(InOrder(
      run.log, {"DEBUG: option PaperBox,value=ManualTray\n",
                "SetJobParam:[InputSlot , ManualTray ]\n", "DEBUG: InputSlot is ManualTray.\n",
                "SetJobParam:[Resolution , 1200dpi ]\n", "DEBUG: Resolution is 1200dpi. \n",
                "DEBUG: resX is default(600dpi).\n", "DEBUG: ppdIsMarked FeedEdge,value=1\n",
                "DEBUG: ppdIsMarked Orientation,value=1\n", "SetJobParam:[MediaType , Plain ]\n"}));
  EXPECT_TRUE(run.Has("Resolution=1200dpi, resX=600dpi, resY=600dpi, FeedEdge=1, "));
  EXPECT_EQ(run.job->settings.feedEdge, 1);
  EXPECT_EQ(run.job->settings.mediaClass, 0);

  EXPECT_EQ(Run("MediaType=Thin").job->settings.mediaClass, 1);
  SetupRun thick = Run("MediaType=Thick");
  EXPECT_EQ(thick.job->settings.mediaClass, 2);
  EXPECT_TRUE(thick.Has("MediaType=Thick, "));
}

TEST_F(JobSetupTest, EachDuplexConstraintWithItsMessage) {
  struct Case {
    std::string options;
    std::string message;  // empty: duplex stays on
  };
  const std::string prefix = "DEBUG: Duplex is amend to OFF. Cause of Duplex ON + ";
  const std::vector<Case> cases = {
      {"Duplex=DuplexNoTumble InputSlot=ManualTray MediaType=Thick", prefix + "ManualTray. \n"},
      {"Duplex=DuplexNoTumble MediaType=Thin", prefix + "No Plain. \n"},
      {"Duplex=DuplexTumble PageSize=A5 FeedEdge=1", prefix + "A5L. \n"},
      {"Duplex=DuplexNoTumble PageSize=Legal", prefix + "Unsupport Media Size. \n"},
      {"Duplex=DuplexNoTumble PageSize=A6", prefix + "Unsupport Media Size. \n"},
      {"sides=two-sided-long-edge media=Executive", prefix + "Unsupport Media Size. \n"},
      {"Duplex=DuplexNoTumble PageSize=A5", ""},
      {"Duplex=DuplexNoTumble MediaType=Recycled PageSize=B5ISO", ""},
  };
  for (const Case& c : cases) {
    SetupRun run = Run(c.options);
    EXPECT_NE(run.log.find("DEBUG: Verifying Duplex Constraint... \n"), std::string::npos);
    if (c.message.empty()) {
      EXPECT_NE(run.job->settings.duplexMode, 0) << c.options;
      EXPECT_EQ(run.log.find("amend to OFF"), std::string::npos) << c.options;
    } else {
      EXPECT_EQ(run.job->settings.duplexMode, 0) << c.options;
      EXPECT_EQ(testing_support::CountOf(run.log, "amend to OFF"), 1) << c.options;
      EXPECT_NE(run.log.find(c.message), std::string::npos) << c.options << run.log;
      EXPECT_TRUE(run.Has("Duplex=None, ")) << c.options;
      EXPECT_NE(run.log.rfind("SetJobParam:[Duplex , None ]\n"), std::string::npos);
    }
  }
  SetupRun oneSided = Run("");
  EXPECT_EQ(oneSided.log.find("Verifying Duplex Constraint"), std::string::npos);
}

TEST_F(JobSetupTest, DuplexChoiceFromPpd) {
  EXPECT_EQ(Run("Duplex=DuplexNoTumble").job->settings.duplexMode, 1);
  SetupRun tumble = Run("sides=two-sided-short-edge");
  EXPECT_EQ(tumble.job->settings.duplexMode, 2);
  EXPECT_TRUE(tumble.Has("Duplex=DuplexTumble, "));
  // A PPD without a Duplex option marks nothing: the printer's short-edge mode.
  SetupRun noOption = Run("", {{"Duplex", ""}});
  EXPECT_EQ(noOption.job->settings.duplexMode, 2);
  EXPECT_NE(noOption.log.find("DEBUG: duplex is 2 \n"), std::string::npos);
}

TEST_F(JobSetupTest, JobIdAndCopiesConversions) {
  SetupRun run = RunArgs({"f", "  -17abc", "u", "t", "3", ""}, MakeTestPpd(dir_).c_str());
  EXPECT_EQ(run.job->settings.jobId, -17);
  EXPECT_EQ(run.job->settings.copies, 1);
  EXPECT_NE(run.log.find("DEBUG: input copies is 3 \n"), std::string::npos);
  EXPECT_TRUE(run.Has("copies=3, jobId=  -17abc, "));
  EXPECT_EQ(
      RunArgs({"f", "letters", "u", "t", "x", ""}, MakeTestPpd(dir_).c_str()).job->settings.jobId,
      0);
  EXPECT_EQ(LeadingInteger("99999999999"), INT32_MAX);
}

TEST_F(JobSetupTest, AuthenticationFileFillsThePair) {
  WriteFile(dir_.File("auth_config"), R"({"AuthID":"desk","Password":"Pw-7731-x"})");
  SetupRun run = Run("");
  EXPECT_TRUE(run.Has("AuthID=desk, AuthPassword=Pw-7731-x, "));
  EXPECT_EQ(run.log.find("Pw-7731-x"), std::string::npos);
  EXPECT_NE(std::string(run.job->loggedJobParams).find("AuthPassword=****, "), std::string::npos);

  WriteFile(dir_.File("auth_config"), "{}");
  EXPECT_TRUE(Run("AuthID=opt").Has("AuthID=, AuthPassword=, "));
  WriteFile(dir_.File("auth_config"), "{broken");
  EXPECT_TRUE(Run("AuthID=opt").Has("AuthID=opt, "));
}

TEST_F(JobSetupTest, SetupFailuresEndTheJob) {
  SetupRun wrongCount = RunArgs({"f", "1", "u", "t", "1"}, MakeTestPpd(dir_).c_str());
  EXPECT_EQ(wrongCount.status, 1);
  EXPECT_NE(wrongCount.log.find("DEBUG: printerdriver_quillfern argv[4]=1 \n"
                                "Usage: f job user title copies options [file]\n"),
            std::string::npos);

  SetupRun noPpd = RunArgs({"f", "1", "u", "t", "1", ""}, nullptr);
  EXPECT_EQ(noPpd.status, 1);
  EXPECT_NE(noPpd.log.find("ERROR: Unable to open PPD file!\n"), std::string::npos);
  SetupRun missingPpd = RunArgs({"f", "1", "u", "t", "1", ""}, "/nonexistent/x.ppd");
  EXPECT_EQ(missingPpd.status, 1);
  WriteFile(dir_.File("bad.ppd"), "this is not a PPD\n");
  EXPECT_EQ(RunArgs({"f", "1", "u", "t", "1", ""}, dir_.File("bad.ppd").c_str()).status, 1);

  SetupRun seven = RunArgs({"f", "1", "u", "t", "1", "", "/some/file"}, MakeTestPpd(dir_).c_str());
  EXPECT_EQ(seven.status, kSetupDone);
  EXPECT_NE(seven.log.find("argv[6]=/some/file \n"), std::string::npos);
}

// What comes with the job (title, user, option values) is the submitter's:
// a comma in it must not start a record of its own in job_params.
TEST_F(JobSetupTest, JobValuesCannotForgeRecords) {
  EXPECT_TRUE(Run("", {}, "1", "Report, final.pdf").Has(", DocName=Report; final.pdf, HostName="));
  SetupRun forged = Run("PageSize=A4,x", {}, "1", "x, LoginName=boss, .pdf");
  EXPECT_TRUE(forged.Has(", DocName=x; LoginName=boss; .pdf, HostName="));
  EXPECT_EQ(forged.params().find(", LoginName=boss"), std::string::npos);
  EXPECT_TRUE(forged.Has(", LoginName=bob, "));
  EXPECT_TRUE(forged.Has("PageSize=A4;x, "));
  EXPECT_NE(forged.log.find("SetJobParam:[DocName , x; LoginName=boss; .pdf ]\n"),
            std::string::npos);
  std::vector<std::string> args = {"f", "1", "eve,jobId=1", "t", "1", ""};
  EXPECT_TRUE(RunArgs(args, MakeTestPpd(dir_).c_str()).Has(", LoginName=eve;jobId=1, "));
}

TEST_F(JobSetupTest, OverlongArgumentsStayWithinTheirFields) {
  std::string huge(5000, 'h');
  SetupRun run = Run("job-uuid=" + huge + " job-originating-host-name=" + huge +
                         " date-time-at-creation=" + huge + " time-at-processing=" + huge,
                     {}, "1", "/d/" + huge);
  ASSERT_EQ(run.status, kSetupDone);
  EXPECT_EQ(run.params().size(), kJobParamsBufferSize - 1);
  EXPECT_EQ(run.job->job_params_size, static_cast<int32_t>(kJobParamsBufferSize - 1));
}

}  // namespace
