#include "app/job_connection.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "app/job_messages.h"
#include "common/owners.h"

namespace quillfern {

namespace {

// How often a wait looks for a cancel, the printer's deletion or a stop.
constexpr int kWaitSliceMs = 250;

// What a device of the application's scheme keeps: where the printer is,
// and the connection of the job printing (one job at a time, app/job_turns.h).
struct NetworkDevice {
  std::string host;
  int port = kDefaultNetworkPort;
  UniqueFd connection;
};

NetworkDevice* NetworkDeviceOf(pappl_device_t* device) {
  return static_cast<NetworkDevice*>(papplDeviceGetData(device));
}

// "HOST:PORT", with an IPv6 address in brackets.
std::string Address(const NetworkDevice& printer) {
  const bool v6 = printer.host.find(':') != std::string::npos;
  return (v6 ? "[" + printer.host + "]" : printer.host) + ":" + std::to_string(printer.port);
}

// PAPPL calls it with the printer's write lock held: it only remembers the
// address, and so never fails for a printer that is down.
bool OpenNetworkDevice(pappl_device_t* device, const char* uri, const char*) {
  char scheme[32], user[256], host[256], resource[256];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, user, sizeof user, host,
                      sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK ||
      host[0] == '\0') {
    papplDeviceError(device, "Bad device URI '%s'.", uri);
    return false;
  }
  auto printer = std::make_unique<NetworkDevice>();
  printer->host = host;
  printer->port = port > 0 ? port : kDefaultNetworkPort;
  papplDeviceSetData(device, printer.release());
  return true;
}

void CloseNetworkDevice(pappl_device_t* device) {
  delete NetworkDeviceOf(device);
  papplDeviceSetData(device, nullptr);
}

ssize_t WriteNetworkDevice(pappl_device_t* device, const void* buffer, size_t bytes) {
  NetworkDevice* printer = NetworkDeviceOf(device);
  if (printer == nullptr || !printer->connection) {
    papplDeviceError(device, "Not connected to the printer.");
    return -1;
  }
  const char* data = static_cast<const char*>(buffer);
  size_t written = 0;
  while (written < bytes) {
    const ssize_t sent =
        send(printer->connection.get(), data + written, bytes - written, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) {
      papplDeviceError(device, "Unable to write to the printer at %s: %s",
                       Address(*printer).c_str(), strerror(errno));
      return -1;
    }
    written += static_cast<size_t>(sent);
  }
  return static_cast<ssize_t>(written);
}

// What the printer sends back, waiting at most a second for it.
ssize_t ReadNetworkDevice(pappl_device_t* device, void* buffer, size_t bytes) {
  NetworkDevice* printer = NetworkDeviceOf(device);
  if (printer == nullptr || !printer->connection) return -1;
  pollfd readable = {printer->connection.get(), POLLIN, 0};
  if (poll(&readable, 1, 1000) <= 0) return 0;
  return recv(printer->connection.get(), buffer, bytes, 0);
}

// `text` with a small first letter, to follow a colon.
std::string AsPhrase(const char* text) {
  std::string phrase = text;
  if (phrase.empty()) return phrase;
  phrase[0] = static_cast<char>(tolower(static_cast<unsigned char>(phrase[0])));
  return phrase;
}

// Why a connection failed, in a client's words.
std::string ConnectError(int error) {
  if (error == ETIMEDOUT) return "timed out";
  return AsPhrase(strerror(error));
}

// Why the wait for the printer ends before it answers; empty while it goes
// on.  The server's stop cancels the job (app/system_stop.h), which is
// then canceled, not aborted, and keeps the stop's message.
std::string ReasonToStop(pappl_job_t* job) {
  pappl_printer_t* printer = papplJobGetPrinter(job);
  if (papplPrinterIsDeleted(printer)) return "the printer was deleted";
  if (!papplJobIsCanceled(job)) return "";
  return papplSystemIsShutdown(papplPrinterGetSystem(printer)) ? kCanceledByStop : "canceled";
}

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(left.count() > 0 ? left.count() : 0);
}

