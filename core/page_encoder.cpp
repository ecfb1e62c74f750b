#include "core/page_encoder.h"

#include "image/encoder.h"

namespace quillfern {

int PbmtojbgEncoder::Encode(const std::string& pbmPath, const std::string& jbgPath) {
  return pbmtojbg(pbmPath.c_str(), jbgPath.c_str());
}

}  // namespace quillfern
