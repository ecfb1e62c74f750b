#include "core/output_sequencer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/memory_stream.h"
#include "tests/stream_reader.h"
#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testing_support::MemoryStream;
using testing_support::PrintStream;
using testing_support::ReadPrintStream;
using testing_support::RecordFlags;

const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

std::string SideData(int side) {
  return "jbig data of side " + std::to_string(side);
}
const std::string kBlankData = "jbig data of the blank side";

// Hands the sequencing a job of `sides` raster pages, as the conversion
// core does, and records the stream and the log.
class Job {
 public:
  Job(bool collate, int duplexMode, int copies = 1, int printerCopies = 1)
      : settings_{collate, duplexMode, copies, printerCopies},
        sequencer_(stream_.output(), settings_, AllocatePairBuffers()) {
    WriteJobHeader(stream_.output(), "", 0, "");
    headerBytes_ = stream_.bytes().size();
  }

  // Raster page `rasterPage`, and the blank back side when it needs one.
  void Side(int /*rasterPage*/, bool last, const std::string& data) {
    CaptureStderr();
    ASSERT_TRUE(sequencer_.AddSide({Bytes(data), data.size()}, last));
    if (sequencer_.blankBackSideNeeded()) {
      ASSERT_TRUE(sequencer_.AddBlankBackSide({Bytes(kBlankData), kBlankData.size()}));
    }
    log_ += GetCapturedStderr();
  }

  void Run(int sides) {
    for (int page = 1; page <= sides; ++page) Side(page, page == sides, SideData(page));
  }

  PrintStream Stream(bool requireLastpage = true) {
    return ReadPrintStream(stream_.bytes(), requireLastpage);
  }
  size_t RecordBytes() { return stream_.bytes().size() - headerBytes_; }
  const std::string& log() const { return log_; }
  int32_t emitted() const { return sequencer_.emittedPages(); }

 private:
  SequencingSettings settings_;
  MemoryStream stream_;
  OutputSequencer sequencer_;
  size_t headerBytes_ = 0;
  std::string log_;
};

// With one copy: every side once in raster order, a duplex job padded to an
// even count with the blank side, only the first record firstpage 1 and
// only the last lastpage 1.
TEST(OutputSequencerTest, RecordListForEverySettingAndJobLength) {
  for (bool collate : {true, false}) {
    for (int duplex : {0, 1, 2}) {
      for (int sides : {1, 2, 3, 5}) {
        SCOPED_TRACE("collate " + std::to_string(collate) + " duplex " + std::to_string(duplex) +
                     " sides " + std::to_string(sides));
        Job job(collate, duplex);
        job.Run(sides);
        PrintStream stream = job.Stream();
        ASSERT_EQ(stream.error, "");
        int records = duplex != 0 ? (sides + 1) / 2 * 2 : sides;
        ASSERT_EQ(static_cast<int>(stream.records.size()), records);
        EXPECT_EQ(job.emitted(), records);
        for (int i = 1; i <= records; ++i) {
          const auto& record = stream.records[i - 1];
          EXPECT_EQ(record.firstpage, i == 1 ? 1 : 0);
          EXPECT_EQ(record.lastpage, i == records ? 1 : 0);
          EXPECT_EQ(record.pageno, i);
          EXPECT_EQ(record.data, i <= sides ? SideData(i) : kBlankData);
          EXPECT_EQ(record.datasize, static_cast<int32_t>(record.data.size()));
        }
      }
    }
  }
}

TEST(OutputSequencerTest, UncollatedDuplexWaitsForTheBackSide) {
  Job job(false, 1);
  job.Side(1, false, SideData(1));
  EXPECT_EQ(job.RecordBytes(), 0u);
  EXPECT_NE(job.log().find("DEBUG: m_page 1 buff load collate 0 duplex 1 lastpage is 0\n"
                           "DEBUG: m_page 1 buff1 load \n"
                           "DEBUG: print m_page 1 write jbg done\n"
                           "DEBUG: not handle in even page 1, pass\n"),
            std::string::npos);
  job.Side(2, true, SideData(2));
  EXPECT_EQ(RecordFlags(job.Stream()), "1,0,1 0,1,2");
}

TEST(OutputSequencerTest, UncollatedDuplexThreeSidesLogsThePairSteps) {
  Job job(false, 2);
  job.Run(3);
  EXPECT_EQ(RecordFlags(job.Stream()), "1,0,1 0,0,2 0,0,3 0,1,4");
  const std::string& log = job.log();
  EXPECT_NE(log.find("DEBUG: m_page 3 buff1 load \n"
                     "DEBUG: print m_page 3 write jbg done\n"
                     "DEBUG: extra page 4 lastpage to 1\n"
                     "DEBUG: extra_page m_page 4 buff2 load lastpage is 1\n"
                     "DEBUG: print extra m_page 4 write jbg done\n"
                     "DEBUG: -----------------------------print m_page 4 collate 0 duplex 2 "
                     "copies 1\n"
                     "DEBUG: write page1 3 header done, m_page 3 lastpage is 0\n"
                     "DEBUG: write page1 data done\n"
                     "PAGE: 3 1\n"
                     "DEBUG: page2 lastpage is 1,copies 1,pageno is 4\n"
                     "DEBUG: force lastpage to 1\n"
                     "DEBUG: current lastpage is 1,pageno is 4\n"
                     "DEBUG: write page2 4 header done, m_page 4 lastpage is 1\n"
                     "DEBUG: write page2 data done\n"
                     "PAGE: 4 1\n"
                     "DEBUG: #####################write 2pages duplex done\n"),
            std::string::npos)
      << log;
}

