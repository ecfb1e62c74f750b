// Turns a page's PBM file into the JBIG file the printer takes.  The real
// encoder runs JBIG-KIT's pbmtojbg; tests put a stand-in in its place.
#ifndef QUILLFERN_CORE_PAGE_ENCODER_H_
#define QUILLFERN_CORE_PAGE_ENCODER_H_

#include <string>

namespace quillfern {

class PageEncoder {
 public:
  virtual ~PageEncoder() = default;
  // Encodes the PBM file at `pbmPath` into `jbgPath`; 0 on success, else
  // non-zero with the reason logged.
  virtual int Encode(const std::string& pbmPath, const std::string& jbgPath) = 0;
};

// pbmtojbg with the printer's options, run as a program.
class PbmtojbgEncoder : public PageEncoder {
 public:
  int Encode(const std::string& pbmPath, const std::string& jbgPath) override;
};

}  // namespace quillfern

#endif  // QUILLFERN_CORE_PAGE_ENCODER_H_
