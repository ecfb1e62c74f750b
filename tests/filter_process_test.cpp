// The whole filter, run as CUPS runs it, on raster streams made with
// libcups's raster writer; every page that reaches the printer is decoded
// and compared with the page sent.  These tests use the filter's fixed work
// directory and authentication file inside a /tmp of their own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/raster_pages.h"
#include "tests/stream_reader.h"
#include "tests/test_support.h"

namespace {

using namespace testing_support;

const char kWorkDir[] = "/tmp/brelmont";
const char kCancelLine[] =
    "DEBUG: \xE6\x8D\x95\xE8\x8E\xB7SIGTERM\xE4\xBF\xA1\xE5\x8F\xB7,"
    "\xE7\xBB\x88\xE6\xAD\xA2\xE4\xB8\xAD\n";

// Pages of random noise: they encode to far more than a pipe holds.
std::vector<Bitmap> NoisePages(int count, uint32_t side = 1200) {
  std::vector<Bitmap> pages;
  uint32_t state = 12345;
  for (int i = 0; i < count; ++i) {
    Bitmap page;
    page.width = side;
    page.height = side;
    page.rows.assign(static_cast<size_t>(page.rowBytes()) * side, '\0');
    for (char& byte : page.rows) {
      state = state * 1103515245u + 12345u;
      byte = static_cast<char>(state >> 16);
    }
    pages.push_back(page);
  }
  return pages;
}

struct FilterRun {
  ProcessResult process;
  PrintStream stream;
};

class PageLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PrivateTmpProblem().empty()) {
      GTEST_SKIP() << "needs a private /tmp, never the host's: " << PrivateTmpProblem();
    }
    ppd_ = MakeTestPpd(dir_);
    mkdir(dir_.File("bin").c_str(), 0755);
    mkdir(dir_.File("spool").c_str(), 0700);
  }

  // The /tmp is this process's own: what one test left at the fixed paths
  // must not reach the next.
  void TearDown() override {
    RemoveTree(kWorkDir);
    RemoveTree("/tmp/brelmont.lock");
    RemoveTree("/tmp/auth");
  }

  std::vector<std::string> Args(const std::string& options, const std::string& jobId = "7") {
    return {QUILLFERN_FILTER_PATH, jobId, "alice", "report.pdf", "1", options};
  }

  ProcessOptions Options(const std::string& rasterPath) {
    ProcessOptions options;
    options.stdinPath = rasterPath;
    options.env["PPD"] = ppd_;
    options.env["PATH"] = dir_.File("bin") + ":" + getenv("PATH");
    options.env["TMPDIR"] = dir_.File("spool");
    return options;
  }

  FilterRun Run(const std::string& options, const std::vector<Bitmap>& pages,
                const std::string& jobId = "7") {
    std::string raster = dir_.File("job-" + jobId + ".ras");
    WriteRasterStream(raster, pages);
    return RunOn(options, raster, jobId);
  }

  FilterRun RunOn(const std::string& options, const std::string& rasterPath,
                  const std::string& jobId = "7") {
    FilterRun run;
    run.process = RunProcess(Args(options, jobId), Options(rasterPath));
    run.stream = ReadPrintStream(run.process.out);
    return run;
  }

  // Starts the filter on `rasterPath` with its standard output on a pipe
  // that stands for the printer; returns the pipe's read end.
  int StartOnPipe(std::unique_ptr<Process>* filter, const std::vector<std::string>& args,
                  const std::string& rasterPath) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    ProcessOptions options = Options(rasterPath);
    options.stdoutFd = pipeFds[1];
    *filter = std::make_unique<Process>(args, options);
    close(pipeFds[1]);
    return pipeFds[0];
  }

  // A pbmtojbg first on PATH that stops on page `page`'s file, leaves the
  // marker "encoding-<page>" and waits for "go-<page>" before running the
  // real encoder.
  void InstallPausingEncoder(int page) {
    std::string script =
        "#!/bin/sh\n"
        "case \"$*\" in *_" +
        std::to_string(page) +
        "_gs*)\n"
        "  touch " +
        dir_.File("encoding-" + std::to_string(page)) +
        "\n"
        "  n=0\n"
        "  while [ ! -e " +
        dir_.File("go-" + std::to_string(page)) +
        " ] && [ $n -lt 2000 ]; do sleep 0.01; n=$((n+1)); done;;\n"
        "esac\n"
        "exec /usr/bin/pbmtojbg \"$@\"\n";
    WriteFile(dir_.File("bin/pbmtojbg"), script);
    chmod(dir_.File("bin/pbmtojbg").c_str(), 0755);
  }

  // Every record's page decodes, and record i shows `expected[i]`.
  static void ExpectPages(const PrintStream& stream, const std::vector<Bitmap>& expected) {
    ASSERT_EQ(stream.records.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      std::string error;
      Bitmap decoded = DecodeJbig(stream.records[i].data, &error);
      EXPECT_EQ(error, "") << "record " << i + 1;
      EXPECT_EQ(decoded.width, expected[i].width) << "record " << i + 1;
      EXPECT_EQ(decoded.height, expected[i].height) << "record " << i + 1;
      EXPECT_TRUE(decoded.rows == expected[i].rows) << "record " << i + 1 << " differs";
    }
  }

  static Bitmap Blank(uint32_t width, uint32_t height) {
    Bitmap blank;
    blank.width = width;
    blank.height = height;
    blank.rows.assign(static_cast<size_t>(blank.rowBytes()) * height, '\0');
    return blank;
  }

  TempDir dir_;
  std::string ppd_;
};

