// PDF, the format clients send most: Ghostscript renders it to one-bit PWG
// raster at the job's resolution, the pages of its page-ranges laid on the
// sheet as its print-scaling asks (app/job_ghostscript.h), and its pages
// go through the driver's raster callbacks like any raster job.
// Ghostscript is stopped at once when the job is cancelled or can go no
// further, and a document it cannot render whole aborts the job with a
// reason the client sees.
#ifndef QUILLFERN_APP_JOB_PDF_H_
#define QUILLFERN_APP_JOB_PDF_H_

#include <pappl/pappl.h>

namespace quillfern {

// PAPPL's filter callback for application/pdf.
bool FilterPdf(pappl_job_t* job, pappl_device_t* device, void* context);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_PDF_H_
