// filter_bench: what the filter costs per page, measured against the floor
// set by the JBIG encoder itself.
//
//   filter_bench --filter PATH --ppd PATH --reps N JOB.ras [JOB.ras ...]
//
// For every raster job it runs the real filter as CUPS would (one process,
// the raster on standard input, the stream to /dev/null), then runs the
// same pbmtojbg command lines alone on the PBM files that run left in the
// work directory, alternating the two N times.  It reports pages per
// second, wall and CPU time per page, the filter process's own peak
// resident memory (sampled from /proc while it runs, so the encoder it
// starts is not counted), the overhead ratio (filter wall time over the
// encoder-alone wall time; median, min and max), and the time of each page
// from the filter's "INFO: Printing page N" lines, to show whether the cost
// per page grows with the page number.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "image/pbm.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct FilterRun {
  double wall = 0;       // seconds
  double totalCpu = 0;   // seconds of the filter and everything it ran
  double ownCpu = 0;     // seconds of the filter process itself
  double childCpu = 0;   // seconds of the shells and encoders it ran
  long peakKb = 0;       // the filter process's own VmHWM
  long minorFaults = 0;  // the filter process's own minor page faults
  int pages = 0;
  std::vector<double> pageStarts;  // seconds from start, per page
  std::vector<double> pageCpu;     // the filter's own CPU seconds at each page start
  int status = -1;
};

// utime + stime of the process itself and of its reaped children, from
// /proc/PID/stat, in seconds.
bool ReadCpu(pid_t pid, double* own, double* children, long* minorFaults) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(text.substr(close + 2));
  std::vector<std::string> f;
  std::string field;
  while (fields >> field) f.push_back(field);
  // After the command: state is field 3; utime 14, stime 15, cutime 16, cstime 17.
  if (f.size() < 15) return false;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  *own = (std::stod(f[11]) + std::stod(f[12])) / tick;
  *children = (std::stod(f[13]) + std::stod(f[14])) / tick;
  *minorFaults = std::stol(f[7]);  // field 10, minflt
  return true;
}

long ReadPeakKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

FilterRun RunFilter(const std::string& filter, const std::string& ppd, const std::string& raster) {
  FilterRun run;
  int errPipe[2];
  if (pipe(errPipe) != 0) exit(2);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, raster.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);
  std::string ppdEnv = "PPD=" + ppd;
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (strncmp(*e, "PPD=", 4) != 0) env.push_back(*e);
  }
  env.push_back(ppdEnv.data());
  env.push_back(nullptr);
  std::vector<std::string> args = {filter, "901", "bench", "bench.pdf", "1", ""};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const Clock::time_point start = Clock::now();
  pid_t pid;
  if (posix_spawn(&pid, filter.c_str(), &actions, nullptr, argv.data(), env.data()) != 0) exit(2);
  close(errPipe[1]);

  // Read the log as it comes, time-stamping the page lines, and sample the
  // process's own memory and CPU until it ends.
  std::string pending;
  char buffer[65536];
  bool open = true;
  while (open) {
    pollfd p = {errPipe[0], POLLIN, 0};
    int ready = poll(&p, 1, 5);
    double own, children;
    long faults;
    if (ReadCpu(pid, &own, &children, &faults)) {
      run.ownCpu = own;
      run.childCpu = children;
      run.minorFaults = faults;
    }
    long peak = ReadPeakKb(pid);
    if (peak > run.peakKb) run.peakKb = peak;
    if (ready <= 0) continue;
    ssize_t n = read(errPipe[0], buffer, sizeof buffer);
    if (n <= 0) {
      open = false;
      break;
    }
    pending.append(buffer, static_cast<size_t>(n));
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      if (pending.compare(0, 20, "INFO: Printing page ") == 0) {
        run.pageStarts.push_back(Seconds(Clock::now() - start));
        double ownNow, childrenNow;
        long faultsNow;
        ReadCpu(pid, &ownNow, &childrenNow, &faultsNow);
        run.pageCpu.push_back(ownNow);
      }
      pending.erase(0, end + 1);
    }
  }
  int status;
  rusage usage;
  wait4(pid, &status, 0, &usage);
  run.wall = Seconds(Clock::now() - start);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  // What the filter and everything it ran used, less what its children used.
  double total = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.totalCpu = total;
  if (total - run.childCpu > run.ownCpu) run.ownCpu = total - run.childCpu;
  run.pages = static_cast<int>(run.pageStarts.size());
  close(errPipe[0]);
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

struct EncoderRun {
  double wall = 0;
  double cpu = 0;
};

// The encoder alone, on the page files the filter left: the command the
// filter runs, started directly, one page after the other.
EncoderRun RunEncoderAlone(int pages) {
  EncoderRun run;
  const Clock::time_point start = Clock::now();
  for (int page = 1; page <= pages; ++page) {
    std::string pbm = "/tmp/brelmont/901_" + std::to_string(page) + "_gs.pbm";
    std::string jbg = "/tmp/quillfern-bench-" + std::to_string(page) + ".jbg";
    FILE* file = fopen(pbm.c_str(), "rb");
    if (file == nullptr) {
      fprintf(stderr, "filter_bench: %s is missing\n", pbm.c_str());
      exit(2);
    }
    const quillfern::PbmHeader header = quillfern::ReadPbmHeader(file);
    fclose(file);
    if (!quillfern::PbmSizeIsUsable(header)) exit(2);
    std::string w = std::to_string(header.width), h = std::to_string(header.height);
    const char* argv[] = {"pbmtojbg", "-q", "-x",  w.c_str(),   "-y",        h.c_str(),
                          "-r",       "-s", "128", "-o",        "0",         "-p",
                          "8",        "-m", "0",   pbm.c_str(), jbg.c_str(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "pbmtojbg", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      exit(2);
    }
    int status;
    rusage usage;
    wait4(pid, &status, 0, &usage);
    run.cpu += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    unlink(jbg.c_str());
  }
  run.wall = Seconds(Clock::now() - start);
  return run;
}

struct Spread {
  double median, min, max;
};

Spread Of(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values.front(), values.back()};
}

