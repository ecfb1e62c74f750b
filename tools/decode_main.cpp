// quillfern-decode: shows and checks what a printer received.
//
//   quillfern-decode [--json] [--extract DIR] [FILE]
//
// Reads a print stream from FILE or standard input, checks it record by
// record and page by page, and prints the job parameters (the password
// masked) and a table of the records.  --json prints the same as one JSON
// document; --extract DIR writes every page as DIR/page-N.pbm and .png.
// Exit status: 0 for a sound stream, 1 for a broken one, 2 when the input
// cannot be read or the command line is wrong.  --help and --version print
// to standard output.

#include <cjson/cJSON.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tools/page_files.h"
#include "tools/stream_checker.h"

namespace {

using quillfern::PageImage;
using quillfern::ParsedStream;
using quillfern::StreamError;

struct Options {
  bool json = false;
  std::string extractDir;
  std::string input;  // empty: standard input
};

struct Page {
  bool decoded = false;
  PageImage image;
};

constexpr char kUsage[] = "Usage: quillfern-decode [--json] [--extract DIR] [FILE]\n";

// A wrong command line: the usage on standard error, exit status 2.
int Usage() {
  fputs(kUsage, stderr);
  return 2;
}

// --help: what the command does, on standard output.
void Help() {
  fputs(kUsage, stdout);
  fputs(
      "Check a print stream made for a Quillfern JBIG page printer and show what the\n"
      "printer would print.\n"
      "\n"
      "Reads the stream from FILE, or from standard input when FILE is missing or -,\n"
      "checks every record and page, and prints the job parameters (the password\n"
      "masked) and a table of the records.\n"
      "\n"
      "Options:\n"
      "  --json         print the same as one JSON document\n"
      "  --extract DIR  write every page as DIR/page-N.pbm and DIR/page-N.png\n"
      "  -h, --help     show this help and exit\n"
      "  --version      show the version and exit\n"
      "\n"
      "Exit status: 0 for a sound stream, 1 for a broken one, 2 when the input cannot\n"
      "be read or the command line is wrong.\n",
      stdout);
}

bool ReadInput(const std::string& path, std::string* bytes, std::string* error) {
  FILE* file = path.empty() ? stdin : fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = "cannot open " + path + ": " + strerror(errno);
    return false;
  }
  char buffer[1 << 16];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, n);
  bool failed = ferror(file) != 0;
  int savedErrno = errno;
  if (file != stdin) fclose(file);
  if (failed) {
    *error = "cannot read " + (path.empty() ? std::string("standard input") : path) + ": " +
             strerror(savedErrno);
    return false;
  }
  return true;
}

std::string Masked(const std::string& key, const std::string& value) {
  return key == "AuthPassword" && !value.empty() ? "****" : value;
}

void PrintText(const ParsedStream& stream, const std::vector<Page>& pages) {
  printf("job parameters (%zu bytes):\n", stream.jobParams.size());
  for (const auto& [key, value] : quillfern::SplitJobParams(stream.jobParams)) {
    printf("  %s=%s\n", key.c_str(), Masked(key, value).c_str());
  }
  printf("records: %zu\n", stream.records.size());
  printf("  %6s %5s %4s %10s %7s %7s %7s\n", "pageno", "first", "last", "datasize", "width",
         "height", "black");
  for (size_t i = 0; i < stream.records.size(); ++i) {
    const auto& record = stream.records[i];
    if (i < pages.size() && pages[i].decoded) {
      const PageImage& image = pages[i].image;
      printf("  %6d %5d %4d %10d %7u %7u %6.2f%%\n", record.pageno, record.firstpage,
             record.lastpage, record.datasize, image.width, image.height,
             100.0 * image.BlackShare());
    } else {
      printf("  %6d %5d %4d %10d %7s %7s %7s\n", record.pageno, record.firstpage, record.lastpage,
             record.datasize, "-", "-", "-");
    }
  }
}

cJSON* JsonRecords(const ParsedStream& stream, const std::vector<Page>& pages) {
  cJSON* records = cJSON_CreateArray();
  for (size_t i = 0; i < stream.records.size(); ++i) {
    const auto& record = stream.records[i];
    cJSON* item = cJSON_CreateObject();
    cJSON_AddNumberToObject(item, "pageno", record.pageno);
    cJSON_AddNumberToObject(item, "firstpage", record.firstpage);
    cJSON_AddNumberToObject(item, "lastpage", record.lastpage);
    cJSON_AddNumberToObject(item, "datasize", record.datasize);
    cJSON_AddNumberToObject(item, "offset", static_cast<double>(record.offset));
    if (i < pages.size() && pages[i].decoded) {
      cJSON_AddNumberToObject(item, "width", pages[i].image.width);
      cJSON_AddNumberToObject(item, "height", pages[i].image.height);
      cJSON_AddNumberToObject(item, "black_share", pages[i].image.BlackShare());
    }
    cJSON_AddItemToArray(records, item);
  }
  return records;
}

