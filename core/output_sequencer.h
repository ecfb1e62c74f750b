// Decides when, how often and with which record number and last-page flag
// each encoded page side goes into the print stream: at once when collated
// or one-sided, or held in two pair slots and written as front and back of
// one sheet in an uncollated duplex job.
#ifndef QUILLFERN_CORE_OUTPUT_SEQUENCER_H_
#define QUILLFERN_CORE_OUTPUT_SEQUENCER_H_

#include <cstddef>
#include <cstdint>

#include "common/owners.h"
#include "core/stream_writer.h"

namespace quillfern {

constexpr size_t kPairBufferBytes = 4194304;  // 4 MiB per pair slot

// The two pair buffers, allocated once per job at setup.
struct PairBuffers {
  MallocPtr<unsigned char[]> buff1;
  MallocPtr<unsigned char[]> buff2;
};

// Both buffers at kPairBufferBytes, or both null when either cannot be had.
PairBuffers AllocatePairBuffers();

struct SequencingSettings {
  bool collate = true;
  int32_t duplexMode = 0;  // 0 none, 1 long edge, 2 short edge
  int32_t copies = 1;
  // The copies the printer makes of every record (the job's requested
  // count), reported to CUPS for its page accounting.
  int32_t printerCopies = 1;
};

// An encoded page side: its JBIG file in memory.
struct EncodedSide {
  const unsigned char* data = nullptr;
  size_t size = 0;
};

// Takes the job's encoded sides in order and decides everything about
// their records: the first-page and last-page flags, the running record
// number, whether a duplex job that ends on a front side needs a blank back
// side, and which sides wait in the pair slots for their sheet.
class OutputSequencer {
 public:
  OutputSequencer(PrinterOutput& out, const SequencingSettings& settings, PairBuffers buffers);

  // The next raster side; `last` when the job ends with it.  Writes it at
  // once or holds it for its pair.  `cancelling` when a cancel arrived
  // after `last` was decided: a duplex job still ends its sheet with a
  // blank back side then.  False only when the side cannot be held.
  bool AddSide(const EncodedSide& side, bool last, bool cancelling = false);

  // After the last side: the job ended on a front side of a duplex job, so
  // a blank back side must follow (AddBlankBackSide) as its last record.
  bool blankBackSideNeeded() const { return blankBackSideNeeded_; }

  // The blank back side, encoded.  False only when it cannot be held.
  bool AddBlankBackSide(const EncodedSide& blank);

  // The sides added so far, the blank one included.
  int32_t sidesAdded() const { return mPage_; }
  int32_t emittedPages() const { return emittedPages_; }

 private:
  // A pair buffer with the header and byte count of the side it holds.
  struct PairSlot {
    MallocPtr<unsigned char[]> buffer;
    size_t capacity = 0;
    printer_header header;
    int64_t byteCount = -1;  // -1: empty
  };

  bool Load(PairSlot& slot, const printer_header& header, const unsigned char* data, size_t size);
  int32_t NextPageNumber() { return ++emittedPages_; }
  // Tells CUPS that a record went out and how many impressions it makes.
  void CountRecord(int32_t pageno) const;
  bool EmitPageSide(printer_header& header, const EncodedSide& side, bool last);
  void EmitRepeated(printer_header& header, const EncodedSide& side, bool last);
  void WriteSide(printer_header& header, const EncodedSide& side);
  void EmitOnce(printer_header& header, const EncodedSide& side);
  bool EmitBlankPage(printer_header& blank, const EncodedSide& side);
  // At the end of every side: writes a complete duplex pair.
  void PairStep();
  void WriteHeldSide(PairSlot& slot, int32_t lastpage);

  bool duplex() const { return settings_.duplexMode != 0; }

  PrinterOutput& out_;
  SequencingSettings settings_;
  int32_t mPage_ = 0;
  int32_t copiesLeft_ = 0;
  int32_t emittedPages_ = 0;
  bool blankBackSideNeeded_ = false;
  PairSlot slot1_;
  PairSlot slot2_;
};

}  // namespace quillfern

#endif  // QUILLFERN_CORE_OUTPUT_SEQUENCER_H_
