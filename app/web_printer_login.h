// The application's own pages of each printer in PAPPL's web interface:
// "Printer login", where the administrator sets the login name and
// password the printer takes with every job.
#ifndef QUILLFERN_APP_WEB_PRINTER_LOGIN_H_
#define QUILLFERN_APP_WEB_PRINTER_LOGIN_H_

#include <pappl/pappl.h>

namespace quillfern {

// PAPPL's printer-create callback (it also runs for printers loaded from
// the state file): adds the printer's login page and its link, and its job
// messages page (app/web_job_messages.h).
void AddPrinterPages(pappl_printer_t* printer, void* data);

// PAPPL's event callback: a deleted printer's login goes with it.
void ForgetDeletedPrinter(pappl_system_t* system, pappl_printer_t* printer, pappl_job_t* job,
                          pappl_event_t event, void* data);

}  // namespace quillfern

#endif  // QUILLFERN_APP_WEB_PRINTER_LOGIN_H_
