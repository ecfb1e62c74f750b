#include "app/web_add_printer.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "app/driver_facts.h"
#include "app/job_connection.h"
#include "app/system_devices.h"
#include "app/web_common.h"

namespace quillfern {

namespace {

// The typed address as a device URI, or empty with `problem` set.
std::string TypedDevice(const std::string& typed, std::string* problem) {
  char scheme[32], user[256], host[256], resource[256];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, typed.c_str(), scheme, sizeof scheme, user, sizeof user,
                      host, sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK ||
      strcmp(scheme, "socket") != 0 || host[0] == '\0') {
    *problem = "Type the printer's address as socket://HOST or socket://HOST:PORT.";
    return "";
  }
  return OwnNetworkUri(typed);
}

// Creates the printer the form asks for; empty, or why not.
std::string CreateFromForm(pappl_client_t* client, int count, cups_option_t* form) {
  const char* name = cupsGetOption("printer_name", count, form);
  const char* chosen = cupsGetOption("device_uri", count, form);
  const char* typed = cupsGetOption("typed_uri", count, form);
  if (name == nullptr || *name == '\0') return "Please enter a printer name.";
  std::string problem;
  std::string uri;
  if (chosen != nullptr && *chosen != '\0' && strcmp(chosen, "typed") != 0) {
    uri = chosen;
  } else {
    uri = TypedDevice(typed != nullptr ? typed : "", &problem);
    if (uri.empty()) return problem;
  }
  std::string deviceId;
  const size_t bar = uri.find('|');
  if (bar != std::string::npos) {
    deviceId = uri.substr(bar + 1);
    uri.erase(bar);
  }
  // A file: device writes wherever the server's user may.
  if (uri.rfind("file:", 0) == 0) return "A file: device can be added only with the command line.";
  pappl_printer_t* printer =
      papplPrinterCreate(papplClientGetSystem(client), 0, name, kDriverName,
                         deviceId.empty() ? nullptr : deviceId.c_str(), uri.c_str());
  if (printer != nullptr) {
    char path[256];
    papplClientRespondRedirect(client, HTTP_STATUS_FOUND,
                               papplPrinterGetPath(printer, nullptr, path, sizeof path));
    return "";
  }
  if (errno == EEXIST) return "A printer with that name already exists.";
  if (errno == EINVAL) {
    return "Printer names must start with a letter or underscore and cannot contain special "
           "characters.";
  }
  return std::string("The printer cannot be added: ") + strerror(errno);
}

// The devices found, as the choices of the form's device list.
void PrintDeviceChoices(pappl_client_t* client) {
  for (const FoundDevice& device : FindDevices()) {
    const std::string value = device.id.empty() ? device.uri : device.uri + "|" + device.id;
    papplClientHTMLPuts(client, "<option value=\"");
    papplClientHTMLEscape(client, value.c_str(), 0);
    papplClientHTMLPuts(client, "\">");
    papplClientHTMLEscape(client, (device.info.empty() ? device.uri : device.info).c_str(), 0);
    papplClientHTMLPuts(client, "</option>");
  }
}

void PrintForm(pappl_client_t* client, const std::string& status) {
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return;
  papplClientHTMLHeader(client, "Add Printer", 0);
  papplClientHTMLPuts(client,
                      "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">\n"
                      "<h1 class=\"title\">Add Printer</h1>\n");
  PrintBanner(client, status);
  const std::string note = DiscoveryNote();
  if (!note.empty()) {
    papplClientHTMLPuts(client, "<p>");
    papplClientHTMLEscape(client, note.c_str(), 0);
    papplClientHTMLPuts(client, "</p>\n");
  }
  papplClientHTMLStartForm(client, papplClientGetURI(client), false);
  papplClientHTMLPuts(
      client,
      "<table class=\"form\"><tbody>\n"
      "<tr><th><label for=\"printer_name\">Name:</label></th><td><input "
      "type=\"text\" name=\"printer_name\" id=\"printer_name\" required></td></tr>\n"
      "<tr><th><label for=\"device_uri\">Device:</label></th><td><select "
      "name=\"device_uri\" id=\"device_uri\">");
  PrintDeviceChoices(client);
  papplClientHTMLPuts(client,
                      "<option value=\"typed\">Network printer (address below)</option></select>"
                      "</td></tr>\n"
                      "<tr><th><label for=\"typed_uri\">Address:</label></th><td><input "
                      "type=\"text\" name=\"typed_uri\" id=\"typed_uri\" "
                      "placeholder=\"socket://192.0.2.7:9100\"></td></tr>\n"
                      "<tr><th></th><td><input type=\"submit\" value=\"Add Printer\"></td></tr>\n"
                      "</tbody></table></form>\n</div></div></div>\n");
  papplClientHTMLFooter(client);
}

// The page: the form, and on a POST the printer it asks for.
bool AddPrinterResource(pappl_client_t* client, void*) {
  if (!papplClientHTMLAuthorize(client)) return true;
  std::string status;
  if (papplClientGetMethod(client) == HTTP_STATE_POST) {
    cups_option_t* form = nullptr;
    const int count = papplClientGetForm(client, &form);
    status = FormProblem(client, count, form);
    if (status.empty()) {
      status = CreateFromForm(client, count, form);
      if (status.empty()) {
        cupsFreeOptions(count, form);
        return true;  // redirected to the new printer's page
      }
    }
    cupsFreeOptions(count, form);
  }
  PrintForm(client, status);
  return true;
}

}  // namespace

void AddPrinterPage(pappl_system_t* system) {
  papplSystemAddResourceCallback(system, "/addprinter", "text/html", AddPrinterResource, nullptr);
}

}  // namespace quillfern
