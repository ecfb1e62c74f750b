// Documents the printer cannot print.  PAPPL 1.3.1 accepts a job in any
// document format (its check looks for document-format-supported where it
// is not kept) and, finding no filter for it, aborts the job without
// running any of the application's code and without a message ("Job
// aborted.").  The application hears of such a job through PAPPL's events
// and gives it the reason, from a thread of its own: PAPPL calls the event
// callback with the job locked.
#ifndef QUILLFERN_APP_JOB_FORMATS_H_
#define QUILLFERN_APP_JOB_FORMATS_H_

#include <pappl/pappl.h>

#include <string>

namespace quillfern {

// Whether the application prints documents of `format`: PDF, JPEG, PNG,
// PWG and Apple raster, and the printer's own stream.
bool IsPrintableFormat(const char* format);

// The job-state-message of a job in a format the printer cannot print.
std::string UnsupportedFormatMessage(const std::string& format);

// For PAPPL's event callback: a job in a format the printer cannot print
// gets its message (and the document-format-error reason) as soon as this
// thread lets go of it.  Takes no lock of PAPPL's.
void NoteUnprintableJob(pappl_system_t* system, pappl_printer_t* printer, pappl_job_t* job,
                        pappl_event_t event);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_FORMATS_H_
