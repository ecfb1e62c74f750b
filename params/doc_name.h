// The document name the printer shows for a job, made from the job title.
#ifndef QUILLFERN_PARAMS_DOC_NAME_H_
#define QUILLFERN_PARAMS_DOC_NAME_H_

#include <cstddef>

namespace quillfern {

constexpr size_t kDocNameSize = 256;

// Writes into `name` (`nameSize` bytes, at most nameSize - 1 characters) the
// last path component of `title`, ended at the first blank after its first
// ".": "/home/a/report.pdf draft" gives "report.pdf".
void getDocumenName(const char* title, char* name, size_t nameSize);

}  // namespace quillfern

#endif  // QUILLFERN_PARAMS_DOC_NAME_H_