TEST_F(PageLoopTest, EmptyStreamWritesNothing) {
  WriteFile(dir_.File("empty.ras"), "");
  FilterRun run = RunOn("", dir_.File("empty.ras"));
  EXPECT_EQ(run.process.exitStatus, 0);
  EXPECT_EQ(run.process.out, "");
  EXPECT_NE(run.process.err.find("DEBUG: First page header is null \n"), std::string::npos);
  struct stat status;
  ASSERT_EQ(lstat(kWorkDir, &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
}

TEST_F(PageLoopTest, OnePageJobIsOneCompleteRecord) {
  Bitmap page = PatternPage(203, 150, 1);
  FilterRun run = Run("", {page});
  EXPECT_EQ(run.process.exitStatus, 0) << run.process.err;
  ASSERT_EQ(run.stream.error, "");
  EXPECT_EQ(RecordFlags(run.stream), "1,1,1");
  ExpectPages(run.stream, {page});
  EXPECT_EQ(run.process.out.size(),
            52 + run.stream.jobParams.size() + run.stream.records[0].data.size());
  EXPECT_NE(run.stream.jobParams.find("jobId=7, DocName=report.pdf, "), std::string::npos);
  const std::string& log = run.process.err;
  EXPECT_NE(log.find("DEBUG: Page1 begin ,page_width = 203,page_height=150, "
                     "page_line_bytes=26 \nINFO: Printing page 1\n"
                     "DEBUG: Page 1 read 3900 pixels\n"
                     "DEBUG: page 1 handleImg done,pring m_page=1 begin\n"
                     "DEBUG: pbmtojbg. width:[203], height:[150], "
                     "pbm_file:[/tmp/brelmont/7_1_gs.pbm]DEBUG: pbmtojbg: pbmtojbg -q -x 203 "
                     "-y 150 -r -s 128 -o 0 -p 8 -m 0 /tmp/brelmont/7_1_gs.pbm "
                     "/tmp/brelmont/7-1.jbg\nDEBUG: page 1 jbg file size: "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("DEBUG: print m_page 1 write jbg done\n"), std::string::npos);
  EXPECT_TRUE(FileExists("/tmp/brelmont/7_1_gs.pbm"));
  EXPECT_TRUE(FileExists("/tmp/brelmont/7-1.jbg"));
}

// First in CUPS's chain (a raster document printed as it is), the filter
// is given the document's file as argv[6] and nothing on standard input.
TEST_F(PageLoopTest, RasterFileNamedOnTheCommandLineIsPrinted) {
  Bitmap page = PatternPage(64, 30, 1);
  WriteRasterStream(dir_.File("doc.ras"), {page});
  std::vector<std::string> args = Args("");
  args.push_back(dir_.File("doc.ras"));
  ProcessResult named = RunProcess(args, Options("/dev/null"));
  EXPECT_EQ(named.exitStatus, 0) << named.err;
  PrintStream stream = ReadPrintStream(named.out);
  ASSERT_EQ(stream.error, "");
  ExpectPages(stream, {page});

  args.back() = dir_.File("missing.ras");
  ProcessResult missing = RunProcess(args, Options("/dev/null"));
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("ERROR: cannot open the raster file " + dir_.File("missing.ras") +
                             ": No such file or directory\n"),
            std::string::npos);
}

TEST_F(PageLoopTest, DuplexJobsGetABlankBackSideOfTheFirstPageSize) {
  Bitmap first = PatternPage(100, 50, 1);
  Bitmap second = PatternPage(100, 50, 2);
  Bitmap last = PatternPage(60, 40, 3);
  for (const char* collation : {"", "noCollate"}) {
    SCOPED_TRACE(collation);
    FilterRun odd = Run(std::string("Duplex=DuplexNoTumble ") + collation, {first, second, last});
    EXPECT_EQ(odd.process.exitStatus, 0) << odd.process.err;
    ASSERT_EQ(odd.stream.error, "");
    EXPECT_EQ(RecordFlags(odd.stream), "1,0,1 0,0,2 0,0,3 0,1,4");
    ExpectPages(odd.stream, {first, second, last, Blank(104, 50)});
    EXPECT_EQ(ReadFile("/tmp/brelmont/7_4_gs.pbm"), "P4\n104 50\n" + std::string(13 * 50, '\0'));
    EXPECT_NE(odd.process.err.find("DEBUG: extra file /tmp/brelmont/7_4_gs.pbm not exists, "
                                   "ignore, create a empty pbm file, cupsheight 50, width 104 "
                                   "bytesperline 13\n"),
              std::string::npos);

    FilterRun even = Run(std::string("Duplex=DuplexTumble ") + collation, {first, second});
    EXPECT_EQ(RecordFlags(even.stream), "1,0,1 0,1,2");
    ExpectPages(even.stream, {first, second});
    EXPECT_EQ(even.process.err.find("extra page"), std::string::npos);
  }
}

TEST_F(PageLoopTest, StreamCutInsideAPageEndsWithThatPage) {
  Bitmap first = PatternPage(64, 40, 1);
  Bitmap second = PatternPage(64, 40, 2);
  WriteRasterStream(dir_.File("full.ras"), {first, second});
  std::string full = ReadFile(dir_.File("full.ras"));
  // The stream is uncompressed raster: dropping its last 80 bytes drops
  // the last 10 rows (8 bytes each) of page 2.
  std::string cut = full.substr(0, full.size() - 10 * 8);
  WriteFile(dir_.File("cut.ras"), cut);
  FilterRun run = RunOn("", dir_.File("cut.ras"));
  // The page in hand is finished as the last, and the job is a failure.
  EXPECT_EQ(run.process.exitStatus, 1) << run.process.err;
  EXPECT_TRUE(run.process.err.ends_with("ERROR: the raster stream ended inside page 2\n"))
      << run.process.err;
  ASSERT_EQ(run.stream.error, "");
  ASSERT_EQ(RecordFlags(run.stream), "1,0,1 0,1,2");
  std::string error;
  Bitmap decoded = DecodeJbig(run.stream.records[1].data, &error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(decoded.rows.size(), second.rows.size());
  const size_t arrived = second.rows.size() - 10 * 8;
  EXPECT_TRUE(decoded.rows.substr(0, arrived) == second.rows.substr(0, arrived));
  EXPECT_EQ(decoded.rows.substr(arrived), std::string(10 * 8, '\0'));
}

TEST_F(PageLoopTest, A5FedByShortEdgeIsTurnedBeforeEncoding) {
  Bitmap first = PatternPage(120, 70, 1);
  Bitmap second = PatternPage(120, 70, 2);
  FilterRun run = Run("PageSize=A5 FeedEdge=1", {first, second});
  EXPECT_EQ(run.process.exitStatus, 0) << run.process.err;
  ASSERT_EQ(run.stream.error, "");
  ExpectPages(run.stream, {TurnedCounterClockwise(first), TurnedCounterClockwise(second)});
  for (int page : {1, 2}) {
    std::string n = std::to_string(page);
    EXPECT_TRUE(FileExists("/tmp/brelmont/7_" + n + "_gs.pbm"));
    EXPECT_TRUE(FileExists("/tmp/brelmont/7_" + n + "_gs_rotated.pbm"));
    EXPECT_TRUE(FileExists("/tmp/brelmont/7-" + n + ".jbg"));
  }
  EXPECT_NE(run.process.err.find("DEBUG: A5L need rotate.[-90]DEBUG: pbmtojbg. width:[70], "
                                 "height:[120], pbm_file:[/tmp/brelmont/7_1_gs_rotated.pbm]"),
            std::string::npos);
}

TEST_F(PageLoopTest, TenPageA4JobInEverySequencing) {
  std::vector<Bitmap> pages;
  for (int i = 1; i <= 10; ++i) pages.push_back(TextLikePage(4960, 7016, i));
  WriteRasterStream(dir_.File("a4.ras"), pages);
  std::string expectedFlags;
  for (int i = 1; i <= 10; ++i) {
    expectedFlags +=
        (i == 1 ? "1," : " 0,") + std::string(i == 10 ? "1," : "0,") + std::to_string(i);
  }
  for (const char* options :
       {"", "noCollate", "Duplex=DuplexNoTumble", "Duplex=DuplexNoTumble noCollate"}) {
    SCOPED_TRACE(options);
    FilterRun run = RunOn(options, dir_.File("a4.ras"));
    EXPECT_EQ(run.process.exitStatus, 0);
    ASSERT_EQ(run.stream.error, "");
    EXPECT_EQ(RecordFlags(run.stream), expectedFlags);
    ExpectPages(run.stream, pages);
  }
}

TEST_F(PageLoopTest, NextJobClearsTheScratchFilesOfTheLastOne) {
  Run("", {PatternPage(40, 20, 1)}, "31");
  EXPECT_TRUE(FileExists("/tmp/brelmont/31_1_gs.pbm"));
  FilterRun second = Run("", {PatternPage(40, 20, 2)}, "32");
  EXPECT_EQ(second.process.exitStatus, 0);
  EXPECT_FALSE(FileExists("/tmp/brelmont/31_1_gs.pbm"));
  EXPECT_FALSE(FileExists("/tmp/brelmont/31-1.jbg"));
  EXPECT_TRUE(FileExists("/tmp/brelmont/32_1_gs.pbm"));
}

TEST_F(PageLoopTest, SigtermBeforeTheFirstPageLeavesOnlyTheJobHeader) {
  std::string fifo = dir_.File("raster.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  WriteRasterStream(dir_.File("pages.ras"), {PatternPage(40, 20, 1), PatternPage(40, 20, 2)});
  Process filter(Args(""), Options(fifo));
  int writer = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ASSERT_TRUE(filter.WaitForError("BuildJobParams:"));
  kill(filter.pid(), SIGTERM);
  ASSERT_TRUE(filter.WaitForError(kCancelLine));
  std::string raster = ReadFile(dir_.File("pages.ras"));
  ASSERT_EQ(write(writer, raster.data(), raster.size()), static_cast<ssize_t>(raster.size()));
  close(writer);
  ProcessResult result = filter.Wait();
  EXPECT_EQ(result.exitStatus, 0);
  PrintStream stream = ReadPrintStream(result.out);
  EXPECT_TRUE(stream.hasJobHeader);
  EXPECT_TRUE(stream.records.empty());
  EXPECT_EQ(result.err.find("INFO: Printing page"), std::string::npos);
}

// Cancels a five-page job while page 3 is being encoded.
FilterRun CancelDuringPageThree(Process& filter, const std::string& encoding,
                                const std::string& go) {
  FilterRun run;
  if (!WaitForFile(encoding)) return run;
  kill(filter.pid(), SIGTERM);
  filter.WaitForError(kCancelLine);
  WriteFile(go, "");
  run.process = filter.Wait();
  run.stream = ReadPrintStream(run.process.out);
  return run;
}

TEST_F(PageLoopTest, SigtermDuringPageThreeMakesItTheLastPage) {
  std::vector<Bitmap> pages;
  for (int i = 1; i <= 5; ++i) pages.push_back(PatternPage(48, 30, i));
  WriteRasterStream(dir_.File("five.ras"), pages);
  InstallPausingEncoder(3);

  Process oneSided(Args(""), Options(dir_.File("five.ras")));
  FilterRun run = CancelDuringPageThree(oneSided, dir_.File("encoding-3"), dir_.File("go-3"));
  EXPECT_EQ(run.process.exitStatus, 0) << run.process.err;
  ASSERT_EQ(run.stream.error, "");
  EXPECT_EQ(RecordFlags(run.stream), "1,0,1 0,0,2 0,1,3");
  ExpectPages(run.stream, {pages[0], pages[1], pages[2]});
  EXPECT_NE(run.process.err.find("DEBUG: cancel job, page 3 handleImg done,pring m_page=3 is "
                                 "last page,\n"),
            std::string::npos);
  EXPECT_EQ(run.process.err.find("DEBUG: Page4 begin"), std::string::npos);
  EXPECT_EQ(run.process.err.find("DEBUG: Page 4 read"), std::string::npos);

  unlink(dir_.File("encoding-3").c_str());
  unlink(dir_.File("go-3").c_str());
  Process duplex(Args("Duplex=DuplexNoTumble"), Options(dir_.File("five.ras")));
  FilterRun both = CancelDuringPageThree(duplex, dir_.File("encoding-3"), dir_.File("go-3"));
  EXPECT_EQ(both.process.exitStatus, 0) << both.process.err;
  ASSERT_EQ(both.stream.error, "");
  EXPECT_EQ(RecordFlags(both.stream), "1,0,1 0,0,2 0,0,3 0,1,4");
  ExpectPages(both.stream, {pages[0], pages[1], pages[2], Blank(48, 30)});
}

TEST_F(PageLoopTest, ConcurrentJobsKeepEachOthersFiles) {
  std::vector<Bitmap> pages = {PatternPage(80, 40, 1), PatternPage(80, 40, 2)};
  WriteRasterStream(dir_.File("a.ras"), pages);
  InstallPausingEncoder(2);
  Process first(Args("", "51"), Options(dir_.File("a.ras")));
  ASSERT_TRUE(WaitForFile(dir_.File("encoding-2")));

  // A second job starts while the first is in the middle of its page 2.
  FilterRun second = Run("", {PatternPage(80, 40, 9)}, "52");
  EXPECT_EQ(second.process.exitStatus, 0) << second.process.err;
  EXPECT_TRUE(FileExists("/tmp/brelmont/51_1_gs.pbm"));
  EXPECT_TRUE(FileExists("/tmp/brelmont/51_2_gs.pbm"));

  WriteFile(dir_.File("go-2"), "");
  ProcessResult result = first.Wait();
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  PrintStream stream = ReadPrintStream(result.out);
  ASSERT_EQ(stream.error, "");
  ExpectPages(stream, pages);
}

TEST_F(PageLoopTest, JobWhosePrinterIsAwayDoesNotHoldUpAnother) {
  // Noise encodes to far more than a pipe holds, so the first job blocks.
  WriteRasterStream(dir_.File("big.ras"), NoisePages(2, 1600));
  std::unique_ptr<Process> first;
  const int printer = StartOnPipe(&first, Args("", "61"), dir_.File("big.ras"));
  ASSERT_GE(printer, 0);
  Process& stalled = *first;
  ASSERT_TRUE(stalled.WaitForError("DEBUG: write page 1 header done", 30));
  usleep(200 * 1000);
  EXPECT_EQ(stalled.ErrorSoFar().find("DEBUG: write page data done"), std::string::npos)
      << "the first job was expected to block on its printer";

  FilterRun other = Run("", {PatternPage(64, 64, 5)}, "62");
  EXPECT_EQ(other.process.exitStatus, 0) << other.process.err;
  EXPECT_EQ(RecordFlags(other.stream), "1,1,1");
  close(printer);  // the printer of the first job goes away for good
  ProcessResult result = stalled.Wait();
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("ERROR: the printer stopped taking data: Broken pipe\n"),
            std::string::npos);
}

TEST_F(PageLoopTest, SymlinkedWorkDirectoryIsNeverFollowed) {
  TempDir target;
  WriteFile(target.File("canary"), "keep me");
  ASSERT_EQ(symlink(target.path().c_str(), kWorkDir), 0);
  FilterRun run = Run("", {PatternPage(40, 20, 1)});
  EXPECT_EQ(run.process.exitStatus, 0) << run.process.err;
  EXPECT_EQ(ReadFile(target.File("canary")), "keep me");
  EXPECT_FALSE(FileExists(target.File("7_1_gs.pbm")));
  struct stat status;
  ASSERT_EQ(lstat(kWorkDir, &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
}

// What another user, or a root run, left at the shared paths never stops
// printing: the job works in its own directory under TMPDIR instead.
TEST_F(PageLoopTest, UnusableSharedPathsSendTheJobToItsOwnDirectory) {
  const std::string own = dir_.File("spool") + "/brelmont-" + std::to_string(geteuid()) + "/";
  // Another job holds the lock, so this one may not wipe the directory.
  int lock = open("/tmp/brelmont.lock", O_RDONLY | O_CREAT, 0644);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_SH), 0);
  ASSERT_EQ(mkdir(kWorkDir, 0755), 0);
  ASSERT_EQ(chmod(kWorkDir, 0777), 0);
  FilterRun open = Run("", {PatternPage(40, 20, 1)});
  EXPECT_EQ(open.process.exitStatus, 0) << open.process.err;
  EXPECT_EQ(RecordFlags(open.stream), "1,1,1");
  EXPECT_NE(open.process.err.find("WARNING: work directory /tmp/brelmont is writable by others; "
                                  "this job works in " +
                                  own + " instead\n"),
            std::string::npos)
      << open.process.err;
  EXPECT_TRUE(FileExists(own + "7-1.jbg"));
  close(lock);

  // FIFOs at the lock and at the authentication file must not hang a job.
  RemoveTree(kWorkDir);
  unlink("/tmp/brelmont.lock");
  ASSERT_EQ(mkfifo("/tmp/brelmont.lock", 0600), 0);
  ASSERT_EQ(mkdir("/tmp/auth", 0755), 0);
  ASSERT_EQ(mkfifo("/tmp/auth/auth_config", 0600), 0);
  WriteRasterStream(dir_.File("one.ras"), {PatternPage(40, 20, 1)});
  Process fifos(Args(""), Options(dir_.File("one.ras")));
  ProcessResult result = fifos.Wait(10);
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_NE(result.err.find("WARNING: lock file /tmp/brelmont.lock is not a regular file; "),
            std::string::npos);
  EXPECT_NE(result.err.find("DEBUG: Error reading auth_file\n"), std::string::npos);

  if (geteuid() == 0) {
    // Nothing that is not its own is changed.
    unlink("/tmp/brelmont.lock");
    ASSERT_EQ(mkdir(kWorkDir, 0755), 0);
    WriteFile("/tmp/brelmont/theirs", "keep");
    ASSERT_EQ(chown(kWorkDir, 65534, 65534), 0);
    FilterRun foreign = Run("", {PatternPage(40, 20, 1)});
    EXPECT_EQ(foreign.process.exitStatus, 0);
    EXPECT_NE(foreign.process.err.find("WARNING: work directory /tmp/brelmont belongs to another "
                                       "user (uid 65534); "),
              std::string::npos);
    EXPECT_EQ(ReadFile("/tmp/brelmont/theirs"), "keep");
  }
}

// An encoded page that cannot be read back in full, or is not the page's
// JBIG file though the encoder ended well, is never sent: the job fails as
// a failed encoder fails it.
TEST_F(PageLoopTest, EncoderOutputThatIsNotThePageFailsTheJob) {
  const std::string real = "/usr/bin/pbmtojbg \"$@\" || exit $?; ";
  for (const std::string& leave : {
           std::string("mkdir \"$last\""),                                            // a directory
           std::string(": >\"$last\""),                                               // nothing
           std::string("echo 'pbmtojbg: done' >\"$last\""),                           // text
           real + "head -c 12 \"$last\" >\"$last.cut\"; mv \"$last.cut\" \"$last\"",  // cut
           // another page's JBIG file
           std::string("printf 'P4\\n8 8\\n\\0\\0\\0\\0\\0\\0\\0\\0' >\"$last.pbm\"; "
                       "/usr/bin/pbmtojbg -q \"$last.pbm\" \"$last\""),
       }) {
    WriteFile(dir_.File("bin/pbmtojbg"), "#!/bin/sh\nfor last; do :; done\n" + leave + "\n");
    chmod(dir_.File("bin/pbmtojbg").c_str(), 0755);
    FilterRun run = Run("", {PatternPage(40, 20, 1)});
    EXPECT_EQ(run.process.exitStatus, 255) << leave << run.process.err;
    EXPECT_TRUE(run.stream.records.empty()) << leave;
    EXPECT_NE(run.process.err.find("ERROR: page 1: "), std::string::npos) << run.process.err;
  }
}

TEST_F(PageLoopTest, MissingEncoderEndsTheJobWithoutThatPage) {
  ProcessOptions options = Options("");
  std::string raster = dir_.File("one.ras");
  WriteRasterStream(raster, {PatternPage(40, 20, 1)});
  options.stdinPath = raster;
  options.env["PATH"] = dir_.File("bin");  // no pbmtojbg there
  ProcessResult result = RunProcess(Args(""), options);
  EXPECT_EQ(result.exitStatus, 255);
  PrintStream stream = ReadPrintStream(result.out);
  EXPECT_TRUE(stream.hasJobHeader);
  EXPECT_TRUE(stream.records.empty());
  EXPECT_NE(result.err.find("(status 127)\nERROR: page 1 could not be encoded\n"),
            std::string::npos)
      << result.err;
}

TEST_F(PageLoopTest, UnusableRasterHeadersAreRefused) {
  Bitmap good = PatternPage(40, 20, 1);
  Bitmap grey = PatternPage(40, 20, 2);
  RasterPage eightBit{grey, {8, 40}};

  WriteRasterStream(dir_.File("first.ras"), std::vector<RasterPage>{eightBit});
  FilterRun first = RunOn("", dir_.File("first.ras"));
  EXPECT_EQ(first.process.exitStatus, 1);
  EXPECT_EQ(first.process.out, "");
  EXPECT_NE(first.process.err.find("ERROR: page 1 has a raster header the printer cannot take: "
                                   "cupsWidth 40, cupsHeight 20, cupsBitsPerPixel 8, "
                                   "cupsBytesPerLine 40\n"),
            std::string::npos)
      << first.process.err;

  // Found by the read-ahead: the page in hand is finished as the last one.
  WriteRasterStream(dir_.File("second.ras"),
                    std::vector<RasterPage>{{good, {}}, eightBit, {good, {}}});
  for (const char* duplex : {"", "Duplex=DuplexNoTumble"}) {
    FilterRun second = RunOn(duplex, dir_.File("second.ras"));
    EXPECT_EQ(second.process.exitStatus, 1) << duplex;
    ASSERT_EQ(second.stream.error, "") << duplex;
    EXPECT_EQ(RecordFlags(second.stream), *duplex ? "1,0,1 0,1,2" : "1,1,1");
    EXPECT_NE(second.process.err.find("ERROR: page 2 has a raster header"), std::string::npos);
  }
}

}  // namespace

namespace {

int CountFiles(const std::string& dir, const std::string& suffix) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      ++count;
    }
  }
  return count;
}

