#include "app/web_common.h"

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

std::string FormProblem(pappl_client_t* client, int count, cups_option_t* form) {
  if (count == 0) return "Invalid form data.";
  if (!papplClientIsValidForm(client, count, form)) return "Invalid form submission.";
  return "";
}

}  // namespace quillfern
