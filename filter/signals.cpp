#include "filter/signals.h"

#include <unistd.h>

namespace quillfern {

volatile sig_atomic_t cancel_job = 0;

void sighandler(int /*signal*/) {
  static const char kMessage[] = "DEBUG: 捕获SIGTERM信号,终止中\n";
  static_assert(sizeof kMessage - 1 == 37);
  ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)ignored;
  cancel_job = 1;
}

void InstallSignalHandlers() {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);

  struct sigaction cancel = {};
  cancel.sa_handler = sighandler;
  sigemptyset(&cancel.sa_mask);
  cancel.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &cancel, nullptr);
}

}  // namespace quillfern
