// The printer's PPD as a CUPS PPD object, from a file or from text a front
// end carries built in.
#ifndef QUILLFERN_CORE_PPD_FILE_H_
#define QUILLFERN_CORE_PPD_FILE_H_

#include <memory>

// The PPD interface is deprecated in libcups in favour of the IPP
// destination API, but it is what a PPD-based driver reads its marks with.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>

namespace quillfern {

struct PpdCloser {
  void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};
using UniquePpd = std::unique_ptr<ppd_file_t, PpdCloser>;

// The PPD in `text`, or null when CUPS cannot read it.  CUPS reads a PPD
// through a descriptor (an fmemopen stream has none), so the text goes
// through an anonymous memory file.
UniquePpd OpenPpdText(const char* text);

}  // namespace quillfern

#pragma GCC diagnostic pop

#endif  // QUILLFERN_CORE_PPD_FILE_H_
