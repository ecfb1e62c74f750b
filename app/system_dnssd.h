// What the server advertises on DNS-SD.  PAPPL 1.3.1 advertises the system
// and each printer through avahi-daemon, with three gaps the application
// fills:
//   - It advertises on every interface whatever the server listens on: a
//     server on loopback only would offer printers no other host can
//     reach.  Such a server clears the DNS-SD names and advertises
//     nothing; the names are kept (app/state_dnssd_names.h) and come back
//     when the printers are shared again.
//   - It registers a printer added while it runs only at the next start:
//     the printer's DNS-SD name is set again once it appears, which
//     registers it.
//   - It makes its avahi client once: with D-Bus missing at start it makes
//     none until something registers, and after avahi-daemon restarts its
//     client is lost for good.  The application follows the daemon itself
//     (app/system_avahi.h): when the daemon becomes reachable every name is
//     set again (PAPPL then makes its client), and when it returns after a
//     restart the server restarts itself once no job is printing
//     (app/system_stop.h).
#ifndef QUILLFERN_APP_SYSTEM_DNSSD_H_
#define QUILLFERN_APP_SYSTEM_DNSSD_H_

#include <pappl/pappl.h>

#include <string>

namespace quillfern {

// Whether a server listening at `hostname` (the listen-hostname option)
// is reachable from other hosts: anything but loopback.
bool ListensOnNetwork(const std::string& hostname);

// Once the state is loaded, before the system runs: hides every name when
// the server is not `shared`, or brings back the names a loopback-only run
// had hidden (`hidden`, read from the state file).
void PrepareAdvertising(pappl_system_t* system, bool shared, const std::string& stateText);

// From the timer, every second (under the system's read lock, which
// PAPPL's system setters would need for writing: only printers are changed
// here).  True when the server must restart to be advertised again.
bool KeepAdvertising(pappl_system_t* system);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_DNSSD_H_
