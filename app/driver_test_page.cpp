#include "app/driver_test_page.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/driver_facts.h"
#include "app/job_seams.h"
#include "app/state_logins.h"
#include "app/system_paths.h"
#include "common/owners.h"

namespace quillfern {

namespace {

// `text` as a PDF string literal.
std::string PdfString(const std::string& text) {
  std::string literal = "(";
  for (unsigned char c : text) {
    if (c == '(' || c == ')' || c == '\\') literal += '\\';
    literal += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
  }
  return literal + ")";
}

std::string Number(double value) {
  char text[32];
  snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// The page's drawing: the frame, a title and the facts, one a line.
std::string PageContent(const TestPageFacts& facts) {
  const double border = facts.borderPoints;
  std::string content = "1 w " + Number(border) + " " + Number(border) + " " +
                        Number(facts.widthPoints - 2 * border) + " " +
                        Number(facts.lengthPoints - 2 * border) + " re S\n";
  double y = facts.lengthPoints - 72;
  content += "BT /F1 18 Tf 72 " + Number(y) + " Td " + PdfString("Test page") + " Tj ET\n";
  y -= 30;
  for (const auto& [label, value] : facts.lines) {
    content += "BT /F1 11 Tf 72 " + Number(y) + " Td " + PdfString(label + ": " + value) +
               " Tj ET\n";
    y -= 16;
  }
  y -= 8;
  content += "BT /F1 9 Tf 72 " + Number(y) + " Td " +
             PdfString("The frame marks where the printer's unmarked border begins (" +
                       Number(border * 25.4 / 72) + " mm from each edge).") +
             " Tj ET\n";
  return content;
}

std::string PageObject(const TestPageFacts& facts) {
  return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + Number(facts.widthPoints) + " " +
         Number(facts.lengthPoints) +
         "] /Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>\n";
}

// Writes the page to a new file of its own in `directory` (0600, a name
// nobody can foresee); the file's name, or empty.
std::string WritePage(const std::string& directory, const std::string& document) {
  std::string path = directory + "/quillfern-test-page-XXXXXX.pdf";
  const UniqueFd fd(mkostemps(path.data(), 4, O_CLOEXEC));
  if (fd.get() < 0) return "";
  if (write(fd.get(), document.data(), document.size()) != static_cast<ssize_t>(document.size())) {
    unlink(path.c_str());
    return "";
  }
  return path;
}

std::string MediaText(const pappl_media_col_t& media) {
  return std::string(media.size_name) + " (" + Number(media.size_width / 100.0) + " x " +
         Number(media.size_length / 100.0) + " mm), " + media.source + ", " + media.type;
}

const char* SidesText(pappl_sides_t sides) {
  if (sides == PAPPL_SIDES_TWO_SIDED_LONG_EDGE) return "two-sided, long edge";
  if (sides == PAPPL_SIDES_TWO_SIDED_SHORT_EDGE) return "two-sided, short edge";
  return "one-sided";
}

TestPageFacts FactsOf(pappl_printer_t* printer, const pappl_pr_driver_data_t& data) {
  TestPageFacts facts;
  facts.widthPoints = data.media_default.size_width * 72.0 / 2540.0;
  facts.lengthPoints = data.media_default.size_length * 72.0 / 2540.0;
  facts.borderPoints = kUnmarkedBorder * 72.0 / 2540.0;
  const char* uri = papplPrinterGetDeviceURI(printer);
  std::string loginName, password;
  const bool login = ReadLogin(StateDirectory(), papplPrinterGetName(printer), &loginName, &password);
  char when[64] = "";
  const time_t now = time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local) != nullptr) strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
  facts.lines = {{"Printer", papplPrinterGetName(printer)},
                 {"Model", data.make_and_model},
                 {"Device", uri != nullptr ? uri : ""},
                 {"Paper", MediaText(data.media_default)},
                 {"Resolution", std::to_string(data.x_default) + " dpi"},
                 {"Sides", SidesText(data.sides_default)},
                 {"Printer login", login ? "set" : "not set (the host's authentication file)"},
                 {"Printed", when},
                 {"Printer application", ProgramAndVersion()}};
  return facts;
}

}  // namespace

std::string TestPageDocument(const TestPageFacts& facts) {
  const std::string content = PageContent(facts);
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>\n",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>\n",
      PageObject(facts),
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream\n",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>\n"};
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < sizeof objects / sizeof objects[0]; ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "endobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char entry[24];
    snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

const char* MakeTestPage(pappl_printer_t* printer, char* buffer, size_t size) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  const std::string spool = SpoolDirectory(printer);
  const std::string path =
      spool.empty() ? "" : WritePage(spool, TestPageDocument(FactsOf(printer, data)));
  if (path.empty() || path.size() >= size) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Cannot write the test page in %s: %s",
                    spool.c_str(), strerror(errno));
    if (!path.empty()) unlink(path.c_str());
    return nullptr;
  }
  snprintf(buffer, size, "%s", path.c_str());
  return buffer;
}

}  // namespace quillfern
