#include "params/doc_name.h"

#include <cstdio>
#include <cstring>

#include "common/log.h"
#include "params/text_field.h"

namespace quillfern {

void getDocumenName(const char* title, char* name, size_t nameSize) {
  LogPuts("DEBUG: Enter getDocumenName!\n");

  const char* lastSlash = strrchr(title, '/');
  if (lastSlash != nullptr) {
    CopyTextField(name, nameSize, lastSlash + 1);
    LogPuts("DEBUG: getDocumenName:remove dir.\n");
  } else {
    CopyTextField(name, nameSize, title);
    LogPuts("DEBUG: getDocumenName:param not include dir.\n");
  }

  char* firstDot = strchr(name, '.');
  if (firstDot != nullptr) {
    LogPuts("DEBUG: getDocumenName:find expanded flag.\n");
    char* blank = strchr(firstDot, ' ');
    if (blank != nullptr) {
      *blank = '\0';
      LogPuts("DEBUG: getDocumenName:set DocName string terminal.\n");
    }
  }

  LogPuts("DEBUG: Exit getDocumenName!\n");
}

}  // namespace quillfern
