#include "crashrpt/crash_record.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace crashrpt {

RecordWriter::RecordWriter(char* buffer, size_t size) : buffer_(buffer), size_(size) {
  if (size_ > 0)
    buffer_[0] = '\0';
}

void RecordWriter::Put(char c) {
  if (length_ + 1 < size_) {
    buffer_[length_++] = c;
    buffer_[length_] = '\0';
  }
}

void RecordWriter::Raw(const char* text) {
  for (; text && *text; ++text)
    Put(*text);
}

void RecordWriter::Number(const char* key, long long value) {
  Raw(key);
  Put(' ');
  char digits[24];
  int n = 0;
  unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0)
    Put('-');
  while (n)
    Put(digits[--n]);
  Put('\n');
}

void RecordWriter::Hex(const char* key, uintptr_t value) {
  Raw(key);
  Raw(" 0x");
  char digits[2 * sizeof(uintptr_t)];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value);
  while (n)
    Put(digits[--n]);
  Put('\n');
}

void RecordWriter::Text(const char* key, const char* value) {
  Raw(key);
  Put(' ');
  for (; value && *value; ++value) {
    if (*value == '\\') {
      Raw("\\\\");
    } else if (*value == '\n') {
      Raw("\\n");
    } else if (*value == '\r') {
      Raw("\\r");
    } else {
      Put(*value);
    }
  }
  Put('\n');
}

namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      char next = text[++i];
      out.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : next);
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace

CrashRecord ParseRecord(const std::string& text) {
  CrashRecord record;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line == "end") {
      record.complete = true;
      break;
    }
    size_t space = line.find(' ');
    std::string key = line.substr(0, space);
    std::string value =
        space == std::string::npos ? std::string() : Unescape(line.substr(space + 1));
    const char* v = value.c_str();
    if (key == "pid") {
      record.pid = strtoll(v, nullptr, 10);
    } else if (key == "tid") {
      record.tid = strtoll(v, nullptr, 10);
    } else if (key == "signal") {
      record.signal = static_cast<int>(strtol(v, nullptr, 10));
    } else if (key == "code") {
      record.code = static_cast<int>(strtol(v, nullptr, 10));
    } else if (key == "address") {
      record.address = static_cast<uintptr_t>(strtoull(v, nullptr, 16));
    } else if (key == "pc") {
      record.pc = static_cast<uintptr_t>(strtoull(v, nullptr, 16));
    } else if (key == "frame") {
      record.frames.push_back(static_cast<uintptr_t>(strtoull(v, nullptr, 16)));
    } else if (key == "line") {
      record.lines.push_back(value);
    } else if (key == "app") {
      record.app = value;
    } else if (key == "version") {
      record.version = value;
    } else if (key == "email_to") {
      record.email_to = value;
    } else if (key == "email_subject") {
      record.email_subject = value;
    } else if (key == "program") {
      record.program = value;
    } else if (key == "save_dir") {
      record.save_dir = value;
    } else if (key == "log_file") {
      record.log_file = value;
    } else if (key == "box_type") {
      record.box = true;
      record.box_type = static_cast<uint32_t>(strtoul(v, nullptr, 10));
    } else if (key == "box_caption") {
      record.box_caption = value;
    } else if (key == "box_text") {
      record.box_text = value;
    }
  }
  return record;
}

}  // namespace crashrpt
