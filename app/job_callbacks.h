// The driver's raster callbacks: the PAPPL side of the conversion core.
// PAPPL calls them in its order (start job, then per page start, lines,
// end, then end job); they push the job's pages into a ConversionJob set up
// exactly as the CUPS filter sets up its jobs.  The printer's bytes go to
// the device, the log to the job's log, and a cancel from any client ends
// the job after the page in hand.  A job first takes its printer's turn
// (app/job_turns.h), and owns a scratch directory that no other job ever
// sees.  The PDF filter (app/job_pdf.h) calls them too.
#ifndef QUILLFERN_APP_JOB_CALLBACKS_H_
#define QUILLFERN_APP_JOB_CALLBACKS_H_

#include <pappl/pappl.h>

#include "app/job_settings.h"

namespace quillfern {

// The job's start: its turn on the printer, then the state saved with the
// job processing (SaveStateNow).  The printer makes a job's copies, so it
// sets options->copies to 1: PAPPL, which would otherwise send every page
// that many times, must not repeat the pages.  The settings are resolved
// and the stream opened at the first page, whose resolution is the job's
// (a PWG or Apple raster job is printed at the resolution it was rendered
// at).  Pages outside the job's page-ranges are skipped here for raster and
// images (Ghostscript selects a PDF's).  A job resolved to a refusal
// (ResolveJob) ends at its start with the reason as its message, before
// anything is sent.  Each callback returns false once the job has ended (failed, or
// cancelled after its page in hand), so that PAPPL stops feeding it.
bool StartAppJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
// After StartAppJob: what the job was resolved to (ResolveJob), or null
// when it did not start.
const ResolvedJob* ResolvedJobOf(pappl_job_t* job);
// For the PDF filter, after StartAppJob: one-bit pages of another size than
// `width` x `height` pixels that follow are laid centred on a sheet of that
// size (pages rendered at their own size, print-scaling none).
void SetPageSheet(pappl_job_t* job, unsigned width, unsigned height);
// After StartAppJob: true when this is a second start of a job PAPPL started
// twice, which the first start prints; the callbacks then do nothing.
bool IsRepeatedStart(pappl_job_t* job);
bool StartAppPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                  unsigned page);
// A received row, as the printer's row.
bool WriteAppLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
                  const unsigned char* line);
bool EndAppPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                unsigned page);
// Ends the job; false when it could not be printed whole, with the reason
// set as the job's message.
bool EndAppJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_CALLBACKS_H_
