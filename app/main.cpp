// quillfern-printer-app: the Quillfern JBIG Page Printer as an IPP
// Everywhere printer.  Any IPP client (CUPS, phones, ipptool) prints to it
// without a driver; it converts each job through the same core as the CUPS
// filter and sends the printer the same stream.
//
//   quillfern-printer-app server [-o NAME=VALUE ...]
//   quillfern-printer-app add -d NAME -v DEVICE-URI -m quillfern
//   quillfern-printer-app submit -d NAME FILE
//   quillfern-printer-app devices [--verbose]
//
// and PAPPL's other sub-commands (drivers, jobs, shutdown, ...).
#include <pappl/pappl.h>

#include <cstring>

#include "app/devices.h"
#include "app/driver.h"
#include "app/system.h"

int main(int argc, char* argv[]) {
  // PAPPL's own device list aborts on a host without avahi-daemon.
  if (argc >= 2 && strcmp(argv[1], "devices") == 0) {
    bool verbose = false;
    for (int arg = 2; arg < argc; ++arg) verbose = verbose || strcmp(argv[arg], "--verbose") == 0;
    return quillfern::ListDevices(verbose);
  }
  return papplMainloop(argc, argv, QUILLFERN_VERSION, nullptr, 0, nullptr,
                       /*autoadd_cb=*/nullptr, quillfern::QuillfernDriver,
                       /*subcmd_name=*/nullptr, /*subcmd_cb=*/nullptr, quillfern::CreateSystem,
                       /*usage_cb=*/nullptr, /*data=*/nullptr);
}
