#include "tests/stream_maker.h"

#include <gtest/gtest.h>

#include "core/stream_writer.h"
#include "image/encoder.h"
#include "image/pbm.h"
#include "tests/memory_stream.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace testing_support {

MadeStream MakePrintStream(const std::string& jobParams, const std::vector<Bitmap>& pages,
                           const TempDir& dir) {
  MemoryStream stream;
  MadeStream made;
  WriteJobHeader(stream.output(), jobParams.c_str(), static_cast<int32_t>(jobParams.size()), "");
  for (size_t i = 0; i < pages.size(); ++i) {
    const Bitmap& page = pages[i];
    const std::string pbm = dir.File("page-" + std::to_string(i + 1) + ".pbm");
    const std::string jbg = dir.File("page-" + std::to_string(i + 1) + ".jbg");
    WritePbmFile(pbm.c_str(), static_cast<int>(page.width), static_cast<int>(page.height),
                 reinterpret_cast<const unsigned char*>(page.rows.data()), page.rows.size());
    testing::internal::CaptureStderr();
    int result = pbmtojbg(pbm.c_str(), jbg.c_str());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    const std::string jbig = ReadFile(jbg);

    printer_header header;
    header.firstpage = i == 0;
    header.datasize = static_cast<int32_t>(jbig.size());
    header.pageno = static_cast<int32_t>(i + 1);
    made.recordOffsets.push_back(stream.bytes().size());
    WritePageHeader(stream.output(), header, i + 1 == pages.size());
    WritePageData(stream.output(), reinterpret_cast<const unsigned char*>(jbig.data()),
                  jbig.size());
  }
  made.bytes = stream.bytes();
  return made;
}

}  // namespace testing_support
