// quillfern-decode: shows and checks what a printer received.
//
//   quillfern-decode [--json] [--extract DIR] [FILE]
//
// Reads a print stream from FILE or standard input, checks it record by
// record and page by page, and prints the job parameters (the password
// masked) and a table of the records.  --json prints the same as one JSON
// document; --extract DIR writes every page as DIR/page-N.pbm and .png.
// A capture of several jobs sent back to back is shown job by job, as a
// JSON array of the jobs' documents, its pages as DIR/job-J-page-N.
// Exit status: 0 for a sound stream, 1 for a broken one, 2 when the input
// cannot be read or the command line is wrong.  --help and --version print
// to standard output.

#include <cjson/cJSON.h>
#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
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

// One job of the input, its pages decoded; `valid` and `error` cover both
// its framing and its pages.
struct Job {
  ParsedStream stream;
  std::vector<Page> pages;
  bool valid = true;
  StreamError error;
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
      "masked) and a table of the records.  A capture of several jobs sent back to\n"
      "back is shown job by job.\n"
      "\n"
      "Options:\n"
      "  --json         print the same as one JSON document; for several jobs, a\n"
      "                 JSON array with one such document per job\n"
      "  --extract DIR  write every page as DIR/page-N.pbm and DIR/page-N.png; for\n"
      "                 several jobs, as DIR/job-J-page-N.pbm and .png\n"
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

// One job's JSON document.  `number` (from 1) and the Job header's offset
// lead it when the capture holds several jobs; 0 leaves them out, so that a
// single job's document keeps the shape scripts read.
cJSON* JsonJob(const Job& job, size_t number) {
  cJSON* root = cJSON_CreateObject();
  if (number > 0) {
    cJSON_AddNumberToObject(root, "job", static_cast<double>(number));
    cJSON_AddNumberToObject(root, "offset", static_cast<double>(job.stream.offset));
  }
  cJSON_AddBoolToObject(root, "valid", job.valid);
  AddJsonError(root, job.valid, job.error);
  cJSON_AddNumberToObject(root, "job_params_size",
                          static_cast<double>(job.stream.jobParams.size()));
  cJSON* params = cJSON_AddObjectToObject(root, "job_params");
  for (const auto& [key, value] : quillfern::SplitJobParams(job.stream.jobParams)) {
    if (cJSON_GetObjectItemCaseSensitive(params, key.c_str()) == nullptr) {
      cJSON_AddStringToObject(params, key.c_str(), Masked(key, value).c_str());
    }
  }
  cJSON_AddItemToObject(root, "records", JsonRecords(job.stream, job.pages));
  return root;
}

// --json: a single job's document as it always was; several jobs as an
// array of their documents, in capture order.
void PrintJson(const std::vector<Job>& jobs) {
  std::unique_ptr<cJSON, void (*)(cJSON*)> root(nullptr, cJSON_Delete);
  if (jobs.size() == 1) {
    root.reset(JsonJob(jobs[0], 0));
  } else {
    root.reset(cJSON_CreateArray());
    for (size_t i = 0; i < jobs.size(); ++i) {
      cJSON_AddItemToArray(root.get(), JsonJob(jobs[i], i + 1));
    }
  }
  std::unique_ptr<char, void (*)(void*)> text(cJSON_Print(root.get()), cJSON_free);
  printf("%s\n", text.get());
}

// The text form: a single job as it always was; several jobs each under a
// heading with its number and offset, a blank line between them.
void PrintJobsText(const std::vector<Job>& jobs) {
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (jobs.size() > 1) {
      printf("%s== job %zu at byte %" PRIu64 " ==\n", i > 0 ? "\n" : "", i + 1,
             jobs[i].stream.offset);
    }
    PrintText(jobs[i].stream, jobs[i].pages);
  }
}

// Writes every decoded page of `job` as BASEN.pbm and BASEN.png, N its
// pageno.
bool ExtractJob(const std::string& base, const Job& job) {
  for (size_t i = 0; i < job.pages.size(); ++i) {
    if (!job.pages[i].decoded) continue;
    const std::string name = base + std::to_string(job.stream.records[i].pageno);
    std::string error;
    if (!quillfern::WritePbm(job.pages[i].image, name + ".pbm", &error) ||
        !quillfern::WritePng(job.pages[i].image, name + ".png", &error)) {
      fprintf(stderr, "quillfern-decode: %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

// --extract: every decoded page of every job into `dir`.  A single job's
// pages are page-N; with several jobs job-J-page-N, so that no job's pages
// overwrite another's.
bool Extract(const std::string& dir, const std::vector<Job>& jobs) {
  mkdir(dir.c_str(), 0755);
  for (size_t j = 0; j < jobs.size(); ++j) {
    const std::string base =
        dir + (jobs.size() > 1 ? "/job-" + std::to_string(j + 1) + "-page-" : "/page-");
    if (!ExtractJob(base, jobs[j])) return false;
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

// Splits the input into its jobs and decodes their pages.  Only the last
// job can have a broken framing: the jobs after it cannot be found.
std::vector<Job> ReadJobs(std::string_view bytes) {
  std::vector<Job> jobs;
  for (ParsedStream& stream : quillfern::ParseCapture(bytes)) {
    Job& job = jobs.emplace_back();
    job.stream = std::move(stream);
    job.valid = job.stream.valid;
    job.error = job.stream.error;
    job.pages = DecodePages(job.stream, &job.valid, &job.error);
  }
  return jobs;
}

// Reports the first problem in the input, naming its job when there are
// several; returns false when there was one.
bool ReportProblem(const std::vector<Job>& jobs) {
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (jobs[i].valid) continue;
    std::string job = jobs.size() > 1 ? "job " + std::to_string(i + 1) + ": " : "";
    fprintf(stderr, "quillfern-decode: %s%s\n", job.c_str(), jobs[i].error.Message().c_str());
    return false;
  }
  return true;
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

  const std::vector<Job> jobs = ReadJobs(bytes);
  if (options.json) {
    PrintJson(jobs);
  } else {
    PrintJobsText(jobs);
  }
  bool extracted = options.extractDir.empty() || Extract(options.extractDir, jobs);
  if (!ReportProblem(jobs)) return 1;
  if (!options.json) {
    if (jobs.size() > 1) {
      printf("stream OK: %zu jobs\n", jobs.size());
    } else {
      puts("stream OK");
    }
  }
  return extracted ? 0 : 2;
}
