// Decides when, how often and with which record number and last-page flag
// each encoded page side goes into the print stream: at once when collated
// or one-sided, or held in two pair slots and written as front and back of
// one sheet in an uncollated duplex job.
#ifndef QUILLFERN_FILTER_OUTPUT_SEQUENCER_H_
#define QUILLFERN_FILTER_OUTPUT_SEQUENCER_H_

#include <cstddef>
#include <cstdint>

#include "common/unique_file.h"
#include "filter/printer_stream.h"

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

class OutputSequencer {
 public:
  OutputSequencer(PrinterOutput& out, const SequencingSettings& settings, PairBuffers buffers);

  // Step 1: a raster page side, with its header as the page loop filled it.
  // Returns false only when a held side cannot be stored.
  bool EmitPageSide(printer_header& header, const unsigned char* data, size_t size, int32_t mPage,
                    int32_t noMorePages, int32_t& copiesLeft);

  // Step 2: the blank back side added after an odd last side of a duplex job.
  bool EmitBlankPage(printer_header& blank, const unsigned char* data, size_t size, int32_t mPage);

  // Step 3, at the end of every iteration: writes a complete duplex pair.
  void PairStep(int32_t mPage, int32_t& copiesLeft);

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
  void EmitRepeated(printer_header& header, const unsigned char* data, size_t size, int32_t mPage,
                    int32_t noMorePages, int32_t& copiesLeft);
  void WriteSide(printer_header& header, const unsigned char* data, size_t size, int32_t mPage);
  void EmitOnce(printer_header& header, const unsigned char* data, size_t size, int32_t mPage,
                int32_t& copiesLeft);

  bool duplex() const { return settings_.duplexMode != 0; }

  PrinterOutput& out_;
  SequencingSettings settings_;
  int32_t emittedPages_ = 0;
  PairSlot slot1_;
  PairSlot slot2_;
};

#endif  // QUILLFERN_FILTER_OUTPUT_SEQUENCER_H_
