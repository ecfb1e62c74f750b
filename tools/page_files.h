// Writing a decoded page as files a person can open.
#ifndef QUILLFERN_TOOLS_PAGE_FILES_H_
#define QUILLFERN_TOOLS_PAGE_FILES_H_

#include <string>

#include "tools/stream_checker.h"

namespace quillfern {

// A raw PBM ("P4") file.  False with `error` set when it cannot be written.
bool WritePbm(const PageImage& page, const std::string& path, std::string* error);

// A one-bit greyscale PNG, black where the page has ink.
bool WritePng(const PageImage& page, const std::string& path, std::string* error);

}  // namespace quillfern

#endif  // QUILLFERN_TOOLS_PAGE_FILES_H_
