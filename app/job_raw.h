// Jobs in the printer's own format (a stream as the CUPS filter writes it,
// kPrintStreamFormat): sent to the device as they are, in the job's turn.
#ifndef QUILLFERN_APP_JOB_RAW_H_
#define QUILLFERN_APP_JOB_RAW_H_

#include <pappl/pappl.h>

namespace quillfern {

// The driver's print-file callback.  A stream is sent whole, even when the
// job is cancelled: the printer must not be left inside a record.
bool PrintRawStream(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_RAW_H_
