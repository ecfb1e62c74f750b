#include "params/job_params.h"

#include <cstdio>
#include <cstring>

#include "params/secret_mask.h"
#include "params/text_field.h"

namespace {

constexpr PARAM_KEY_SPERATOR_VALUE Row(const char* key, const char* value) {
  PARAM_KEY_SPERATOR_VALUE record{};
  for (size_t i = 0; key[i] != '\0'; ++i) record.key[i] = key[i];
  record.separator[0] = '=';
  for (size_t i = 0; value[i] != '\0'; ++i) record.value[i] = value[i];
  return record;
}

// Appends to a fixed buffer, keeping it terminated and never passing its end.
class BoundedText {
 public:
  BoundedText(char* buffer, size_t size) : buffer_(buffer), size_(size) {
    if (size_ > 0) buffer_[0] = '\0';
  }
  void Append(const char* text) {
    if (size_ == 0) return;
    length_ += CopyTextField(buffer_ + length_, size_ - length_, text);
  }

 private:
  char* buffer_;
  size_t size_;
  size_t length_ = 0;
};

bool StartsWith(const char* text, const char* prefix) {
  return strncmp(text, prefix, strlen(prefix)) == 0;
}

// CUPS hands a true boolean option to a filter as its bare name and a false
// one as "no" + name.  The printer makes the copies from the Collate row, so
// both spellings must reach it as the value the user chose.
bool ApplyBooleanSpelling(const char* token, PARAM_KEY_SPERATOR_VALUE& record) {
  if (strcmp(record.key, "Collate") != 0) return false;
  if (strcmp(token, "Collate") == 0) {
    CopyTextField(record.value, "True");
    return true;
  }
  if (strcmp(token, "noCollate") == 0) {
    CopyTextField(record.value, "False");
    return true;
  }
  return false;
}

void ApplyToken(const char* token, size_t length, JobParamTable& table) {
  char buffer[kOptionTokenSize] = {};
  size_t stored = CopyTextField(buffer, sizeof buffer, token, length);
  fprintf(stderr, "One_Param:%s , Len:%d\n", MaskSecretInToken(buffer).c_str(),
          static_cast<int>(stored));
  SetJobParams(buffer, table);
}

}  // namespace

const JobParamTable tblDefParam = {
    Row("PageSize", "A4"),
    Row("Resolution", "600dpi"),
    Row("resX", "600dpi"),
    Row("resY", "600dpi"),
    Row("FeedEdge", "0"),
    Row("Collate", "False"),
    Row("Duplex", "None"),
    Row("MediaType", "Plain"),
    Row("InputSlot", "MainTray"),
    Row("number-up", "1"),
    Row("job-uuid", ""),
    Row("job-originating-host-name", ""),
    Row("date-time-at-creation", ""),
    Row("date-time-at-processing", ""),
    Row("time-at-creation", ""),
    Row("time-at-processing", ""),
    Row("copies", "1"),
    Row("jobId", ""),
    Row("DocName", ""),
    Row("HostName", ""),
    Row("LoginName", ""),
    Row("AuthID", ""),
    Row("AuthPassword", ""),
};

void GetJobParamFromCups(const char* options, JobParamTable& table) {
  const char* start = options;
  for (const char* at = options; *at != '\0'; ++at) {
    if (*at != ' ') continue;
    ApplyToken(start, static_cast<size_t>(at - start), table);
    start = at + 1;
  }
  if (*start != '\0') ApplyToken(start, strlen(start), table);
}

void SetJobParams(const char* token, JobParamTable& table) {
  for (PARAM_KEY_SPERATOR_VALUE& record : table) {
    if (strstr(token, record.key) == nullptr) continue;

    fprintf(stderr, "Key:%s , Length:%d\n", record.key, static_cast<int>(strlen(record.key)));
    if (record.separator[0] == '\0') {
      CopyTextField(record.value, token);
    } else if (StartsWith(token, record.key) &&
               StartsWith(token + strlen(record.key), record.separator)) {
      const char* rest = token + strlen(record.key) + strlen(record.separator);
      if (*rest != '\0') CopyTextField(record.value, rest);
    } else {
      // The key occurs only inside a longer word (number-up-layout=...):
      // that is another option, so the value stays as it is.
      ApplyBooleanSpelling(token, record);
    }
    fprintf(stderr, "Value:%s , Length:%d\n", LoggableValue(record.key, record.value),
            static_cast<int>(strlen(record.value)));
    return;
  }
}

void GetJobParam(const char* key, const char** value, const JobParamTable& table) {
  for (const PARAM_KEY_SPERATOR_VALUE& record : table) {
    if (strcmp(record.key, key) != 0) continue;
    *value = record.value;
    fprintf(stderr, "GetJobParam:[%s , %s ]\n", record.key,
            LoggableValue(record.key, record.value));
    return;
  }
}

void SetJobParam(const char* key, const char* value, JobParamTable& table) {
  for (PARAM_KEY_SPERATOR_VALUE& record : table) {
    if (strcmp(record.key, key) != 0) continue;
    memset(record.value, 0, sizeof record.value);
    CopyTextField(record.value, value);
    fprintf(stderr, "SetJobParam:[%s , %s ]\n", record.key,
            LoggableValue(record.key, record.value));
    return;
  }
}

void FormatJobParams(char* out, size_t outSize, const JobParamTable& table, bool maskSecrets) {
  BoundedText text(out, outSize);
  for (const PARAM_KEY_SPERATOR_VALUE& record : table) {
    if (record.separator[0] != '\0') {
      text.Append(record.key);
      text.Append(record.separator);
    }
    text.Append(maskSecrets ? LoggableValue(record.key, record.value) : record.value);
    text.Append(", ");
  }
}

void BuildJobParams(char* out, size_t outSize, const JobParamTable& table) {
  FormatJobParams(out, outSize, table, /*maskSecrets=*/false);
  char logged[kJobParamsBufferSize];
  FormatJobParams(logged, sizeof logged, table, /*maskSecrets=*/true);
  fprintf(stderr, "BuildJobParams:%s\n", logged);
}
