#include "app/web_job_messages.h"

#include <ctime>
#include <string>
#include <vector>

#include "app/web_common.h"

namespace quillfern {

namespace {

constexpr char kMessagesPage[] = "messages";
constexpr char kMessagesTitle[] = "Job messages";

// An aborted job as the page shows it, copied while PAPPL holds the
// printer's jobs.
struct AbortedJob {
  int id = 0;
  std::string name;
  time_t ended = 0;
  std::string message;
};

std::vector<AbortedJob> AbortedJobs(pappl_printer_t* printer) {
  std::vector<AbortedJob> jobs;
  papplPrinterIterateAllJobs(
      printer,
      [](pappl_job_t* job, void* data) {
        if (papplJobGetState(job) != IPP_JSTATE_ABORTED) return;
        const char* name = papplJobGetName(job);
        const char* message = papplJobGetMessage(job);
        static_cast<std::vector<AbortedJob>*>(data)->push_back(
            {papplJobGetID(job), name != nullptr ? name : "", papplJobGetTimeCompleted(job),
             message != nullptr ? message : ""});
      },
      &jobs, 1, 0);
  return jobs;
}

std::string LocalTime(time_t when) {
  char text[64] = "";
  struct tm local;
  if (when != 0 && localtime_r(&when, &local) != nullptr) {
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  }
  return text;
}

void PrintCell(pappl_client_t* client, const std::string& text) {
  papplClientHTMLPuts(client, "<td>");
  papplClientHTMLEscape(client, text.c_str(), 0);
  papplClientHTMLPuts(client, "</td>");
}

bool MessagesPage(pappl_client_t* client, void*) {
  pappl_printer_t* printer = PrinterOfPage(client, kMessagesPage);
  if (printer == nullptr) {
    return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
  }
  const std::vector<AbortedJob> jobs = AbortedJobs(printer);
  papplClientHTMLPrinterHeader(client, printer, kMessagesTitle, 0, nullptr, nullptr);
  if (jobs.empty()) {
    papplClientHTMLPuts(client, "<p>No job of this printer has been aborted.</p>\n");
  } else {
    papplClientHTMLPuts(client,
                        "<p>Why each aborted job was not printed, as its job-state-message "
                        "tells IPP clients.</p>\n<table class=\"list\" summary=\"Aborted jobs\">"
                        "<thead><tr><th>Job #</th><th>Name</th><th>Aborted at</th>"
                        "<th>Reason</th></tr></thead><tbody>\n");
    for (const AbortedJob& job : jobs) {
      papplClientHTMLPuts(client, "<tr>");
      PrintCell(client, std::to_string(job.id));
      PrintCell(client, job.name);
      PrintCell(client, LocalTime(job.ended));
      PrintCell(client, job.message);
      papplClientHTMLPuts(client, "</tr>\n");
    }
    papplClientHTMLPuts(client, "</tbody></table>\n");
  }
  papplClientHTMLPrinterFooter(client);
  return true;
}

}  // namespace

void AddJobMessagesPage(pappl_printer_t* printer) {
  char path[256];
  papplPrinterGetPath(printer, kMessagesPage, path, sizeof path);
  papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path, "text/html", MessagesPage,
                                 nullptr);
  papplPrinterAddLink(printer, kMessagesTitle, path, PAPPL_LOPTIONS_JOB);
}

}  // namespace quillfern
