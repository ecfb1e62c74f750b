#include "params/job_params.h"

#include <cstdio>
#include <cstring>

#include "common/log.h"
#include "common/log_text.h"
#include "params/option_tokens.h"
#include "params/secret_mask.h"
#include "params/text_field.h"

namespace quillfern {

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

void ApplyToken(const std::string& token, JobParamTable& table) {
  char buffer[kOptionTokenSize] = {};
  size_t stored = CopyTextField(buffer, sizeof buffer, token.data(), token.size());
  LogPrintf("One_Param:%s , Len:%d\n", LogText(MaskSecretInToken(buffer)).c_str(),
            static_cast<int>(stored));
  SetJobParams(buffer, table);
}

// The record a token names by starting with its key and separator, or null.
PARAM_KEY_SPERATOR_VALUE* RecordNamedBy(const char* token, JobParamTable& table) {
  for (PARAM_KEY_SPERATOR_VALUE& record : table) {
    if (record.separator[0] != '\0' && StartsWith(token, record.key) &&
        StartsWith(token + strlen(record.key), record.separator)) {
      return &record;
    }
  }
  return nullptr;
}

// The first record whose key occurs anywhere in the token, or null.
PARAM_KEY_SPERATOR_VALUE* RecordOccurringIn(const char* token, JobParamTable& table) {
  for (PARAM_KEY_SPERATOR_VALUE& record : table) {
    if (strstr(token, record.key) != nullptr) return &record;
  }
  return nullptr;
}

// The printer reads job_params as ", "-separated records, so a value from
// the job must not bring a comma of its own: it could start a forged record.
void ReplaceCommas(char* value) {
  for (char* at = value; *at != '\0'; ++at) {
    if (*at == ',') *at = ';';
  }
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
  for (const OptionToken& token : SplitOptionTokens(options)) ApplyToken(token.text, table);
}

void SetJobParams(const char* token, JobParamTable& table) {
  // A token that starts with a key and its separator sets that key, even
  // when an earlier key occurs inside its value (AuthPassword=Duplex42).
  PARAM_KEY_SPERATOR_VALUE* record = RecordNamedBy(token, table);
  if (record == nullptr) record = RecordOccurringIn(token, table);
  if (record == nullptr) return;

  LogPrintf("Key:%s , Length:%d\n", record->key, static_cast<int>(strlen(record->key)));
  if (record->separator[0] == '\0') {
    CopyTextField(record->value, token);
    ReplaceCommas(record->value);
  } else if (StartsWith(token, record->key) &&
             StartsWith(token + strlen(record->key), record->separator)) {
    const char* rest = token + strlen(record->key) + strlen(record->separator);
    if (*rest != '\0') {
      CopyTextField(record->value, rest);
      ReplaceCommas(record->value);
    }
  } else {
    // The key occurs only inside a longer word (number-up-layout=...):
    // that is another option, so the value stays as it is.
    ApplyBooleanSpelling(token, *record);
  }
  LogPrintf("Value:%s , Length:%d\n", LogText(LoggableValue(record->key, record->value)).c_str(),
            static_cast<int>(strlen(record->value)));
}

void GetJobParam(const char* key, const char** value, const JobParamTable& table) {
  for (const PARAM_KEY_SPERATOR_VALUE& record : table) {
    if (strcmp(record.key, key) != 0) continue;
    *value = record.value;
    LogPrintf("GetJobParam:[%s , %s ]\n", record.key,
              LogText(LoggableValue(record.key, record.value)).c_str());
    return;
  }
}

void SetJobParam(const char* key, const char* value, JobParamTable& table) {
  for (PARAM_KEY_SPERATOR_VALUE& record : table) {
    if (strcmp(record.key, key) != 0) continue;
    memset(record.value, 0, sizeof record.value);
    CopyTextField(record.value, value);
    LogPrintf("SetJobParam:[%s , %s ]\n", record.key,
              LogText(LoggableValue(record.key, record.value)).c_str());
    return;
  }
}

void SetJobValue(const char* key, const char* value, JobParamTable& table) {
  char sent[sizeof(PARAM_KEY_SPERATOR_VALUE::value)];
  CopyTextField(sent, value);
  ReplaceCommas(sent);
  SetJobParam(key, sent, table);
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
  LogPrintf("BuildJobParams:%s\n", LogText(logged).c_str());
}

}  // namespace quillfern