std::string Format(const Spread& s, double scale, const char* format) {
  char text[128];
  std::string f = std::string(format) + " (" + format + " .. " + format + ")";
  snprintf(text, sizeof text, f.c_str(), s.median * scale, s.min * scale, s.max * scale);
  return text;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::string filter, ppd;
  int reps = 5;
  std::vector<std::string> jobs;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--filter" && i + 1 < argc) {
      filter = argv[++i];
    } else if (arg == "--ppd" && i + 1 < argc) {
      ppd = argv[++i];
    } else if (arg == "--reps" && i + 1 < argc) {
      reps = std::max(1, atoi(argv[++i]));
    } else {
      jobs.push_back(arg);
    }
  }
  if (filter.empty() || ppd.empty() || jobs.empty()) {
    fputs("usage: filter_bench --filter PATH --ppd PATH [--reps N] JOB.ras...\n", stderr);
    return 2;
  }

  for (const std::string& job : jobs) {
    std::vector<double> walls, ratios, cpuRatios, perPageCpu, perPageFaults;
    long peakKb = 0;
    int pages = 0;
    std::vector<std::vector<double>> pageTimes;
    std::vector<double> firstCpu, lastCpu;
    for (int rep = 0; rep < reps; ++rep) {
      FilterRun run = RunFilter(filter, ppd, job);
      if (run.status != 0 || run.pages == 0) {
        fprintf(stderr, "filter_bench: the filter failed on %s (status %d)\n", job.c_str(),
                run.status);
        return 1;
      }
      EncoderRun alone = RunEncoderAlone(run.pages);
      pages = run.pages;
      walls.push_back(run.wall);
      ratios.push_back(run.wall / alone.wall);
      cpuRatios.push_back(run.totalCpu / alone.cpu);
      perPageCpu.push_back(run.ownCpu / run.pages);
      perPageFaults.push_back(static_cast<double>(run.minorFaults) / run.pages);
      peakKb = std::max(peakKb, run.peakKb);
      std::vector<double> times;
      for (size_t i = 0; i < run.pageStarts.size(); ++i) {
        double next = i + 1 < run.pageStarts.size() ? run.pageStarts[i + 1] : run.wall;
        times.push_back(next - run.pageStarts[i]);
      }
      pageTimes.push_back(times);
      // The filter's own CPU over the first and the last tenth of the pages.
      const size_t tenth = run.pageCpu.size() / 10;
      if (tenth >= 1 && run.pageCpu.size() > 2 * tenth) {
        firstCpu.push_back((run.pageCpu[tenth] - run.pageCpu[0]) / tenth);
        const size_t end = run.pageCpu.size() - 1;
        lastCpu.push_back((run.pageCpu[end] - run.pageCpu[end - tenth]) / tenth);
      }
    }
    Spread wall = Of(walls);
    printf("%s: %d pages, %d runs\n", job.c_str(), pages, reps);
    printf("  pages per second      %s\n",
           Format({pages / wall.median, pages / wall.max, pages / wall.min}, 1, "%.2f").c_str());
    printf("  wall per page         %s ms\n", Format(wall, 1000.0 / pages, "%.1f").c_str());
    printf("  filter CPU per page   %s ms (the filter process alone)\n",
           Format(Of(perPageCpu), 1000.0, "%.2f").c_str());
    printf("  filter page faults    %s per page (minor, the filter process alone)\n",
           Format(Of(perPageFaults), 1, "%.0f").c_str());
    printf("  filter peak RSS       %.1f MiB\n", peakKb / 1024.0);
    printf("  overhead ratio        %s (filter wall / encoder-alone wall)\n",
           Format(Of(ratios), 1, "%.3f").c_str());
    printf("  CPU overhead ratio    %s (filter and its children / encoder alone)\n",
           Format(Of(cpuRatios), 1, "%.3f").c_str());
    // Median time of the first and the last tenth of the pages.
    if (pages >= 10) {
      std::vector<double> first, last;
      for (const auto& times : pageTimes) {
        for (int i = 0; i < pages / 10; ++i) {
          first.push_back(times[i]);
          last.push_back(times[pages - 1 - i]);
        }
      }
      printf("  page time, first/last tenth  %.1f / %.1f ms (median)\n", Of(first).median * 1000,
             Of(last).median * 1000);
      if (!firstCpu.empty()) {
        printf("  filter CPU per page, first/last tenth  %.2f / %.2f ms (median)\n",
               Of(firstCpu).median * 1000, Of(lastCpu).median * 1000);
      }
      // Least-squares slope of page time over page number, all runs.
      double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
      for (const auto& times : pageTimes) {
        for (size_t i = 0; i < times.size(); ++i) {
          n += 1;
          sx += i;
          sy += times[i];
          sxx += static_cast<double>(i) * i;
          sxy += i * times[i];
        }
      }
      double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
      printf("  page time trend       %+.2f ms per 100 pages (least squares, all runs)\n",
             slope * 1000 * 100);
    }
    fflush(stdout);
  }
  return 0;
}
