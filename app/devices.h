// Finding the printer's device without taking the server down.  PAPPL
// 1.3.1's network browse asserts (and aborts the process) when avahi-daemon
// is not running, and it has no switch to leave the browse out; so its "Add
// Printer" page and "devices" sub-command are replaced by these, which list
// local (USB) devices, add the network browse only when avahi-daemon
// answers, and take a printer's address typed as socket://HOST[:PORT].
#ifndef QUILLFERN_APP_DEVICES_H_
#define QUILLFERN_APP_DEVICES_H_

#include <pappl/pappl.h>

#include <string>

namespace quillfern {

// True when avahi-daemon answers on its socket, so that PAPPL's DNS-SD
// browse can run.
bool NetworkDiscoveryAvailable();

// What the device list can offer on this host, for the page and the
// sub-command: a sentence when network discovery is unavailable, else empty.
std::string DiscoveryNote();

// The "devices" sub-command: every device URI found, one a line (with its
// description and IEEE-1284 ID when `verbose`), then the discovery note.
int ListDevices(bool verbose);

// Adds the application's "/addprinter" page to `system`; call before
// papplSystemRun so that it is served instead of PAPPL's.
void AddPrinterPage(pappl_system_t* system);

}  // namespace quillfern

#endif  // QUILLFERN_APP_DEVICES_H_