TEST_F(PageLoopTest, PrinterThatGoesAwayStopsTheConversion) {
  WriteRasterStream(dir_.File("ten.ras"), NoisePages(10));
  std::unique_ptr<Process> filter;
  const int printer = StartOnPipe(&filter, Args(""), dir_.File("ten.ras"));
  ASSERT_GE(printer, 0);

  // The printer takes a little of the job, then is gone.
  std::string taken;
  char buffer[4096];
  while (taken.size() < 100000) {
    ssize_t n = read(printer, buffer, sizeof buffer);
    if (n <= 0) break;
    taken.append(buffer, static_cast<size_t>(n));
  }
  close(printer);
  ProcessResult result = filter->Wait();
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(CountOf(result.err, "ERROR: the printer stopped taking data: Broken pipe\n"), 1)
      << result.err;
  EXPECT_LE(CountFiles(kWorkDir, ".jbg"), 4);
}

TEST_F(PageLoopTest, FullDeviceIsAFailureNotASuccess) {
  WriteRasterStream(dir_.File("one.ras"), {PatternPage(40, 20, 1)});
  ProcessOptions options = Options(dir_.File("one.ras"));
  options.stdoutPath = "/dev/full";
  ProcessResult result = RunProcess(Args(""), options);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("ERROR: the printer stopped taking data: No space left on device\n"),
            std::string::npos);
}

