// Each printer's "Job messages" page in PAPPL's web interface: the jobs
// that ended aborted, each with its job-state-message, the reason a client
// reads over IPP.  PAPPL 1.3.1's job lists show a job's state and time
// only, and offer no way to add to them; the page is linked from the
// printer's Jobs heading.
#ifndef QUILLFERN_APP_WEB_JOB_MESSAGES_H_
#define QUILLFERN_APP_WEB_JOB_MESSAGES_H_

#include <pappl/pappl.h>

namespace quillfern {

// Adds `printer`'s job messages page and its link (for PAPPL's
// printer-create callback).
void AddJobMessagesPage(pappl_printer_t* printer);

}  // namespace quillfern

#endif  // QUILLFERN_APP_WEB_JOB_MESSAGES_H_
