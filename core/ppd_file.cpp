#include "core/ppd_file.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace quillfern {

UniquePpd OpenPpdText(const char* text) {
  if (text == nullptr) return nullptr;
  const int fd = memfd_create("ppd", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  const size_t length = strlen(text);
  if (write(fd, text, length) != static_cast<ssize_t>(length) || lseek(fd, 0, SEEK_SET) != 0) {
    close(fd);
    return nullptr;
  }
  cups_file_t* file = cupsFileOpenFd(fd, "r");
  if (file == nullptr) {
    close(fd);
    return nullptr;
  }
  UniquePpd ppd(ppdOpen2(file));
  cupsFileClose(file);  // closes the descriptor too
  return ppd;
}

}  // namespace quillfern

#pragma GCC diagnostic pop
