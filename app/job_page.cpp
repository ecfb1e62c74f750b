#include "app/job_page.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/driver_choices.h"

namespace quillfern {

namespace {

// Whether a zero sample is black: luminance spaces; in K a set value is.
bool ZeroIsBlack(cups_cspace_t space) {
  return space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW;
}

std::string Dpi(unsigned x, unsigned y) {
  return std::to_string(x) + "x" + std::to_string(y) + " dpi";
}

std::string FormProblem(const cups_page_header2_t& received) {
  const cups_cspace_t space = received.cupsColorSpace;
  if (space != CUPS_CSPACE_K && !ZeroIsBlack(space)) {
    return "the page is in colour space " + std::to_string(space) +
           "; the printer takes black or gray";
  }
  if ((received.cupsBitsPerColor != 1 && received.cupsBitsPerColor != 8) ||
      received.cupsBitsPerPixel != received.cupsBitsPerColor) {
    return "the page has " + std::to_string(received.cupsBitsPerPixel) +
           " bits a pixel; the printer takes 1 or 8";
  }
  return "";
}

}  // namespace

PagePlan PlanPage(const cups_page_header2_t& received, const std::vector<int>& resolutions) {
  PagePlan plan;
  plan.problem = FormProblem(received);
  if (!plan.problem.empty()) return plan;
  const unsigned across = received.HWResolution[0], down = received.HWResolution[1];
  const bool known = std::find(resolutions.begin(), resolutions.end(), static_cast<int>(across)) !=
                     resolutions.end();
  if (!known || down == 0 || down > across || across % down != 0) {
    std::string offered;
    for (int dpi : resolutions) offered += (offered.empty() ? "" : " or ") + std::to_string(dpi);
    plan.problem = "the page is at " + Dpi(across, down) + "; the printer prints " + offered +
                   " dpi, the same across and down";
    return plan;
  }
  plan.repeat = across / down;
  plan.rowsAsReceived = received.cupsBitsPerPixel == 1 &&
                        received.cupsColorSpace == CUPS_CSPACE_K && plan.repeat == 1;
  plan.printed = received;
  plan.printed.cupsBitsPerColor = 1;
  plan.printed.cupsBitsPerPixel = 1;
  plan.printed.cupsNumColors = 1;
  plan.printed.cupsColorSpace = CUPS_CSPACE_K;
  plan.printed.cupsColorOrder = CUPS_ORDER_CHUNKED;
  plan.printed.cupsBytesPerLine = (received.cupsWidth + 7) / 8;
  plan.printed.HWResolution[1] = across;
  // In 64 bits: a hostile header's height times the repeat must not wrap.
  const uint64_t height = static_cast<uint64_t>(received.cupsHeight) * plan.repeat;
  if (height > UINT32_MAX) {
    plan.problem = "the page is " + std::to_string(height) + " rows long";
    return plan;
  }
  plan.printed.cupsHeight = static_cast<unsigned>(height);
  return plan;
}

std::string SizeProblem(const cups_page_header2_t& page, const char* paper, int width, int length) {
  if (page.HWResolution[0] == 0 || page.HWResolution[1] == 0) return "";
  // Hundredths of a millimetre, in 64 bits.
  const long long across = 2540LL * page.cupsWidth / page.HWResolution[0];
  const long long down = 2540LL * page.cupsHeight / page.HWResolution[1];
  const long long slack = kSizeTolerance + 2540LL / page.HWResolution[1] + 1;
  if (llabs(across - width) <= slack && llabs(down - length) <= slack) return "";
  char text[200];
  snprintf(text, sizeof text, "the page is %.1f x %.1f mm; the job's paper is %s (%.1f x %.1f mm)",
           across / 100.0, down / 100.0, paper, width / 100.0, length / 100.0);
  return text;
}

void PlaceOnSheet(unsigned width, unsigned height, PagePlan* plan) {
  plan->placed = true;
  plan->receivedWidth = plan->printed.cupsWidth;
  plan->xOffset = (static_cast<long long>(width) - plan->printed.cupsWidth) / 2;
  plan->yOffset = (static_cast<long long>(height) - plan->printed.cupsHeight) / 2;
  plan->printed.cupsWidth = width;
  plan->printed.cupsHeight = height;
  plan->printed.cupsBytesPerLine = (width + 7) / 8;
}

void PlaceRow(const unsigned char* row, unsigned width, long long xOffset, unsigned char* out,
              unsigned outWidth) {
  memset(out, 0, (outWidth + 7) / 8);
  // The received pixels that land on the printed row.
  const long long first = xOffset < 0 ? -xOffset : 0;
  const long long end = std::min<long long>(width, static_cast<long long>(outWidth) - xOffset);
  for (long long x = first; x < end; ++x) {
    if (x % 8 == 0 && row[x / 8] == 0) {
      x += 7;  // eight white pixels
      continue;
    }
    if ((row[x / 8] & (0x80 >> (x & 7))) == 0) continue;
    const long long to = x + xOffset;
    out[to / 8] |= static_cast<unsigned char>(0x80 >> (to & 7));
  }
}

void PrinterRow(const cups_page_header2_t& received, const unsigned char* row,
                const unsigned char dither[16], unsigned char* out) {
  const unsigned width = received.cupsWidth;
  const size_t bytes = (width + 7) / 8;
  const bool zeroIsBlack = ZeroIsBlack(received.cupsColorSpace);
  if (received.cupsBitsPerPixel == 1) {
    for (size_t i = 0; i < bytes; ++i) out[i] = zeroIsBlack ? ~row[i] : row[i];
  } else {
    memset(out, 0, bytes);
    for (unsigned x = 0; x < width; ++x) {
      const bool black = zeroIsBlack ? row[x] <= dither[x & 15] : row[x] > dither[x & 15];
      if (black) out[x / 8] |= static_cast<unsigned char>(0x80 >> (x & 7));
    }
  }
  // Bits past the page's width stay white.
  if (width % 8 != 0) out[bytes - 1] &= static_cast<unsigned char>(0xff << (8 - width % 8));
}

}  // namespace quillfern
