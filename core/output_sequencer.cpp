#include "core/output_sequencer.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "common/log.h"

namespace quillfern {

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

bool OutputSequencer::AddSide(const EncodedSide& side, bool last, bool cancelling) {
  ++mPage_;
  copiesLeft_ = settings_.copies;
  printer_header header;
  header.pageno = mPage_;
  header.firstpage = mPage_ == 1 ? 1 : 0;
  // A duplex job that ends on a front side ends with a blank back side.
  blankBackSideNeeded_ = (last || cancelling) && duplex() && mPage_ % 2 != 0;
  header.lastpage = last && !blankBackSideNeeded_ ? 1 : 0;
  header.datasize = static_cast<int32_t>(side.size);
  if (!EmitPageSide(header, side, last)) return false;
  LogPrintf("DEBUG: print m_page %d write jbg done\n", mPage_);
  if (!blankBackSideNeeded_) PairStep();
  return true;
}

bool OutputSequencer::AddBlankBackSide(const EncodedSide& blank) {
  ++mPage_;
  printer_header header;
  header.pageno = mPage_;
  header.firstpage = 0;
  header.lastpage = 1;
  LogPrintf("DEBUG: extra page %d lastpage to 1\n", mPage_);
  header.datasize = static_cast<int32_t>(blank.size);
  if (!EmitBlankPage(header, blank)) return false;
  LogPrintf("DEBUG: print extra m_page %d write jbg done\n", mPage_);
  blankBackSideNeeded_ = false;
  PairStep();
  return true;
}

bool OutputSequencer::EmitPageSide(printer_header& header, const EncodedSide& side, bool last) {
  const int collate = settings_.collate ? 1 : 0;
  if (!settings_.collate && duplex()) {
    LogPrintf("DEBUG: m_page %d buff load collate %d duplex %d lastpage is %d\n", mPage_, collate,
              settings_.duplexMode, header.lastpage);
    const bool front = mPage_ % 2 != 0;
    if (!Load(front ? slot1_ : slot2_, header, side.data, side.size)) return false;
    LogPrintf("DEBUG: m_page %d %s load \n", mPage_, front ? "buff1" : "buff2");
    return true;
  }
  if (!settings_.collate) {
    EmitRepeated(header, side, last);
  } else {
    EmitOnce(header, side);
  }
  return true;
}

// Writes a side that is not held, as the next record, with its own lastpage.
void OutputSequencer::WriteSide(printer_header& header, const EncodedSide& side) {
  header.pageno = NextPageNumber();
  LogPrintf("DEBUG: current lastpage is %d pageno is %d\n", header.lastpage, mPage_);
  WritePageHeader(out_, header, header.lastpage);
  LogPrintf("DEBUG: write page %d header done\n", header.pageno);
  WritePageData(out_, side.data, side.size);
  LogPuts("DEBUG: write page data done\n");
  CountRecord(header.pageno);
}

// Uncollated one-sided: the side is written once per copy in a row; only
// the last copy of the last page ends the job.
void OutputSequencer::EmitRepeated(printer_header& header, const EncodedSide& side, bool last) {
  const int collate = settings_.collate ? 1 : 0;
  LogPrintf("DEBUG: m_page %d buff load collate %d duplex %d \n", mPage_, collate,
            settings_.duplexMode);
  do {
    LogPrintf("DEBUG: print m_page %d collate %d duplex %d copies %d\n", mPage_, collate,
              settings_.duplexMode, copiesLeft_);
    if (copiesLeft_ > 1 && last) {
      LogPuts("DEBUG: force lastpage to 0\n");
      header.lastpage = 0;
    }
    if (copiesLeft_ == 1 && last) {
      LogPuts("DEBUG: force lastpage to 1\n");
      header.lastpage = 1;
    }
    WriteSide(header, side);
    --copiesLeft_;
  } while (copiesLeft_ > 0);
}

// Collated: the side is written once, as soon as it is encoded; the printer
// makes the copies of a collated job itself.
void OutputSequencer::EmitOnce(printer_header& header, const EncodedSide& side) {
  LogPrintf("DEBUG: print m_page %d collate %d duplex %d copies %d\n", mPage_,
            settings_.collate ? 1 : 0, settings_.duplexMode, copiesLeft_);
  WriteSide(header, side);
  --copiesLeft_;
}

bool OutputSequencer::EmitBlankPage(printer_header& blank, const EncodedSide& side) {
  if (!settings_.collate) {
    if (!Load(slot2_, blank, side.data, side.size)) return false;
    LogPrintf("DEBUG: extra_page m_page %d buff2 load lastpage is %d\n", mPage_,
              slot2_.header.lastpage);
    return true;
  }
  LogPrintf("DEBUG: current lastpage is %d pageno %d\n", blank.lastpage, mPage_);
  int32_t lastpage = blank.lastpage;
  if (settings_.copies > 1 && lastpage == 1) {
    LogPrintf("DEBUG: force extra lastpage %d to 0 as the first print when copies is %d\n",
              lastpage, settings_.copies);
    lastpage = 0;
  }
  blank.pageno = NextPageNumber();
  WritePageHeader(out_, blank, lastpage);
  LogPrintf("DEBUG: write page %d header done\n", blank.pageno);
  WritePageData(out_, side.data, side.size);
  CountRecord(blank.pageno);
  return true;
}

// Writes a held side as the next record: the front ("page1") or the back
// ("page2") of the sheet.
void OutputSequencer::WriteHeldSide(PairSlot& slot, int32_t lastpage) {
  const bool front = &slot == &slot1_;
  const int32_t side = front ? mPage_ - 1 : mPage_;
  slot.header.pageno = NextPageNumber();
  WritePageHeader(out_, slot.header, lastpage);
  LogPrintf("DEBUG: write page%d %d header done, m_page %d lastpage is %d\n", front ? 1 : 2,
            slot.header.pageno, side, lastpage);
  WritePageData(out_, slot.buffer.get(), static_cast<size_t>(slot.byteCount));
  LogPrintf("DEBUG: write page%d data done\n", front ? 1 : 2);
  CountRecord(slot.header.pageno);
}

void OutputSequencer::PairStep() {
  if (settings_.collate || !duplex()) return;
  if (mPage_ % 2 != 0) {
    LogPrintf("DEBUG: not handle in even page %d, pass\n", mPage_);
    return;
  }
  // Both slots are loaded before any even side is reached; an empty slot
  // here would mean a side went missing, and nothing is written from it.
  if (slot1_.byteCount < 0 || slot2_.byteCount < 0) return;

  do {
    LogPrintf(
        "DEBUG: -----------------------------print m_page %d collate %d duplex %d copies %d\n",
        mPage_, settings_.collate ? 1 : 0, settings_.duplexMode, copiesLeft_);
    WriteHeldSide(slot1_, slot1_.header.lastpage);

    const int32_t keptLastpage = slot2_.header.lastpage;
    LogPrintf("DEBUG: page2 lastpage is %d,copies %d,pageno is %d\n", keptLastpage, copiesLeft_,
              mPage_);
    int32_t lastpage = keptLastpage;
    if (copiesLeft_ > 1 && keptLastpage == 1) {
      LogPuts("DEBUG: force lastpage to 0\n");
      lastpage = 0;
    }
    if (copiesLeft_ == 1 && keptLastpage == 1) {
      LogPuts("DEBUG: force lastpage to 1\n");
      lastpage = 1;
    }
    LogPrintf("DEBUG: current lastpage is %d,pageno is %d\n", lastpage, mPage_);
    WriteHeldSide(slot2_, lastpage);

    --copiesLeft_;
    LogPuts("DEBUG: #####################write 2pages duplex done\n");
  } while (copiesLeft_ > 0);
}

}  // namespace quillfern
