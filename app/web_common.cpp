#include "app/web_common.h"

#include <string>

namespace quillfern {

bool FromThisHost(pappl_client_t* client) {
  return httpAddrLocalhost(httpGetAddress(papplClientGetHTTP(client))) != 0;
}

void PrintBanner(pappl_client_t* client, const std::string& text) {
  if (text.empty()) return;
  papplClientHTMLPuts(client, "<div class=\"banner\">");
  papplClientHTMLEscape(client, text.c_str(), 0);
  papplClientHTMLPuts(client, "</div>\n");
}

pappl_printer_t* PrinterOfPage(pappl_client_t* client, const char* page) {
  struct Search {
    std::string uri;
    const char* page;
    pappl_printer_t* found = nullptr;
  } search{papplClientGetURI(client), page};
  papplSystemIteratePrinters(
      papplClientGetSystem(client),
      [](pappl_printer_t* printer, void* data) {
        auto* search = static_cast<Search*>(data);
        char path[256];
        papplPrinterGetPath(printer, search->page, path, sizeof path);
        if (search->uri == path) search->found = printer;
      },
      &search);
  return search.found;
}

std::string FormProblem(pappl_client_t* client, int count, cups_option_t* form) {
  if (count == 0) return "Invalid form data.";
  if (!papplClientIsValidForm(client, count, form)) return "Invalid form submission.";
  return "";
}

}  // namespace quillfern
