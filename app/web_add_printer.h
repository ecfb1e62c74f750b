// The application's "Add Printer" page, in place of PAPPL's (whose device
// list runs the DNS-SD browse that aborts without avahi-daemon, see
// app/system_devices.h): the devices found, and a printer's address typed
// as socket://HOST[:PORT].
#ifndef QUILLFERN_APP_WEB_ADD_PRINTER_H_
#define QUILLFERN_APP_WEB_ADD_PRINTER_H_

#include <pappl/pappl.h>

namespace quillfern {

// Adds the "/addprinter" page to `system`; call before papplSystemRun so
// that it is served instead of PAPPL's.
void AddPrinterPage(pappl_system_t* system);

}  // namespace quillfern

#endif  // QUILLFERN_APP_WEB_ADD_PRINTER_H_
