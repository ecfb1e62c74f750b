#include "tools/stream_checker.h"

#include <bit>
#include <cstdio>
#include <cstring>

extern "C" {
#include <jbig.h>
}

namespace quillfern {

namespace {

constexpr char kJobTag[] = "rv7731_param";
constexpr char kPageMagic[] = "rv7731_printer";
constexpr size_t kTagBytes = 16;
constexpr size_t kRecordHeaderBytes = 32;
constexpr size_t kBihBytes = 20;
constexpr uint32_t kMaxImageSide = 32768;

int32_t Le32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return static_cast<int32_t>(value);
}

uint32_t Be32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Printable form of some bytes for a message: text as text, the rest as \xNN.
std::string Shown(std::string_view bytes) {
  std::string shown = "\"";
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    }
  }
  return shown + "\"";
}

// A tag as it stands in the stream: its text padded with zero bytes.
std::string PaddedTag(const char* tag) {
  return std::string(tag) + std::string(kTagBytes - strlen(tag), '\0');
}

std::string TagText(const char* tag) {
  return Shown(PaddedTag(tag));
}

std::string EndOfInput(size_t available) {
  return "end of input after " + std::to_string(available) + " more bytes";
}

// Fails `stream` at `offset` and returns it.
ParsedStream& Fail(ParsedStream& stream, uint64_t offset, std::string field, std::string expected,
                   std::string found) {
  stream.valid = false;
  stream.error = {offset, std::move(field), std::move(expected), std::move(found)};
  return stream;
}

}  // namespace

std::string StreamError::Message() const {
  return "at byte " + std::to_string(offset) + ": " + field + ": expected " + expected +
         ", found " + found;
}

