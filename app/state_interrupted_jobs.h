// Jobs a crash interrupted.  PAPPL 1.3.1 reloads a job that was processing
// when the server died as processing, and nothing ever finishes it: it
// stays "processing", a cancel leaves it "canceling", and the server cannot
// stop while it is there.  It must not print again either (part of it may be
// on paper).  PAPPL has no call that changes a job's state, but it loads a
// job whose spooled document is missing as aborted: so before the state is
// loaded, the interrupted jobs' documents are moved aside, and once it is
// loaded they get their message and the documents go.
//
// A job was interrupted when the state file says it was processing, or when
// its scratch directory is still in the spool directory (the state file is
// written only now and then, and may still say pending).
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

// Reads `stateFile` and the scratch directories in `spool` (which may be
// empty), moves the documents of interrupted jobs aside, and removes the
// scratch directories.  Call before papplSystemLoadState.
std::vector<InterruptedJob> SetInterruptedJobsAside(const std::string& stateFile,
                                                    const std::string& spool);

// Once the state is loaded: each interrupted job gets its message, and its
// document is removed.
void MarkInterruptedJobs(pappl_system_t* system, const std::vector<InterruptedJob>& jobs);

}  // namespace quillfern

#endif  // QUILLFERN_APP_STATE_INTERRUPTED_JOBS_H_
