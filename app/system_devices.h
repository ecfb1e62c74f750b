// Finding the printer's device without taking the server down.  PAPPL
// 1.3.1's network browse asserts (and aborts the process) when avahi-daemon
// is not running, and it has no switch to leave the browse out; so its
// "devices" sub-command and "Add Printer" page (app/web_add_printer.h) are
// replaced by ones that list local (USB) devices and add the network
// browse only when avahi-daemon answers.
#ifndef QUILLFERN_APP_SYSTEM_DEVICES_H_
#define QUILLFERN_APP_SYSTEM_DEVICES_H_

#include <pappl/pappl.h>

#include <string>
#include <vector>

namespace quillfern {

struct FoundDevice {
  std::string info;  // PAPPL's description
  std::string uri;
  std::string id;  // IEEE-1284 device ID, or empty
};

// True when avahi-daemon answers on its socket, so that PAPPL's DNS-SD
// browse can run.
bool NetworkDiscoveryAvailable();

// What the device list can offer on this host, for the page and the
// sub-command: a sentence when network discovery is unavailable, else empty.
std::string DiscoveryNote();

// The devices PAPPL finds: local ones, and the network's when discovery is
// available.
std::vector<FoundDevice> FindDevices();

// The "devices" sub-command: every device URI found, one a line (with its
// description and IEEE-1284 ID when `verbose`), then the discovery note.
int ListDevices(bool verbose);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_DEVICES_H_
