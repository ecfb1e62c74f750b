#include "filter/output_sequencer.h"

#include "common/log.h"

#include <cstdio>
#include <cstring>
#include <utility>

using quillfern::LogPrintf;
using quillfern::LogPuts;

PairBuffers AllocatePairBuffers() {
  PairBuffers buffers;
  buffers.buff1.reset(static_cast<unsigned char*>(malloc(kPairBufferBytes)));
  buffers.buff2.reset(static_cast<unsigned char*>(malloc(kPairBufferBytes)));
  if (!buffers.buff1 || !buffers.buff2) return PairBuffers{};
  return buffers;
}

OutputSequencer::OutputSequencer(PrinterOutput& out, const SequencingSettings& settings,
                                 PairBuffers buffers)
    : out_(out), settings_(settings) {
  slot1_.buffer = std::move(buffers.buff1);
  slot1_.capacity = slot1_.buffer ? kPairBufferBytes : 0;
  slot2_.buffer = std::move(buffers.buff2);
  slot2_.capacity = slot2_.buffer ? kPairBufferBytes : 0;
}

// Holds a side for its pair.  A side larger than the slot (a noisy page can
// encode to more than 4 MiB) grows the slot, so it is never cut or overrun.
bool OutputSequencer::Load(PairSlot& slot, const printer_header& header, const unsigned char* data,
                           size_t size) {
  if (size > slot.capacity) {
    void* grown = realloc(slot.buffer.get(), size);
    if (grown == nullptr) {
      LogPrintf("ERROR: cannot hold a page side of %zu bytes for its duplex pair\n", size);
      return false;
    }
    (void)slot.buffer.release();
    slot.buffer.reset(static_cast<unsigned char*>(grown));
    slot.capacity = size;
  }
  slot.header.lastpage = header.lastpage;
  slot.header.datasize = header.datasize;
  slot.header.pageno = header.pageno;
  slot.header.firstpage = header.firstpage;
  slot.byteCount = static_cast<int64_t>(size);
  if (size > 0) memcpy(slot.buffer.get(), data, size);
  return true;
}

void OutputSequencer::CountRecord(int32_t pageno) const {
  LogPrintf("PAGE: %d %d\n", pageno, settings_.printerCopies);
}

bool OutputSequencer::EmitPageSide(printer_header& header, const unsigned char* data, size_t size,
                                   int32_t mPage, int32_t noMorePages, int32_t& copiesLeft) {
  const int collate = settings_.collate ? 1 : 0;
  if (!settings_.collate && duplex()) {
    LogPrintf("DEBUG: m_page %d buff load collate %d duplex %d lastpage is %d\n", mPage,
            collate, settings_.duplexMode, header.lastpage);
    if (mPage % 2 != 0) {
      if (!Load(slot1_, header, data, size)) return false;
      LogPrintf("DEBUG: m_page %d buff1 load \n", mPage);
    } else {
      if (!Load(slot2_, header, data, size)) return false;
      LogPrintf("DEBUG: m_page %d buff2 load \n", mPage);
    }
    return true;
  }
  if (!settings_.collate) {
    EmitRepeated(header, data, size, mPage, noMorePages, copiesLeft);
  } else {
    EmitOnce(header, data, size, mPage, copiesLeft);
  }
  return true;
}

// Writes a side that is not held, as the next record, with its own lastpage.
void OutputSequencer::WriteSide(printer_header& header, const unsigned char* data, size_t size,
                                int32_t mPage) {
  header.pageno = NextPageNumber();
  LogPrintf("DEBUG: current lastpage is %d pageno is %d\n", header.lastpage, mPage);
  WritePageHeader(out_, header, header.lastpage);
  LogPrintf("DEBUG: write page %d header done\n", header.pageno);
  WritePageData(out_, data, size);
  LogPuts("DEBUG: write page data done\n");
  CountRecord(header.pageno);
}

// Uncollated one-sided: the side is written once per copy in a row; only
// the last copy of the last page ends the job.
void OutputSequencer::EmitRepeated(printer_header& header, const unsigned char* data, size_t size,
                                   int32_t mPage, int32_t noMorePages, int32_t& copiesLeft) {
  const int collate = settings_.collate ? 1 : 0;
  LogPrintf("DEBUG: m_page %d buff load collate %d duplex %d \n", mPage, collate,
          settings_.duplexMode);
  do {
    LogPrintf("DEBUG: print m_page %d collate %d duplex %d copies %d\n", mPage, collate,
            settings_.duplexMode, copiesLeft);
    if (copiesLeft > 1 && noMorePages == 1) {
      LogPuts("DEBUG: force lastpage to 0\n");
      header.lastpage = 0;
    }
    if (copiesLeft == 1 && noMorePages == 1) {
      LogPuts("DEBUG: force lastpage to 1\n");
      header.lastpage = 1;
    }
    WriteSide(header, data, size, mPage);
    --copiesLeft;
  } while (copiesLeft > 0);
}