void AddJsonError(cJSON* root, bool valid, const StreamError& error) {
  if (valid) {
    cJSON_AddNullToObject(root, "error");
    return;
  }
  cJSON* problem = cJSON_AddObjectToObject(root, "error");
  cJSON_AddNumberToObject(problem, "offset", static_cast<double>(error.offset));
  cJSON_AddStringToObject(problem, "field", error.field.c_str());
  cJSON_AddStringToObject(problem, "expected", error.expected.c_str());
  cJSON_AddStringToObject(problem, "found", error.found.c_str());
  cJSON_AddStringToObject(problem, "message", error.Message().c_str());
}

void PrintJson(const ParsedStream& stream, const std::vector<Page>& pages, bool valid,
               const StreamError& error) {
  std::unique_ptr<cJSON, void (*)(cJSON*)> root(cJSON_CreateObject(), cJSON_Delete);
  cJSON_AddBoolToObject(root.get(), "valid", valid);
  AddJsonError(root.get(), valid, error);
  cJSON_AddNumberToObject(root.get(), "job_params_size",
                          static_cast<double>(stream.jobParams.size()));
  cJSON* params = cJSON_AddObjectToObject(root.get(), "job_params");
  for (const auto& [key, value] : quillfern::SplitJobParams(stream.jobParams)) {
    if (cJSON_GetObjectItemCaseSensitive(params, key.c_str()) == nullptr) {
      cJSON_AddStringToObject(params, key.c_str(), Masked(key, value).c_str());
    }
  }
  cJSON_AddItemToObject(root.get(), "records", JsonRecords(stream, pages));
  std::unique_ptr<char, void (*)(void*)> text(cJSON_Print(root.get()), cJSON_free);
  printf("%s\n", text.get());
}

bool Extract(const std::string& dir, const ParsedStream& stream, const std::vector<Page>& pages) {
  mkdir(dir.c_str(), 0755);
  for (size_t i = 0; i < pages.size(); ++i) {
    if (!pages[i].decoded) continue;
    std::string base = dir + "/page-" + std::to_string(stream.records[i].pageno);
    std::string error;
    if (!quillfern::WritePbm(pages[i].image, base + ".pbm", &error) ||
        !quillfern::WritePng(pages[i].image, base + ".png", &error)) {
      fprintf(stderr, "quillfern-decode: %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

// Reads the command line into `options`; false when it is not understood
// (after `Usage()`), with `*status` the exit status.
bool ParseArguments(int argc, char* argv[], Options* options, int* status) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--json") {
      options->json = true;
    } else if (arg == "--extract" && i + 1 < argc) {
      options->extractDir = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      Help();
      *status = 0;
      return false;
    } else if (arg == "--version") {
      printf("quillfern-decode %s\n", QUILLFERN_VERSION);
      *status = 0;
      return false;
    } else if ((!arg.empty() && arg[0] == '-' && arg != "-") || !options->input.empty()) {
      *status = Usage();
      return false;
    } else {
      options->input = arg == "-" ? "" : arg;
    }
  }
  return true;
}

// Decodes every record's page; the first problem in stream order is the one
// reported.
std::vector<Page> DecodePages(const ParsedStream& stream, bool* valid, StreamError* error) {
  std::vector<Page> pages(stream.records.size());
  for (size_t i = 0; i < stream.records.size(); ++i) {
    StreamError pageError;
    pages[i].decoded = quillfern::DecodeRecord(stream.records[i], &pages[i].image, &pageError);
    if (!pages[i].decoded && (*valid || pageError.offset < error->offset)) {
      *valid = false;
      *error = pageError;
    }
  }
  return pages;
}

}  // namespace

int main(int argc, char* argv[]) {
  Options options;
  int status = 0;
  if (!ParseArguments(argc, argv, &options, &status)) return status;

  std::string bytes;
  std::string readError;
  if (!ReadInput(options.input, &bytes, &readError)) {
    fprintf(stderr, "quillfern-decode: %s\n", readError.c_str());
    return 2;
  }
  if (bytes.empty()) {
    fputs("quillfern-decode: empty input: no print stream (a job whose raster had no page)\n",
          stderr);
    return 1;
  }

  ParsedStream stream = quillfern::ParsePrintStream(bytes);
  bool valid = stream.valid;
  StreamError error = stream.error;
  std::vector<Page> pages = DecodePages(stream, &valid, &error);
  if (options.json) {
    PrintJson(stream, pages, valid, error);
  } else {
    PrintText(stream, pages);
  }
  bool extracted = options.extractDir.empty() || Extract(options.extractDir, stream, pages);
  if (!valid) {
    fprintf(stderr, "quillfern-decode: %s\n", error.Message().c_str());
    return 1;
  }
  if (!options.json) puts("stream OK");
  return extracted ? 0 : 2;
}