namespace {

// The Job header at `start`: the tag, job_params_size and the text.
// Returns where the records start, or 0 with `stream` failed.
size_t ParseJobHeader(std::string_view bytes, size_t start, ParsedStream& stream) {
  const size_t available = bytes.size() - start;
  if (available < kTagBytes + 4) {
    Fail(stream, start, "job header", TagText(kJobTag) + " and job_params_size",
         EndOfInput(available));
    return 0;
  }
  if (bytes.substr(start, kTagBytes) != PaddedTag(kJobTag)) {
    Fail(stream, start, "job tag", TagText(kJobTag), Shown(bytes.substr(start, kTagBytes)));
    return 0;
  }
  stream.hasJobHeader = true;
  const int32_t paramsSize = Le32(bytes, start + kTagBytes);
  const size_t paramsStart = start + kTagBytes + 4;
  if (paramsSize < 0 || static_cast<size_t>(paramsSize) > bytes.size() - paramsStart) {
    Fail(stream, start + kTagBytes, "job_params_size",
         "at most the " + std::to_string(bytes.size() - paramsStart) + " bytes that follow",
         std::to_string(paramsSize));
    return 0;
  }
  stream.jobParams = bytes.substr(paramsStart, static_cast<size_t>(paramsSize));
  if (size_t zero = stream.jobParams.find('\0'); zero != std::string_view::npos) {
    Fail(stream, paramsStart + zero, "job_params", "text without zero bytes", "a zero byte");
    return 0;
  }
  return paramsStart + static_cast<size_t>(paramsSize);
}

// The 32-byte header of the record at `at`, checked field by field.
bool ParseRecordHeader(std::string_view bytes, size_t at, const std::string& name, size_t number,
                       StreamRecord* record, ParsedStream& stream) {
  std::string_view magic = bytes.substr(at, kTagBytes);
  if (magic != PaddedTag(kPageMagic)) {
    Fail(stream, at, name + " magic", TagText(kPageMagic), Shown(magic));
    return false;
  }
  record->offset = at;
  record->firstpage = Le32(bytes, at + 16);
  record->lastpage = Le32(bytes, at + 20);
  record->datasize = Le32(bytes, at + 24);
  record->pageno = Le32(bytes, at + 28);
  if (record->firstpage != 0 && record->firstpage != 1) {
    Fail(stream, at + 16, name + " firstpage", "0 or 1", std::to_string(record->firstpage));
  } else if (record->lastpage != 0 && record->lastpage != 1) {
    Fail(stream, at + 20, name + " lastpage", "0 or 1", std::to_string(record->lastpage));
  } else if (record->pageno != static_cast<int32_t>(number)) {
    Fail(stream, at + 28, name + " pageno", std::to_string(number), std::to_string(record->pageno));
  }
  return stream.valid;
}

// The record at `at`; returns where the next one starts, or 0 with
// `stream` failed.  `inCapture`: another job may follow the last record.
size_t ParseRecord(std::string_view bytes, size_t at, bool inCapture, ParsedStream& stream) {
  const size_t number = stream.records.size() + 1;
  const std::string name = "page record " + std::to_string(number);
  if (!stream.records.empty() && stream.records.back().lastpage == 1) {
    Fail(stream, at, name,
         std::string(inCapture ? "a Job header or " : "") +
             "nothing after the record with lastpage 1",
         std::to_string(bytes.size() - at) + " more bytes");
    return 0;
  }
  if (bytes.size() - at < kRecordHeaderBytes) {
    Fail(stream, at, name + " header", "32 bytes", EndOfInput(bytes.size() - at));
    return 0;
  }
  StreamRecord record;
  if (!ParseRecordHeader(bytes, at, name, number, &record, stream)) return 0;
  const size_t dataStart = at + kRecordHeaderBytes;
  if (record.datasize < 0 || static_cast<size_t>(record.datasize) > bytes.size() - dataStart) {
    Fail(stream, at + 24, name + " datasize",
         "at most the " + std::to_string(bytes.size() - dataStart) + " bytes that follow",
         std::to_string(record.datasize));
    return 0;
  }
  record.data = bytes.substr(dataStart, static_cast<size_t>(record.datasize));
  stream.records.push_back(record);
  return dataStart + static_cast<size_t>(record.datasize);
}

// Whether the bytes at `at` start the next job of a capture.  The tag's
// text is enough: a job whose padding is damaged is still told apart from
// stray bytes, and its Job header check then names the damage.
bool StartsJob(std::string_view bytes, size_t at) {
  return bytes.substr(at).starts_with(kJobTag);
}

// The job at `start`: its Job header and its records, up to the end of
// `bytes` or, `inCapture`, up to the next job.  Returns where it ends.
size_t ParseJob(std::string_view bytes, size_t start, bool requireEnd, bool inCapture,
                ParsedStream& stream) {
  stream.offset = start;
  size_t at = ParseJobHeader(bytes, start, stream);
  if (!stream.valid) return start;
  while (at < bytes.size() && !(inCapture && StartsJob(bytes, at))) {
    at = ParseRecord(bytes, at, inCapture, stream);
    if (!stream.valid) return start;
  }
  if (requireEnd && !stream.records.empty() && stream.records.back().lastpage != 1) {
    const StreamRecord& last = stream.records.back();
    Fail(stream, last.offset + 20,
         "page record " + std::to_string(stream.records.size()) + " lastpage",
         "1 on the last record (the job was cut short)", "0");
  }
  return at;
}

}  // namespace

ParsedStream ParsePrintStream(std::string_view bytes, bool requireEnd) {
  ParsedStream stream;
  if (bytes.empty()) return stream;
  ParseJob(bytes, 0, requireEnd, /*inCapture=*/false, stream);
  return stream;
}

std::vector<ParsedStream> ParseCapture(std::string_view bytes) {
  std::vector<ParsedStream> jobs;
  size_t at = 0;
  while (at < bytes.size()) {
    ParsedStream& job = jobs.emplace_back();
    at = ParseJob(bytes, at, /*requireEnd=*/true, /*inCapture=*/true, job);
    if (!job.valid) break;
  }
  return jobs;
}

