#include "app/system_devices.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

namespace quillfern {

namespace {

constexpr char kAvahiSocket[] = "/run/avahi-daemon/socket";

pappl_devtype_t DeviceTypes() {
  const int types = PAPPL_DEVTYPE_LOCAL | (NetworkDiscoveryAvailable() ? PAPPL_DEVTYPE_DNS_SD : 0);
  return static_cast<pappl_devtype_t>(types);
}

}  // namespace

bool NetworkDiscoveryAvailable() {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  snprintf(address.sun_path, sizeof address.sun_path, "%s", kAvahiSocket);
  const bool answers = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return answers;
}

std::string DiscoveryNote() {
  if (NetworkDiscoveryAvailable()) return "";
  return "Network discovery is unavailable: avahi-daemon is not running.  Local (USB) printers "
         "are listed; type a network printer's address as socket://HOST:9100.";
}

std::vector<FoundDevice> FindDevices() {
  std::vector<FoundDevice> found;
  papplDeviceList(
      DeviceTypes(),
      [](const char* info, const char* uri, const char* id, void* data) {
        static_cast<std::vector<FoundDevice>*>(data)->push_back(
            {info != nullptr ? info : "", uri != nullptr ? uri : "", id != nullptr ? id : ""});
        return false;  // go on listing
      },
      &found, [](const char*, void*) {}, nullptr);
  return found;
}

int ListDevices(bool verbose) {
  for (const FoundDevice& device : FindDevices()) {
    printf("%s\n", device.uri.c_str());
    if (verbose && !device.info.empty()) printf("    %s\n", device.info.c_str());
    if (verbose && !device.id.empty()) printf("    %s\n", device.id.c_str());
  }
  const std::string note = DiscoveryNote();
  if (!note.empty()) fprintf(stderr, "%s\n", note.c_str());
  return 0;
}

}  // namespace quillfern
