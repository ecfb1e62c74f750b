// The conversion core: raster header checks, and a push front end that must
// give the printer the same stream as the filter.
#include "core/conversion_job.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "filter/page_loop.h"
#include "tests/memory_stream.h"
#include "tests/raster_pages.h"
#include "tests/stream_reader.h"
#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testing_support::Bitmap;
using testing_support::MemoryStream;
using testing_support::PatternPage;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

cups_page_header2_t Header(unsigned width, unsigned height, unsigned bitsPerPixel,
                           unsigned bytesPerLine) {
  cups_page_header2_t header;
  memset(&header, 0, sizeof header);
  header.cupsWidth = width;
  header.cupsHeight = height;
  header.cupsBitsPerPixel = bitsPerPixel;
  header.cupsBytesPerLine = bytesPerLine;
  return header;
}

TEST(RasterHeaderTest, OneBitPagesOfUsableSizeAreTaken) {
  EXPECT_EQ(RasterHeaderProblem(Header(4958, 7017, 1, 620), 1), "");
  EXPECT_EQ(RasterHeaderProblem(Header(1, 1, 1, 1), 1), "");
  // The largest: 2^31 - 1 bytes of pixels in rows of whole bytes.
  EXPECT_EQ(RasterHeaderProblem(Header(8, 2147483647u, 1, 1), 1), "");
}

TEST(RasterHeaderTest, EveryUnusableHeaderIsNamed) {
  struct Case {
    unsigned width, height, bitsPerPixel, bytesPerLine;
  };
  for (const Case& c :
       {Case{40, 20, 8, 40}, Case{40, 20, 1, 6}, Case{40, 20, 1, 4}, Case{0, 20, 1, 0},
        Case{40, 0, 1, 5}, Case{16, 2147483647u, 1, 2}, Case{4294967295u, 1, 1, 536870912u},
        Case{2147483641u, 1, 1, 268435456u}, Case{8, 2147483648u, 1, 1}}) {
    std::string problem =
        RasterHeaderProblem(Header(c.width, c.height, c.bitsPerPixel, c.bytesPerLine), 3);
    EXPECT_EQ(problem.rfind("page 3 has a raster header the printer cannot take: cupsWidth " +
                                std::to_string(c.width),
                            0),
              0u)
        << c.width << "x" << c.height << " " << c.bitsPerPixel << " " << c.bytesPerLine;
  }
}

// Stands in for pbmtojbg: the "JBIG file" is the page's JBIG header and
// then the PBM file behind a marker, so every page and turn shows in the
// stream.
class CopyingEncoder : public PageEncoder {
 public:
  int Encode(const std::string& pbmPath, const std::string& jbgPath) override {
    const std::string pbm = ReadFile(pbmPath);
    unsigned width = 0, height = 0;
    sscanf(pbm.c_str(), "P4 %u %u", &width, &height);
    WriteFile(jbgPath, testing_support::JbigHeader(width, height) + "encoded:" + pbm);
    return 0;
  }
};

// Runs setup for one job, as the filter would, with the test PPD.
std::unique_ptr<JobSetup> Setup(const TempDir& dir, const std::string& copies,
                                const std::string& options) {
  std::vector<std::string> args = {"rastertoquillfern", "5", "ann", "doc.pdf", copies, options};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  auto job = std::make_unique<JobSetup>();
  const std::string ppd = testing_support::MakeTestPpd(dir);
  const std::string auth = dir.File("no-auth");
  SetupSources sources{ppd.c_str(), auth.c_str()};
  EXPECT_EQ(SetupJob(static_cast<int>(argv.size()), argv.data(), sources, *job), kSetupDone);
  return job;
}

// The filter's own front end, in this process, on a raster stream.
std::string ThroughTheFilter(const TempDir& dir, const std::string& copies,
                             const std::string& options, const std::vector<Bitmap>& pages) {
  const std::string raster = dir.File("job.ras");
  testing_support::WriteRasterStream(raster, pages);
  std::unique_ptr<JobSetup> job = Setup(dir, copies, options);
  CopyingEncoder encoder;
  PageLoopPlaces places;
  places.work = WorkPlaces{dir.File("work/"), dir.File("work.lock"), dir.path()};
  places.rasterFd = open(raster.c_str(), O_RDONLY | O_CLOEXEC);
  places.output = tmpfile();
  places.encoder = &encoder;
  EXPECT_EQ(RunPageLoop(*job, places), 0);
  close(places.rasterFd);
  rewind(places.output);
  std::string stream;
  for (int c = fgetc(places.output); c != EOF; c = fgetc(places.output)) stream += char(c);
  fclose(places.output);
  return stream;
}

// A minimal push front end: rows one at a time, the end announced only
// when there are no more pages.
std::string PushedRowByRow(const TempDir& dir, const std::string& copies,
                           const std::string& options, const std::vector<Bitmap>& pages) {
  std::unique_ptr<JobSetup> job = Setup(dir, copies, options);
  mkdir(dir.File("own/").c_str(), 0700);
  FixedWorkSpace work(dir.File("own/"));
  CopyingEncoder encoder;
  MemoryStream printer;
  JobServices services;
  services.work = &work;
  services.encoder = &encoder;
  services.output = &printer.output();
  ConversionJob conversion(*job, services);
  for (const Bitmap& page : pages) {
    EXPECT_TRUE(conversion.StartPage(Header(page.width, page.height, 1, page.rowBytes())));
    for (uint32_t y = 0; y < page.height; ++y) {
      const auto* row = reinterpret_cast<const unsigned char*>(page.rows.data());
      EXPECT_TRUE(conversion.WriteRow(row + y * page.rowBytes(), page.rowBytes()));
    }
  }
  EXPECT_EQ(conversion.EndJob(), 0);
  return printer.bytes();
}

TEST(ConversionJobTest, PushFrontEndSendsWhatTheFilterSends) {
  const std::vector<Bitmap> pages = {PatternPage(72, 40, 1), PatternPage(72, 40, 2),
                                     PatternPage(72, 40, 3)};
  struct Case {
    const char* copies;
    const char* options;
  } const cases[] = {{"1", ""},
                     {"2", "noCollate"},
                     {"1", "Duplex=DuplexNoTumble"},
                     {"3", "Duplex=DuplexTumble noCollate"},
                     {"1", "PageSize=A5 FeedEdge=1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.copies) + " copies, " + c.options);
    TempDir filterDir, pushDir;
    CaptureStderr();
    const std::string filtered = ThroughTheFilter(filterDir, c.copies, c.options, pages);
    const std::string pushed = PushedRowByRow(pushDir, c.copies, c.options, pages);
    GetCapturedStderr();
    ASSERT_FALSE(filtered.empty());
    EXPECT_TRUE(pushed == filtered) << "the pushed job's stream differs from the filter's";
    EXPECT_EQ(testing_support::ReadPrintStream(pushed).error, "");
  }
}

}  // namespace
