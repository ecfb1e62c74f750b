// Jobs a crash interrupted.  PAPPL 1.3.1 reloads a job that was processing
// when the server died as processing, and nothing ever finishes it: it
// stays "processing", a cancel leaves it "canceling", and the server cannot
// stop while it is there.  It must not print again either (part of it may be
// on paper).  PAPPL has no call that changes a job's state, but it loads a
// job whose spooled document is missing as aborted: so before the state is
// loaded, the interrupted jobs' documents are moved aside, and once it is
// loaded they get their message and the documents go.
//
// A job was interrupted when it was marked as sending (app/state_job_marks.h:
// its turn had come), or when its scratch directory is still in the spool
// directory.  A job the state file says was processing but that was only
// waiting for its turn goes back to pending, and the holds the job order
// had put on pending jobs are released.
#ifndef QUILLFERN_APP_STATE_INTERRUPTED_JOBS_H_
#define QUILLFERN_APP_STATE_INTERRUPTED_JOBS_H_

#include <pappl/pappl.h>

#include <string>
#include <vector>

namespace quillfern {

constexpr char kInterruptedMessage[] = "interrupted by a restart of the printer application";

struct InterruptedJob {
  std::string printer;  // the printer's name
  int jobId = 0;
  std::string document;  // the spooled document, moved aside to document + ".interrupted"
};

// Reads `stateFile`, the scratch directories in `spool` (which may be
// empty) and the marks in `stateDirectory`, moves the documents of
// interrupted jobs aside, returns waiting jobs to pending in the state
// file, and removes the scratch directories and the sending marks.  Call
// before papplSystemLoadState.
std::vector<InterruptedJob> SetInterruptedJobsAside(const std::string& stateFile,
                                                    const std::string& spool,
                                                    const std::string& stateDirectory);

// Once the state is loaded: releases the jobs the job order held.
void ReleaseMarkedHolds(pappl_system_t* system, const std::string& stateDirectory);

// Once the state is loaded: each interrupted job gets its message, and its
// document is removed.
void MarkInterruptedJobs(pappl_system_t* system, const std::vector<InterruptedJob>& jobs);

}  // namespace quillfern

#endif  // QUILLFERN_APP_STATE_INTERRUPTED_JOBS_H_
