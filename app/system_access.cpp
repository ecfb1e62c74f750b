#include "app/system_access.h"

#include <cstring>
#include <string>

#include "app/job_connection.h"
#include "app/system_devices.h"
#include "app/web_common.h"

namespace quillfern {

namespace {

// Operations another host may ask for: printing, and its own jobs.
bool OpenToTheNetwork(ipp_op_t operation) {
  static const ipp_op_t kOpen[] = {
      IPP_OP_PRINT_JOB,
      IPP_OP_VALIDATE_JOB,
      IPP_OP_CREATE_JOB,
      IPP_OP_SEND_DOCUMENT,
      IPP_OP_CLOSE_JOB,
      IPP_OP_GET_JOBS,
      IPP_OP_GET_JOB_ATTRIBUTES,
      IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS,
      IPP_OP_CREATE_JOB_SUBSCRIPTIONS,
      IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES,
      IPP_OP_GET_SUBSCRIPTIONS,
      IPP_OP_RENEW_SUBSCRIPTION,
      IPP_OP_CANCEL_SUBSCRIPTION,
      IPP_OP_GET_NOTIFICATIONS,
  };
  for (ipp_op_t open : kOpen) {
    if (operation == open) return true;
  }
  return false;
}

// Job operations another host may ask for on its own jobs only.
bool OnOwnJob(ipp_op_t operation) {
  return operation == IPP_OP_CANCEL_JOB || operation == IPP_OP_HOLD_JOB ||
         operation == IPP_OP_RELEASE_JOB;
}

// Whether the request's job belongs to the user the request names.  The
// name is the client's word, as in any IPP printer without logins.
bool IsOwnJob(pappl_client_t* client, ipp_t* request) {
  pappl_job_t* job = papplClientGetJob(client);
  const char* owner = job != nullptr ? papplJobGetUsername(job) : nullptr;
  const char* user =
      ippGetString(ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME), 0, nullptr);
  return owner != nullptr && user != nullptr && strcmp(owner, user) == 0;
}

bool NamesFileDevice(ipp_t* request) {
  const char* uri =
      ippGetString(ippFindAttribute(request, "smi55357-device-uri", IPP_TAG_ZERO), 0, nullptr);
  return uri != nullptr && strncmp(uri, "file:", 5) == 0;
}

// A network printer added as socket: is reached through the application's
// own scheme (app/job_connection.h).
void UseOwnNetworkScheme(ipp_t* request) {
  ipp_attribute_t* device = ippFindAttribute(request, "smi55357-device-uri", IPP_TAG_URI);
  const char* uri = ippGetString(device, 0, nullptr);
  if (uri == nullptr) return;
  const std::string own = OwnNetworkUri(uri);
  if (own != uri) ippSetString(request, &device, 0, own.c_str());
}

// Without avahi-daemon a device search keeps to local devices.
void KeepDeviceSearchLocal(ipp_t* request) {
  if (NetworkDiscoveryAvailable()) return;
  ipp_attribute_t* types = ippFindAttribute(request, "smi55357-device-type", IPP_TAG_ZERO);
  if (types != nullptr) ippDeleteAttribute(request, types);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "smi55357-device-type", nullptr,
               "local");
}

}  // namespace

bool MayProceed(const AccessRequest& request) {
  if (request.fromThisHost) {
    // A file: device writes where the server's user may: the command line
    // on the local socket only.
    return !(request.ipp && request.operation == IPP_OP_CREATE_PRINTER && request.fileDevice);
  }
  if (!request.ipp) return false;
  return OpenToTheNetwork(request.operation) || (OnOwnJob(request.operation) && request.ownJob);
}

http_status_t AuthorizeClient(pappl_client_t* client, const char*, gid_t, void*) {
  AccessRequest access;
  access.fromThisHost = FromThisHost(client);
  ipp_t* request = papplClientGetRequest(client);
  access.ipp = request != nullptr;
  if (access.ipp) {
    access.operation = ippGetOperation(request);
    access.ownJob = OnOwnJob(access.operation) && IsOwnJob(client, request);
    access.fileDevice = access.operation == IPP_OP_CREATE_PRINTER && NamesFileDevice(request);
    if (access.operation == IPP_OP_CREATE_PRINTER) UseOwnNetworkScheme(request);
    if (access.fromThisHost && access.operation == IPP_OP_PAPPL_FIND_DEVICES) {
      KeepDeviceSearchLocal(request);
    }
  }
  if (MayProceed(access)) return HTTP_STATUS_CONTINUE;
  const char* what = access.ipp ? ippOpString(access.operation) : papplClientGetURI(client);
  if (access.fromThisHost) {
    papplLogClient(client, PAPPL_LOGLEVEL_WARN,
                   "Refused %s with a file: device: only the command line may add one.", what);
  } else {
    papplLogClient(client, PAPPL_LOGLEVEL_WARN,
                   "Refused %s from another host: only this host may change the printers.", what);
  }
  return HTTP_STATUS_FORBIDDEN;
}

}  // namespace quillfern
