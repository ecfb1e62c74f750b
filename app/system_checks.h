// What a command line is refused for before PAPPL sees it: an unknown
// sub-command (PAPPL would take the word for a file to print), a device URI
// for add the printer cannot be reached by, a new device for modify (PAPPL
// drops -v there), -n (PAPPL drops the copies), login with -u, and a
// document for submit of a type the printer cannot print (PAPPL would
// accept the job and abort it).  With -u the device and the documents are
// for a printer elsewhere, which decides.
#ifndef QUILLFERN_APP_SYSTEM_CHECKS_H_
#define QUILLFERN_APP_SYSTEM_CHECKS_H_

#include <string>

#include "app/system_arguments.h"

namespace quillfern {

// What is wrong with the command line's words and options; empty when
// nothing is.
std::string LineProblem(const CommandLine& line);

// Why submit's documents cannot be printed, before they are sent; empty
// when they can.  The type is -o document-format's, or each document's own
// from its first bytes.  A document read from standard input is kept in an
// unlinked temporary file that becomes standard input, so that PAPPL reads
// it again from the start.
std::string SubmitProblem(const CommandLine& line);

}  // namespace quillfern

#endif  // QUILLFERN_APP_SYSTEM_CHECKS_H_