TEST_F(PageLoopTest, PrinterThatReadsEverythingGetsACompleteJob) {
  std::vector<Bitmap> pages = NoisePages(3);
  WriteRasterStream(dir_.File("three.ras"), pages);
  std::unique_ptr<Process> filter;
  const int printer =
      StartOnPipe(&filter, Args("Duplex=DuplexNoTumble noCollate"), dir_.File("three.ras"));
  ASSERT_GE(printer, 0);
  std::string taken;
  char buffer[65536];
  ssize_t n;
  while ((n = read(printer, buffer, sizeof buffer)) > 0) {
    taken.append(buffer, static_cast<size_t>(n));
  }
  close(printer);
  ProcessResult result = filter->Wait();
  EXPECT_EQ(result.exitStatus, 0);
  PrintStream stream = ReadPrintStream(taken);
  ASSERT_EQ(stream.error, "");
  ExpectPages(stream, {pages[0], pages[1], pages[2], Blank(1200, 1200)});
}

}  // namespace

namespace {

TEST_F(PageLoopTest, DecodeToolShowsWhatTheFilterSent) {
  Bitmap first = PatternPage(120, 70, 1);
  Bitmap second = PatternPage(120, 70, 2);
  WriteRasterStream(dir_.File("a5.ras"), {first, second});
  ProcessOptions options = Options(dir_.File("a5.ras"));
  options.stdoutPath = dir_.File("job.prn");
  ProcessResult filter = RunProcess(Args("PageSize=A5 FeedEdge=1"), options);
  ASSERT_EQ(filter.exitStatus, 0);

  ProcessResult decode =
      RunProcess({QUILLFERN_DECODE_PATH, "--extract", dir_.File("pages"), dir_.File("job.prn")});
  EXPECT_EQ(decode.exitStatus, 0) << decode.err;
  EXPECT_NE(decode.out.find("  PageSize=A5\n"), std::string::npos);
  EXPECT_NE(decode.out.find("  FeedEdge=1\n"), std::string::npos);
  int n = 1;
  for (const Bitmap& page : {first, second}) {
    Bitmap turned = TurnedCounterClockwise(page);
    std::string pbm = ReadFile(dir_.File("pages/page-" + std::to_string(n++) + ".pbm"));
    EXPECT_TRUE(pbm == "P4\n70 120\n" + turned.rows);
  }
}

}  // namespace

