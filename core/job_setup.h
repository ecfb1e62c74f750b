// Job setup: everything the filter does before it reads the first raster
// page.  It resolves the job's settings from the command line, the options,
// the PPD, the host name and the authentication file into the job parameter
// table, checks which combinations the printer can print in duplex, and
// serialises the table into the job_params text for the Job header.
#ifndef QUILLFERN_CORE_JOB_SETUP_H_
#define QUILLFERN_CORE_JOB_SETUP_H_

#include <cstdint>

#include "core/output_sequencer.h"
#include "params/job_params.h"

namespace quillfern {

// The settings the page loop and the output sequencing read.
struct JobSettings {
  int32_t jobId = 0;
  bool collate = true;
  int32_t duplexMode = 0;       // 0 none, 1 DuplexNoTumble, 2 DuplexTumble
  int32_t feedEdge = 0;         // 1 when FeedEdge "1" is marked
  int32_t Flag_Page_A5 = 0;     // 1 when PageSize "A5" is marked
  int32_t mediaClass = 0;       // 0 plain or recycled, 1 thin, 2 thick
  int32_t copies = 1;           // the printer makes the copies; see setup
  int32_t requestedCopies = 1;  // argument 4, at least 1: what the printer makes
};

// What setup hands to the page loop.  Owned by main for the whole job.
struct JobSetup {
  JobSettings settings;
  JobParamTable table;
  char job_params[kJobParamsBufferSize] = {};
  int32_t job_params_size = 0;
  char loggedJobParams[kJobParamsBufferSize] = {};  // job_params, secrets masked
  PairBuffers buffers;
};

// Where setup reads its inputs besides the command line.
struct SetupSources {
  const char* ppdPath = nullptr;   // the PPD environment variable; may be null
  const char* authPath = nullptr;  // the authentication file
  const char* ppdText = nullptr;   // when ppdPath is null: the PPD itself,
                                   // built into a front end
};

// Marker result: setup finished and the page loop may run.
constexpr int kSetupDone = -1;

// Runs setup.  Returns kSetupDone, or the exit status when the job must end
// now: 1 for a wrong argument count, unobtainable pair buffers or a PPD that
// cannot be opened.
int SetupJob(int argc, char* argv[], const SetupSources& sources, JobSetup& job);

// The integer at the start of `text` (leading blanks and a sign allowed), 0
// when there is none, clamped to the 32-bit range.
int32_t LeadingInteger(const char* text);

}  // namespace quillfern

#endif  // QUILLFERN_CORE_JOB_SETUP_H_
