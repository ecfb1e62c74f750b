// One job at a time on each printer, oldest first.
//
// PAPPL 1.3.1 decides when a job starts, and two of its habits would mix
// jobs on the printer: when Print-Job requests for one printer arrive
// together it can start several of their jobs at once on one shared device
// (it checks for a processing job before the job it started has said so),
// and of the jobs waiting it starts the newest first (its active-jobs list
// is kept newest first).  The application cannot change either, so a job
// takes its printer's turn before it sends anything:
//
// - it waits while an older job of the same printer is processing (one that
//   PAPPL started at the same time), so a printer's jobs reach its device
//   one after the other, whole, in the order they were accepted;
// - when its turn ends it holds, for a moment, the pending jobs of its
//   printer that are newer than the oldest pending one, so that PAPPL's
//   next start is the oldest; the next job releases them as it starts.
//
// A job waiting for its turn can still be cancelled.  A job whose turn has
// come is marked as sending, and each job a turn holds back is marked as
// held (app/state_job_marks.h), so that the next start after a crash knows
// which jobs may be on paper and which holds were the application's.
#ifndef QUILLFERN_APP_JOB_TURNS_H_
#define QUILLFERN_APP_JOB_TURNS_H_

#include <pappl/pappl.h>

#include <vector>

namespace quillfern {

class PrinterTurn {
 public:
  explicit PrinterTurn(pappl_job_t* job) : job_(job) {}
  ~PrinterTurn();
  PrinterTurn(const PrinterTurn&) = delete;
  PrinterTurn& operator=(const PrinterTurn&) = delete;

  enum Result {
    kGo,              // the job's turn: print it
    kCancelled,       // the job was cancelled while it waited
    kAlreadyPrinted,  // PAPPL started this same job twice; the other start
                      // printed it, and this one must leave it alone
  };
  // Waits for the job's turn.  A start of the job that already holds its
  // turn (a filter takes it before it reads the document, then PAPPL's
  // callbacks ask again on the same thread) gets kGo at once; that second
  // PrinterTurn releases nothing, the first one does.
  Result Take();

 private:
  pappl_job_t* job_;
  bool taken_ = false;
  bool sending_ = false;  // its turn came: marked as sending until it ends
};

// The ids of the printer's active jobs in `state`.  (PAPPL's iteration
// holds the printer's lock, which calls on a job may take too: act on the
// ids afterwards.)
std::vector<int> ActiveJobIds(pappl_printer_t* printer, ipp_jstate_t state);

// Releases the jobs a finished turn held when no job of the printer has
// taken its turn since (the job that was to start next was cancelled, or the
// printer was stopped): for a periodic check.
void ReleaseIdleHolds(pappl_printer_t* printer);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_TURNS_H_
