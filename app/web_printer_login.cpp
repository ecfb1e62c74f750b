#include "app/web_printer_login.h"

#include <string>

#include "app/state_logins.h"
#include "app/system_paths.h"
#include "app/web_common.h"
#include "app/web_job_messages.h"

namespace quillfern {

namespace {

constexpr char kLoginPage[] = "login";
constexpr char kLoginTitle[] = "Printer login";

std::string LoginPagePath(pappl_printer_t* printer) {
  char path[256];
  return papplPrinterGetPath(printer, kLoginPage, path, sizeof path);
}

// Saves what the form says; returns the banner to show.
std::string SaveFromForm(pappl_printer_t* printer, int count, cups_option_t* form) {
  const std::string printerName = papplPrinterGetName(printer);
  if (cupsGetOption("remove", count, form) != nullptr) {
    return RemoveLogin(StateDirectory(), printerName) ? "The login was removed."
                                                      : "The login could not be removed.";
  }
  const char* name = cupsGetOption("login_name", count, form);
  const char* password = cupsGetOption("password", count, form);
  std::string storedName, storedPassword;
  const bool stored = ReadLogin(StateDirectory(), printerName, &storedName, &storedPassword);
  std::string newPassword = password != nullptr ? password : "";
  // An empty password field keeps the stored password.
  if (newPassword.empty() && stored) newPassword = storedPassword;
  const std::string problem =
      SaveLogin(StateDirectory(), printerName, name != nullptr ? name : "", newPassword);
  return problem.empty() ? "The login was saved." : "The login was not saved: " + problem + ".";
}

std::string HandlePost(pappl_client_t* client, pappl_printer_t* printer) {
  cups_option_t* form = nullptr;
  const int count = papplClientGetForm(client, &form);
  std::string status = FormProblem(client, count, form);
  if (status.empty()) status = SaveFromForm(printer, count, form);
  cupsFreeOptions(count, form);
  return status;
}

// The form: the stored login name, and a password field that never shows
// the stored password.
void PrintLoginForm(pappl_client_t* client, pappl_printer_t* printer) {
  std::string name, password;
  const bool stored = ReadLogin(StateDirectory(), papplPrinterGetName(printer), &name, &password);
  papplClientHTMLPuts(client, "<p>The printer takes this login name and password with every job. ");
  papplClientHTMLPuts(client, stored ? "A login is set." : "No login is set: jobs use the "
                                                           "host's /tmp/auth/auth_config.");
  papplClientHTMLPuts(client, "</p>\n");
  papplClientHTMLStartForm(client, papplClientGetURI(client), false);
  papplClientHTMLPuts(client,
                      "<table class=\"form\"><tbody>\n<tr><th><label for=\"login_name\">Login "
                      "name:</label></th><td><input type=\"text\" name=\"login_name\" "
                      "id=\"login_name\" maxlength=\"127\" autocomplete=\"off\" value=\"");
  papplClientHTMLEscape(client, name.c_str(), 0);
  papplClientHTMLPrintf(client,
                        "\"></td></tr>\n<tr><th><label for=\"password\">Password:</label></th>"
                        "<td><input type=\"password\" name=\"password\" id=\"password\" "
                        "maxlength=\"127\" autocomplete=\"new-password\" placeholder=\"%s\">"
                        "</td></tr>\n<tr><th></th><td><input type=\"submit\" value=\"Save\">",
                        stored ? "unchanged" : "");
  if (stored) {
    papplClientHTMLPuts(client, " <input type=\"submit\" name=\"remove\" value=\"Remove login\">");
  }
  papplClientHTMLPuts(client, "</td></tr>\n</tbody></table></form>\n");
}

bool LoginPage(pappl_client_t* client, void*) {
  pappl_printer_t* printer = PrinterOfPage(client, kLoginPage);
  if (printer == nullptr) return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
  if (!papplClientHTMLAuthorize(client)) return true;
  std::string status;
  // A login is set only from this host (app/web_common.h).
  const bool local = FromThisHost(client);
  if (local && papplClientGetMethod(client) == HTTP_STATE_POST) status = HandlePost(client, printer);
  papplClientHTMLPrinterHeader(client, printer, kLoginTitle, 0, nullptr, nullptr);
  if (!local) {
    PrintBanner(client, "The printer login can be set only from the computer the printer "
                        "application runs on (http://localhost:PORT/), or with its login "
                        "command.");
  } else {
    PrintBanner(client, status);
    PrintLoginForm(client, printer);
  }
  papplClientHTMLPrinterFooter(client);
  return true;
}

}  // namespace

void AddPrinterPages(pappl_printer_t* printer, void*) {
  AddJobMessagesPage(printer);
  const std::string path = LoginPagePath(printer);
  papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path.c_str(), "text/html",
                                 LoginPage, nullptr);
  papplPrinterAddLink(printer, kLoginTitle, path.c_str(),
                      static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_CONFIGURATION |
                                                    PAPPL_LOPTIONS_NAVIGATION));
}

// PAPPL calls this with the system locked, so the page stays registered
// (it answers "not found" once the printer is gone, and serves a new
// printer of the same name); the login file goes.
void ForgetDeletedPrinter(pappl_system_t*, pappl_printer_t* printer, pappl_job_t*,
                          pappl_event_t event, void*) {
  if ((event & PAPPL_EVENT_PRINTER_DELETED) == 0 || printer == nullptr) return;
  RemoveLogin(StateDirectory(), papplPrinterGetName(printer));
}

}  // namespace quillfern