// Collated: the side is written once, as soon as it is encoded; the printer
// makes the copies of a collated job itself.
void OutputSequencer::EmitOnce(printer_header& header, const unsigned char* data, size_t size,
                               int32_t mPage, int32_t& copiesLeft) {
  LogPrintf("DEBUG: print m_page %d collate %d duplex %d copies %d\n", mPage,
          settings_.collate ? 1 : 0, settings_.duplexMode, copiesLeft);
  WriteSide(header, data, size, mPage);
  --copiesLeft;
}

bool OutputSequencer::EmitBlankPage(printer_header& blank, const unsigned char* data, size_t size,
                                    int32_t mPage) {
  if (!settings_.collate) {
    if (!Load(slot2_, blank, data, size)) return false;
    LogPrintf("DEBUG: extra_page m_page %d buff2 load lastpage is %d\n", mPage,
            slot2_.header.lastpage);
    return true;
  }
  LogPrintf("DEBUG: current lastpage is %d pageno %d\n", blank.lastpage, mPage);
  int32_t lastpage = blank.lastpage;
  if (settings_.copies > 1 && lastpage == 1) {
    LogPrintf("DEBUG: force extra lastpage %d to 0 as the first print when copies is %d\n",
            lastpage, settings_.copies);
    lastpage = 0;
  }
  blank.pageno = NextPageNumber();
  WritePageHeader(out_, blank, lastpage);
  LogPrintf("DEBUG: write page %d header done\n", blank.pageno);
  WritePageData(out_, data, size);
  CountRecord(blank.pageno);
  return true;
}

void OutputSequencer::PairStep(int32_t mPage, int32_t& copiesLeft) {
  if (settings_.collate || !duplex()) return;
  if (mPage % 2 != 0) {
    LogPrintf("DEBUG: not handle in even page %d, pass\n", mPage);
    return;
  }
  // Both slots are loaded before any even side is reached; an empty slot
  // here would mean a side went missing, and nothing is written from it.
  if (slot1_.byteCount < 0 || slot2_.byteCount < 0) return;

  const int collate = settings_.collate ? 1 : 0;
  do {
    LogPrintf("DEBUG: -----------------------------print m_page %d collate %d duplex %d "
            "copies %d\n",
            mPage, collate, settings_.duplexMode, copiesLeft);

    slot1_.header.pageno = NextPageNumber();
    WritePageHeader(out_, slot1_.header, slot1_.header.lastpage);
    LogPrintf("DEBUG: write page1 %d header done, m_page %d lastpage is %d\n",
            slot1_.header.pageno, mPage - 1, slot1_.header.lastpage);
    WritePageData(out_, slot1_.buffer.get(), static_cast<size_t>(slot1_.byteCount));
    LogPuts("DEBUG: write page1 data done\n");
    CountRecord(slot1_.header.pageno);

    const int32_t keptLastpage = slot2_.header.lastpage;
    LogPrintf("DEBUG: page2 lastpage is %d,copies %d,pageno is %d\n", keptLastpage,
            copiesLeft, mPage);
    int32_t lastpage = keptLastpage;
    if (copiesLeft > 1 && keptLastpage == 1) {
      LogPuts("DEBUG: force lastpage to 0\n");
      lastpage = 0;
    }
    if (copiesLeft == 1 && keptLastpage == 1) {
      LogPuts("DEBUG: force lastpage to 1\n");
      lastpage = 1;
    }
    LogPrintf("DEBUG: current lastpage is %d,pageno is %d\n", lastpage, mPage);

    slot2_.header.pageno = NextPageNumber();
    WritePageHeader(out_, slot2_.header, lastpage);
    LogPrintf("DEBUG: write page2 %d header done, m_page %d lastpage is %d\n",
            slot2_.header.pageno, mPage, lastpage);
    WritePageData(out_, slot2_.buffer.get(), static_cast<size_t>(slot2_.byteCount));
    LogPuts("DEBUG: write page2 data done\n");
    CountRecord(slot2_.header.pageno);

    --copiesLeft;
    LogPuts("DEBUG: #####################write 2pages duplex done\n");
  } while (copiesLeft > 0);
}