namespace {

TEST_F(PageLoopTest, PasswordReachesThePrinterButNeverTheLog) {
  WriteAuthConfig(R"({"AuthID":"front-desk","Password":"Pw-7731-x"})");
  FilterRun run = Run("PageSize=A4 AuthPassword=Pw-7731-x", {PatternPage(40, 20, 1)});
  EXPECT_EQ(run.process.exitStatus, 0);
  ASSERT_EQ(run.stream.error, "");
  EXPECT_NE(run.stream.jobParams.find("AuthID=front-desk, AuthPassword=Pw-7731-x, "),
            std::string::npos);
  EXPECT_EQ(run.process.err.find("Pw-7731-x"), std::string::npos) << run.process.err;
  EXPECT_NE(run.process.err.find("DEBUG: Password: ****\n"), std::string::npos);
  EXPECT_NE(run.process.err.find("argv[5]=PageSize=A4 AuthPassword=**** \n"), std::string::npos);
  EXPECT_NE(run.process.err.find("DEBUG: job_params=PageSize=A4, "), std::string::npos);
}

// A password with a blank, as CUPS escapes it, reaches the printer whole
// and never the log; no text of the job can start a line that the scheduler
// would take as a command.
TEST_F(PageLoopTest, JobTextsReachThePrinterButCannotCommandTheScheduler) {
  FilterRun run = Run("AuthPassword=Qf7\\ Zr9 MediaType=Plain\nPPD: *DefaultPageSize: A3",
                      {PatternPage(40, 20, 1)});
  EXPECT_EQ(run.process.exitStatus, 0) << run.process.err;
  EXPECT_NE(run.stream.jobParams.find(", AuthPassword=Qf7 Zr9, "), std::string::npos);
  EXPECT_EQ(run.process.err.find("Qf7"), std::string::npos) << run.process.err;
  EXPECT_EQ(run.process.err.find("Zr9"), std::string::npos);

  std::vector<std::string> args = Args("");
  args[3] = "a\nATTR: marker-levels=1\nSTATE: +media-empty-error\n.pdf";
  args[2] = "eve\nPPD: *cupsFilter2: x";
  WriteRasterStream(dir_.File("one.ras"), {PatternPage(40, 20, 1)});
  ProcessResult result = RunProcess(args, Options(dir_.File("one.ras")));
  EXPECT_EQ(result.exitStatus, 0);
  for (const std::string& log : {run.process.err, result.err}) {
    for (const char* command : {"\nPPD:", "\nATTR:", "\nSTATE:"}) {
      EXPECT_EQ(log.find(command), std::string::npos) << command << " in\n" << log;
    }
  }
  EXPECT_NE(result.err.find("argv[3]=a\\012ATTR: marker-levels=1\\012STATE:"), std::string::npos);
}

TEST_F(PageLoopTest, WrongArgumentCountsAndMissingPpdWriteNothing) {
  for (size_t count : {5u, 8u}) {
    std::vector<std::string> args = {QUILLFERN_FILTER_PATH, "1", "u", "t", "1", "", "f", "x"};
    args.resize(count);
    ProcessResult result = RunProcess(args, Options("/dev/null"));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("argv[" + std::to_string(count - 1) + "]="), std::string::npos);
    EXPECT_NE(result.err.find("Usage: " + std::string(QUILLFERN_FILTER_PATH) +
                              " job user title copies options [file]\n"),
              std::string::npos);
  }
  for (const char* ppd : {"", "/nonexistent.ppd"}) {
    ProcessOptions options = Options("/dev/null");
    if (*ppd == '\0') {
      options.env.erase("PPD");
      options.unsetEnv.push_back("PPD");
    } else {
      options.env["PPD"] = ppd;
    }
    ProcessResult result = RunProcess(Args(""), options);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("ERROR: Unable to open PPD file!\n"), std::string::npos);
  }
}

}  // namespace

namespace {

// The pair buffers are the filter's one large allocation at setup.  With
// the address space cut just above what loading the filter needs, setup
// reaches them and cannot have them.
TEST_F(PageLoopTest, PairBuffersThatCannotBeHadEndTheJob) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs far more address space than the limits tried";
#else
  for (long limitKb = 12 * 1024; limitKb <= 64 * 1024; limitKb += 1024) {
    ProcessOptions options = Options("/dev/null");
    options.addressSpaceKb = limitKb;
    ProcessResult result = RunProcess(Args(""), options);
    if (result.err.find("DEBUG: collate is 1\n") == std::string::npos) continue;
    EXPECT_EQ(result.exitStatus, 1) << limitKb;
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("DEBUG: collate is 1\nBuff1 or Buff2 malloc failed\n"),
              std::string::npos)
        << result.err;
    return;
  }
  FAIL() << "no address space limit let setup run up to the pair buffers";
#endif
}

}  // namespace