// One attempt to connect to one address, for at most kConnectTimeoutMs and
// only while `job` waits; the connection, or why there is none in `error`
// (empty when the wait was ended).
UniqueFd ConnectTo(const addrinfo& address, pappl_job_t* job, std::string* error) {
  UniqueFd fd(socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) {
    *error = AsPhrase(strerror(errno));
    return fd;
  }
  if (connect(fd.get(), address.ai_addr, address.ai_addrlen) != 0 && errno != EINPROGRESS) {
    *error = ConnectError(errno);
    return UniqueFd();
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  for (;;) {
    if (!ReasonToStop(job).empty()) {
      error->clear();
      return UniqueFd();
    }
    const int left = MsLeft(deadline);
    if (left == 0) {
      *error = "timed out";
      return UniqueFd();
    }
    pollfd writable = {fd.get(), POLLOUT, 0};
    const int ready = poll(&writable, 1, left < kWaitSliceMs ? left : kWaitSliceMs);
    if (ready < 0 && errno != EINTR) {
      *error = AsPhrase(strerror(errno));
      return UniqueFd();
    }
    if (ready > 0) break;
  }
  int failure = 0;
  socklen_t size = sizeof failure;
  if (getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &failure, &size) != 0) failure = errno;
  if (failure != 0) {
    *error = ConnectError(failure);
    return UniqueFd();
  }
  // Writes wait for the printer, as they do on any device.
  fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// One attempt to reach the printer at any of its addresses.
UniqueFd Connect(const NetworkDevice& printer, pappl_job_t* job, std::string* error) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(printer.port);
  const int lookup = getaddrinfo(printer.host.c_str(), port.c_str(), &hints, &found);
  if (lookup != 0) {
    *error = lookup == EAI_NONAME || lookup == EAI_NODATA || lookup == EAI_FAIL
                 ? "host not found"
                 : "host not found: " + AsPhrase(gai_strerror(lookup));
    return UniqueFd();
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
  for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
    UniqueFd fd = ConnectTo(*address, job, error);
    if (fd || error->empty()) return fd;
  }
  return UniqueFd();
}

// Waits `ms` unless the wait is ended first.
void Pause(pappl_job_t* job, int ms) {
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
  while (ReasonToStop(job).empty() && MsLeft(until) > 0) {
    usleep(static_cast<useconds_t>(std::min(MsLeft(until), kWaitSliceMs)) * 1000);
  }
}

}  // namespace

void AddNetworkScheme() {
  // PAPPL adds its own schemes when it first looks one up, unless a scheme
  // was registered before: let it look first.
  papplDeviceIsSupported("socket://localhost");
  papplDeviceAddScheme(kNetworkScheme, PAPPL_DEVTYPE_CUSTOM_NETWORK, nullptr, OpenNetworkDevice,
                       CloseNetworkDevice, ReadNetworkDevice, WriteNetworkDevice, nullptr, nullptr);
}

std::string OwnNetworkUri(const std::string& uri) {
  constexpr char kSocket[] = "socket://";
  if (uri.rfind(kSocket, 0) != 0) return uri;
  return std::string(kNetworkScheme) + "://" + uri.substr(sizeof kSocket - 1);
}

std::string WithOwnNetworkUris(const std::string& stateText) {
  std::string out;
  size_t at = 0;
  while (at < stateText.size()) {
    size_t end = stateText.find('\n', at);
    end = end == std::string::npos ? stateText.size() : end + 1;
    std::string line = stateText.substr(at, end - at);
    if (line.rfind("<Printer ", 0) == 0) {
      for (const char* form : {" uri=\"", " uri="}) {
        const size_t value = line.find(std::string(form) + "socket://");
        if (value == std::string::npos) continue;
        const size_t scheme = value + strlen(form);
        line.replace(scheme, strlen("socket"), kNetworkScheme);
        break;
      }
    }
    out += line;
    at = end;
  }
  return out;
}

bool IsOwnNetworkUri(const char* uri) {
  const size_t length = strlen(kNetworkScheme);
  return uri != nullptr && strncmp(uri, kNetworkScheme, length) == 0 && uri[length] == ':';
}

bool ConnectJob(pappl_job_t* job, pappl_device_t* device, std::string* problem) {
  NetworkDevice* printer = NetworkDeviceOf(device);
  if (printer == nullptr) {
    *problem = "the printer's device is not a network printer";
    return false;
  }
  pappl_printer_t* queue = papplJobGetPrinter(job);
  std::string shown;  // the reason last said, so that a change is logged once
  for (;;) {
    std::string error;
    UniqueFd fd = Connect(*printer, job, &error);
    if (fd) {
      printer->connection = std::move(fd);
      if (!shown.empty()) {
        // PAPPL 1.3.1 cannot take a job's message back: this one stays true.
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Connected to the printer at %s.",
                    Address(*printer).c_str());
        papplJobSetMessage(job, "Reached the printer at %s after waiting for it (%s).",
                           Address(*printer).c_str(), shown.c_str());
      }
      papplPrinterSetReasons(queue, PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE);
      return true;
    }
    const std::string stop = ReasonToStop(job);
    if (stop == kCanceledByStop) {
      *problem = stop;
      return false;
    }
    if (!stop.empty()) {
      *problem = "Not printed: " + stop + " while waiting for the printer at " + Address(*printer) +
                 (shown.empty() ? "." : " (" + shown + ").");
      return false;
    }
    if (error != shown) {
      papplLogJob(job, PAPPL_LOGLEVEL_WARN, "The printer at %s cannot be reached: %s.",
                  Address(*printer).c_str(), error.c_str());
      shown = error;
    }
    papplJobSetMessage(job, "Waiting for the printer at %s: %s.", Address(*printer).c_str(),
                       error.c_str());
    papplPrinterSetReasons(queue, PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE);
    Pause(job, kRetryPauseMs);
  }
}

void DisconnectJob(pappl_device_t* device) {
  NetworkDevice* printer = NetworkDeviceOf(device);
  if (printer != nullptr) printer->connection.Reset();
}

}  // namespace quillfern
