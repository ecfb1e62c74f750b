// What a client reads in job-state-message when a job cannot print, where
// more than one path says it.  Each text is written once, as a phrase
// ("the document has no page to print"); a message on its own is that
// phrase as a sentence.
#ifndef QUILLFERN_APP_JOB_MESSAGES_H_
#define QUILLFERN_APP_JOB_MESSAGES_H_

#include <pappl/pappl.h>

#include <cctype>
#include <string>

#include "core/conversion_job.h"

namespace quillfern {

constexpr char kNoPageToPrint[] = "the document has no page to print";
constexpr char kDeviceCannotBeOpened[] = "the printer's device cannot be opened";
// A job the server's stop ended, as it stands (not a sentence).
constexpr char kCanceledByStop[] = "canceled: the printer application was stopped";
// The printer that stopped taking data is said in the core's words
// (kPrinterStoppedTakingData, core/conversion_job.h).

// A job none of whose pages is in its page-ranges (`ranges`, "5-6").
inline std::string NoPageInRanges(const std::string& ranges) {
  return "no page of the document is in page-ranges " + ranges;
}

// Why a job ended before its first page when PAPPL read the document and
// said only its job-state-reasons (PWG and Apple raster it cannot take).
inline const char* NoPageReason(pappl_jreason_t reasons) {
  if (reasons & PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR) {
    return "the document's pages are in colour; the printer prints black and gray";
  }
  if (reasons & PAPPL_JREASON_DOCUMENT_FORMAT_ERROR) return "the document's raster is not valid";
  return kNoPageToPrint;
}

// `phrase` with a capital letter and a full stop.
inline std::string AsSentence(const std::string& phrase) {
  std::string sentence = phrase + ".";
  sentence[0] = static_cast<char>(toupper(static_cast<unsigned char>(sentence[0])));
  return sentence;
}

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_MESSAGES_H_
