#include "params/doc_name.h"

#include <cstdio>
#include <cstring>

#include "params/text_field.h"

void getDocumenName(const char* title, char* name, size_t nameSize) {
  fputs("DEBUG: Enter getDocumenName!\n", stderr);

  const char* lastSlash = strrchr(title, '/');
  if (lastSlash != nullptr) {
    CopyTextField(name, nameSize, lastSlash + 1);
    fputs("DEBUG: getDocumenName:remove dir.\n", stderr);
  } else {
    CopyTextField(name, nameSize, title);
    fputs("DEBUG: getDocumenName:param not include dir.\n", stderr);
  }

  char* firstDot = strchr(name, '.');
  if (firstDot != nullptr) {
    fputs("DEBUG: getDocumenName:find expanded flag.\n", stderr);
    char* blank = strchr(firstDot, ' ');
    if (blank != nullptr) {
      *blank = '\0';
      fputs("DEBUG: getDocumenName:set DocName string terminal.\n", stderr);
    }
  }

  fputs("DEBUG: Exit getDocumenName!\n", stderr);
}