TEST(OutputSequencerTest, CollatedDuplexOddJobWritesTheBlankWithoutDataLine) {
  Job job(true, 1);
  job.Run(3);
  EXPECT_EQ(RecordFlags(job.Stream()), "1,0,1 0,0,2 0,0,3 0,1,4");
  const std::string& log = job.log();
  EXPECT_NE(log.find("DEBUG: print m_page 3 collate 1 duplex 1 copies 1\n"
                     "DEBUG: current lastpage is 0 pageno is 3\n"
                     "DEBUG: write page 3 header done\n"
                     "DEBUG: write page data done\n"
                     "PAGE: 3 1\n"
                     "DEBUG: print m_page 3 write jbg done\n"
                     "DEBUG: extra page 4 lastpage to 1\n"
                     "DEBUG: current lastpage is 1 pageno 4\n"
                     "DEBUG: write page 4 header done\n"
                     "PAGE: 4 1\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(testing_support::CountOf(log, "DEBUG: write page data done\n"), 3);
}

TEST(OutputSequencerTest, UncollatedOneSidedForcesTheLastPageOnce) {
  Job job(false, 0);
  job.Run(2);
  EXPECT_EQ(testing_support::CountOf(job.log(), "DEBUG: force lastpage to 1\n"), 1);
  EXPECT_EQ(job.log().find("force lastpage to 0"), std::string::npos);
  EXPECT_NE(job.log().find("DEBUG: m_page 2 buff load collate 0 duplex 0 \n"
                           "DEBUG: print m_page 2 collate 0 duplex 0 copies 1\n"
                           "DEBUG: force lastpage to 1\n"
                           "DEBUG: current lastpage is 1 pageno is 2\n"
                           "DEBUG: write page 2 header done\n"
                           "DEBUG: write page data done\n"),
            std::string::npos);
}

TEST(OutputSequencerTest, CountOfThreeRepeatsUncollatedSidesAndPairs) {
  Job oneSided(false, 0, 3);
  oneSided.Run(2);
  EXPECT_EQ(RecordFlags(oneSided.Stream()), "1,0,1 1,0,2 1,0,3 0,0,4 0,0,5 0,1,6");
  EXPECT_EQ(testing_support::CountOf(oneSided.log(), "DEBUG: force lastpage to 0\n"), 2);

  Job duplex(false, 1, 3);
  duplex.Run(3);
  PrintStream stream = duplex.Stream();
  EXPECT_EQ(RecordFlags(stream),
            "1,0,1 0,0,2 1,0,3 0,0,4 1,0,5 0,0,6 "
            "0,0,7 0,0,8 0,0,9 0,0,10 0,0,11 0,1,12");
  std::vector<std::string> order;
  for (const auto& record : stream.records) order.push_back(record.data);
  EXPECT_EQ(order[4], SideData(1));
  EXPECT_EQ(order[5], SideData(2));
  EXPECT_EQ(order[10], SideData(3));
  EXPECT_EQ(order[11], kBlankData);

  // Collated: each side once whatever the count, and the blank side is
  // written with lastpage 0 as the first of several prints.
  Job collated(true, 1, 3);
  collated.Run(1);
  EXPECT_EQ(RecordFlags(collated.Stream(/*requireLastpage=*/false)), "1,0,1 0,0,2");
  EXPECT_NE(collated.log().find(
                "DEBUG: force extra lastpage 1 to 0 as the first print when copies is 3\n"),
            std::string::npos);
}

// CUPS counts impressions from one PAGE line per record, with the copies
// the printer makes of it.
TEST(OutputSequencerTest, EveryRecordIsCountedForCups) {
  for (bool collate : {true, false}) {
    for (int duplex : {0, 1}) {
      Job job(collate, duplex, 1, 3);
      job.Run(3);
      int records = duplex != 0 ? 4 : 3;
      EXPECT_EQ(testing_support::CountOf(job.log(), "PAGE: "), records);
      for (int pageno = 1; pageno <= records; ++pageno) {
        EXPECT_NE(job.log().find("PAGE: " + std::to_string(pageno) + " 3\n"), std::string::npos);
      }
    }
  }
}

TEST(OutputSequencerTest, HeldSideLargerThanThePairBufferIsWrittenWhole) {
  std::string huge(5 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < huge.size(); ++i) huge[i] = static_cast<char>(i * 131 + (i >> 9));
  std::string back(kPairBufferBytes + 1, 'b');
  Job job(false, 1);
  job.Side(1, false, huge);
  job.Side(2, false, back);
  job.Side(3, true, huge);
  PrintStream stream = job.Stream();
  ASSERT_EQ(stream.error, "");
  ASSERT_EQ(stream.records.size(), 4u);
  EXPECT_EQ(stream.records[0].data, huge);
  EXPECT_EQ(stream.records[1].data, back);
  EXPECT_EQ(stream.records[2].data, huge);
  EXPECT_EQ(stream.records[3].data, kBlankData);
}

}  // namespace
