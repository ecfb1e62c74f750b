// The job parameter table: 23 named settings that travel to the printer as
// one line of "key=value, " text at the head of the print stream.
#ifndef QUILLFERN_PARAMS_JOB_PARAMS_H_
#define QUILLFERN_PARAMS_JOB_PARAMS_H_

#include <array>
#include <cstddef>

namespace quillfern {

// One parameter record.  The widths are those the printer's firmware expects
// of the table; every field is zero-terminated.
struct PARAM_KEY_SPERATOR_VALUE {
  char key[256];
  char separator[8];
  char value[256];
};

constexpr int kJobParamCount = 23;
constexpr size_t kJobParamValueMax = sizeof(PARAM_KEY_SPERATOR_VALUE::value) - 1;
constexpr size_t kOptionTokenSize = 512;       // token buffer, 511 characters
constexpr size_t kJobParamsBufferSize = 1024;  // job_params text, 1023 characters

// A table is exactly 23 records in a fixed order: lookups stop at the first
// match, and the order is the order of the serialised text.
using JobParamTable = std::array<PARAM_KEY_SPERATOR_VALUE, kJobParamCount>;

// The defaults.  Never changed; every job works on its own copy.
extern const JobParamTable tblDefParam;

// Splits the CUPS options text into tokens (at blanks, with CUPS's escapes
// and quotes undone) and applies each token with SetJobParams, in text order.
void GetJobParamFromCups(const char* options, JobParamTable& table);

// Applies one option token: to the record whose key and separator start it,
// else to the first record whose key occurs in it.  A comma in the value
// becomes ";" (see SetJobValue).
void SetJobParams(const char* token, JobParamTable& table);

// Points `*value` at the value field of the record named `key`; leaves it
// alone when there is no such record.
void GetJobParam(const char* key, const char** value, const JobParamTable& table);

// Replaces the value of the record named `key` (cut at 255 characters).
void SetJobParam(const char* key, const char* value, JobParamTable& table);

// SetJobParam for a value that comes with the job (its title, user or
// options) rather than from the administrator: each "," is stored as ";",
// so that the value cannot add a record of its own to job_params.
void SetJobValue(const char* key, const char* value, JobParamTable& table);

// Writes the job_params text into `out` (at most `outSize - 1` characters,
// always terminated) and logs it with the password masked.
void BuildJobParams(char* out, size_t outSize, const JobParamTable& table);

// The serialised text without logging.  With `maskSecrets` the password
// value is replaced by a fixed mask, for log lines.
void FormatJobParams(char* out, size_t outSize, const JobParamTable& table, bool maskSecrets);

}  // namespace quillfern

#endif  // QUILLFERN_PARAMS_JOB_PARAMS_H_
