#include "app/system_checks.h"

#include <fcntl.h>
#include <pappl/pappl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

#include "app/driver_facts.h"
#include "app/job_formats.h"
#include "core/stream_writer.h"

namespace quillfern {

namespace {

constexpr char kDeviceUriForms[] =
    "the device URI must be socket://HOST[:PORT], usb://... or dnssd://... as \"devices\" lists "
    "it, or file:///PATH";

// What is wrong with add's device URI; empty when nothing is.  The schemes
// are those of PAPPL 1.3.1's devices the application offers: socket: and
// usb: and dnssd: (as "devices" lists them) with a host, and file: with an
// absolute path that exists.  PAPPL checks a file: device's access itself,
// as the server's user.
std::string DeviceUriProblem(const std::string& uri) {
  char scheme[32], user[256], host[256], resource[1024];
  int port = 0;
  const bool parsed =
      httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, user, sizeof user,
                      host, sizeof host, &port, resource, sizeof resource) >= HTTP_URI_STATUS_OK;
  const std::string kind = parsed ? scheme : "";
  const std::string problem = "-v '" + uri + "': " + kDeviceUriForms;
  if (kind == "file") {
    struct stat info;
    char* options = strchr(resource, '?');
    if (options != nullptr) *options = '\0';
    if (resource[0] != '/') return problem;
    if (stat(resource, &info) != 0 && errno == ENOENT) {
      return "-v '" + uri + "': there is no file or directory " + resource;
    }
    return "";
  }
  if (kind != "socket" && kind != "usb" && kind != "dnssd") return problem;
  if (host[0] == '\0' || !papplDeviceIsSupported(uri.c_str())) return problem;
  return "";
}

// Whether `byte` may be part of plain text: printable, white space,
// backspace, escape, or part of a UTF-8 sequence.
bool IsTextByte(unsigned char byte) {
  if (byte >= 0x20) return byte != 0x7f;
  return byte != 0 && strchr("\t\n\r\f\b\033", byte) != nullptr;
}

// The type of a document from its first bytes, as PAPPL's server tells it
// when the client names none; besides, text is text/plain and the
// printer's own stream is told by its job tag (PAPPL calls both
// application/octet-stream).
std::string DocumentType(const unsigned char* head, size_t size) {
  static const struct {
    const char* magic;
    size_t length;
    const char* type;
  } kMagic[] = {{"%PDF", 4, "application/pdf"}, {"%!", 2, "application/postscript"},
                {"\211PNG", 4, "image/png"},    {"RaS2PwgR", 8, "image/pwg-raster"},
                {"UNIRAST\0", 8, "image/urf"},  {kJobTag, sizeof kJobTag - 1, kPrintStreamFormat}};
  for (const auto& known : kMagic) {
    if (size >= known.length && memcmp(head, known.magic, known.length) == 0) return known.type;
  }
  if (size >= 4 && memcmp(head, "\377\330\377", 3) == 0 && head[3] >= 0xe0 && head[3] <= 0xef) {
    return "image/jpeg";
  }
  bool text = size > 0;
  for (size_t i = 0; i < size && text; ++i) text = IsTextByte(head[i]);
  return text ? "text/plain" : "application/octet-stream";
}

// Standard input copied to an unlinked temporary file, which becomes
// standard input: PAPPL reads it again from the start.  False when it
// cannot be.
bool KeepStandardInput() {
  std::string path = std::string(papplGetTempDir()) + "/submit-XXXXXX";
  const int fd = mkstemp(&path[0]);
  if (fd < 0) return false;
  unlink(path.c_str());
  char buffer[65536];
  ssize_t got = 0;
  bool ok = true;
  while (ok && (got = read(STDIN_FILENO, buffer, sizeof buffer)) > 0) {
    ok = write(fd, buffer, static_cast<size_t>(got)) == got;
  }
  ok = ok && got == 0 && lseek(fd, 0, SEEK_SET) == 0 && dup2(fd, STDIN_FILENO) == STDIN_FILENO;
  close(fd);
  return ok;
}

// The type of the document in `file` ("-": standard input); empty when it
// cannot be read, which PAPPL reports.
std::string FileType(const std::string& file) {
  if (file == "-" && !KeepStandardInput()) return "";
  const int fd = file == "-" ? dup(STDIN_FILENO) : open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  unsigned char head[8192];
  const ssize_t got = pread(fd, head, sizeof head, 0);
  close(fd);
  return got < 0 ? "" : DocumentType(head, static_cast<size_t>(got));
}

}  // namespace

std::string LineProblem(const CommandLine& line) {
  if (!line.unknown.empty()) return "unknown sub-command '" + line.unknown + "'; see --help";
  if (line.copies) return "-n is not passed on to the job; use -o copies=COPIES";
  if (line.command == "login" && line.remote()) {
    return "login sets the login of a printer of this host's server; it takes no -u";
  }
  if (line.command == "modify" && !line.deviceUri.empty()) {
    return "modify cannot change a printer's device; delete the printer and add it again with "
           "the new -v";
  }
  if (line.command == "add" && !line.deviceUri.empty() && !line.remote()) {
    return DeviceUriProblem(line.deviceUri);
  }
  return "";
}

std::string SubmitProblem(const CommandLine& line) {
  const std::string& named = line.documentFormat;
  if (!named.empty() && named != "application/octet-stream") {
    return IsPrintableFormat(named.c_str()) ? "" : UnsupportedFormatMessage(named);
  }
  std::vector<std::string> files = line.words;
  if (files.empty() && !isatty(STDIN_FILENO)) files.push_back("-");
  for (const std::string& file : files) {
    const std::string type = FileType(file);
    const std::string name = file == "-" ? "standard input" : file;
    if (type == kPrintStreamFormat) {
      return name + ": a print stream is sent with -o document-format=" + kPrintStreamFormat;
    }
    if (!type.empty() && !IsPrintableFormat(type.c_str())) {
      return name + ": " + UnsupportedFormatMessage(type);
    }
  }
  return "";
}

}  // namespace quillfern
