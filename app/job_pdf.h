// PDF, the format clients send most: Ghostscript renders it to one-bit PWG
// raster at the job's resolution, and its pages go through the driver's
// raster callbacks like any raster job.  Ghostscript is stopped at once when
// the job is cancelled or can go no further, and a document it cannot render
// whole aborts the job with a reason the client sees.
#ifndef QUILLFERN_APP_JOB_PDF_H_
#define QUILLFERN_APP_JOB_PDF_H_

#include <pappl/pappl.h>

#include <string>
#include <vector>

namespace quillfern {

// PAPPL's filter callback for application/pdf.
bool FilterPdf(pappl_job_t* job, pappl_device_t* device, void* context);

// Ghostscript's command line: one-bit black PWG raster of a sheet of
// `width` x `length` hundredths of millimetres at `resolution` dpi, on
// standard output.
std::vector<std::string> GhostscriptArguments(const char* pdf, int resolution, int width,
                                              int length);

// Why a document Ghostscript rendered into `pages` pages, ending with wait
// status `status` and saying `messages`, was not printed whole (the text
// for job-state-message), or empty when it was.  Ghostscript exits 0 for
// some documents it cannot open, so its messages count as much as its
// status.
std::string GhostscriptProblem(int status, const std::string& messages, int pages);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_PDF_H_