double PageImage::BlackShare() const {
  if (width == 0 || height == 0) return 0;
  uint64_t black = 0;
  const uint32_t full = width / 8;
  const unsigned char lastMask =
      width % 8 == 0 ? 0 : static_cast<unsigned char>(0xff << (8 - width % 8));
  for (uint32_t y = 0; y < height; ++y) {
    const unsigned char* row =
        reinterpret_cast<const unsigned char*>(rows.data()) + static_cast<size_t>(y) * rowBytes();
    for (uint32_t b = 0; b < full; ++b) black += static_cast<uint64_t>(std::popcount(row[b]));
    if (lastMask != 0)
      black += static_cast<uint64_t>(std::popcount<unsigned>(row[full] & lastMask));
  }
  return static_cast<double>(black) / (static_cast<double>(width) * height);
}

namespace {

// The BIE header against the options the filter asks pbmtojbg for.
bool CheckBieHeader(std::string_view bie, uint64_t base, const std::string& name,
                    StreamError* error) {
  if (bie.size() < kBihBytes) {
    *error = {base, name + "header", "20 bytes", EndOfInput(bie.size())};
    return false;
  }
  struct Expect {
    size_t at;
    const char* field;
    unsigned value;
  };
  static const Expect kBytes[] = {
      {0, "DL (initial layer)", 0}, {1, "D (differential layers)", 0}, {2, "P (planes)", 1},
      {3, "reserved byte", 0},      {16, "MX (template offset)", 0},   {17, "MY", 0},
      {18, "order byte", 0},        {19, "options byte (TPBON)", 8},
  };
  for (const Expect& expect : kBytes) {
    unsigned found = static_cast<unsigned char>(bie[expect.at]);
    if (found != expect.value) {
      *error = {base + expect.at, name + expect.field, std::to_string(expect.value),
                std::to_string(found)};
      return false;
    }
  }
  if (Be32(bie, 12) != 128) {
    *error = {base + 12, name + "L0 (stripe height)", "128", std::to_string(Be32(bie, 12))};
    return false;
  }
  return true;
}

// Decodes the whole image entity with libjbig.
bool DecodeBie(std::string_view bie, uint64_t base, const std::string& name, PageImage* image,
               StreamError* error) {
  jbg_dec_state state;
  jbg_dec_init(&state);
  jbg_dec_maxsize(&state, kMaxImageSide, kMaxImageSide);
  std::string copy(bie);
  size_t used = 0;
  int result =
      jbg_dec_in(&state, reinterpret_cast<unsigned char*>(copy.data()), copy.size(), &used);
  bool ok = result == JBG_EOK;
  if (ok) {
    image->width = static_cast<uint32_t>(jbg_dec_getwidth(&state));
    image->height = static_cast<uint32_t>(jbg_dec_getheight(&state));
    image->rows.assign(reinterpret_cast<const char*>(jbg_dec_getimage(&state, 0)),
                       jbg_dec_getsize(&state));
  } else {
    *error = {base + used, name + "data", "a complete image entity", jbg_strerror(result)};
  }
  jbg_dec_free(&state);
  return ok;
}

}  // namespace

bool DecodeRecord(const StreamRecord& record, PageImage* image, StreamError* error) {
  const uint64_t base = record.offset + kRecordHeaderBytes;
  const std::string name = "page record " + std::to_string(record.pageno) + " JBIG ";
  std::string_view bie = record.data;
  if (!CheckBieHeader(bie, base, name, error)) return false;
  // Larger than any sheet the printer takes at 1200 dpi; the decoder is
  // never asked to make room for more.
  const uint32_t width = Be32(bie, 4);
  const uint32_t height = Be32(bie, 8);
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) {
    *error = {base + 4, name + "size",
              "a width and height from 1 to " + std::to_string(kMaxImageSide),
              std::to_string(width) + " x " + std::to_string(height)};
    return false;
  }
  return DecodeBie(bie, base, name, image, error);
}

std::vector<std::pair<std::string, std::string>> SplitJobParams(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> params;
  while (!text.empty()) {
    size_t end = text.find(", ");
    std::string_view item = text.substr(0, end);
    size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      params.emplace_back(std::string(item), "");
    } else {
      params.emplace_back(std::string(item.substr(0, equals)),
                          std::string(item.substr(equals + 1)));
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 2);
  }
  return params;
}

}  // namespace quillfern
