// quillfern-printer-app: the Quillfern JBIG Page Printer as an IPP
// Everywhere printer.  Any IPP client (CUPS, phones, ipptool) prints to it
// without a driver; it converts each job through the same core as the CUPS
// filter and sends the printer the same stream.
//
//   quillfern-printer-app server [-o NAME=VALUE ...]
//   quillfern-printer-app add -d NAME -v DEVICE-URI -m quillfern
//   quillfern-printer-app submit -d NAME FILE
//   quillfern-printer-app devices [--verbose]
//   quillfern-printer-app delete|default -d NAME
//   quillfern-printer-app login -d NAME LOGIN-NAME | --remove
//   quillfern-printer-app status|options [-d NAME]
//
// and PAPPL's other sub-commands (drivers, jobs, shutdown, ...); --help
// lists them all.
#include <pappl/pappl.h>

#include <string>
#include <vector>

#include "app/driver.h"
#include "app/system.h"
#include "app/system_commands.h"
#include "app/system_paths.h"
#include "app/system_stop.h"

int main(int argc, char* argv[]) {
  int status = 0;
  if (quillfern::RunOwnCommand(argc, argv, &status)) return status;
  quillfern::RememberCommandLine(argc, argv);
  std::vector<std::string> kept;
  std::vector<char*> args = quillfern::PapplArguments(argc, argv, &kept);
  status = papplMainloop(argc, args.data(), quillfern::kVersion, nullptr, 0, nullptr,
                         /*autoadd_cb=*/nullptr, quillfern::QuillfernDriver,
                         /*subcmd_name=*/nullptr, /*subcmd_cb=*/nullptr, quillfern::CreateSystem,
                         quillfern::PrintUsage, /*data=*/nullptr);
  // PAPPL's add and modify say nothing when they succeed.
  quillfern::ConfirmChange(argc, argv, status);
  return status;
}
