// The crash record: what the signal handler hands to the crash sender on its
// standard input. One "key value" line per item, values escaped ("\\", "\n",
// "\r"); "frame" and "line" repeat; the record ends with the line "end".
// The sender answers on descriptor 3 with "done <report folder>\n".
#ifndef CRASHRPT_CRASH_RECORD_H_
#define CRASHRPT_CRASH_RECORD_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace crashrpt {

// Seconds a crashed process may spend on its report before it is ended.
inline constexpr int kReportBudgetSeconds = 30;

// Formats into a fixed buffer; async-signal-safe. Output that does not fit is
// dropped (the record then lacks its "end" and the sender says so).
class RecordWriter {
 public:
  RecordWriter(char* buffer, size_t size);
  void Raw(const char* text);
  void Number(const char* key, long long value);
  void Hex(const char* key, uintptr_t value);
  void Text(const char* key, const char* value);
  size_t length() const { return length_; }

 private:
  void Put(char c);
  char* buffer_;
  size_t size_;
  size_t length_ = 0;
};

struct CrashRecord {
  long long pid = 0;
  long long tid = 0;
  int signal = 0;
  int code = 0;
  uintptr_t address = 0;
  uintptr_t pc = 0;
  std::string app, version, email_to, email_subject, program, save_dir, log_file;
  std::vector<uintptr_t> frames;
  std::vector<std::string> lines;
  bool box = false;
  uint32_t box_type = 0;
  std::string box_caption, box_text;
  bool complete = false;  // the "end" line was seen
};

// Reads a record; unknown keys are skipped.
CrashRecord ParseRecord(const std::string& text);

}  // namespace crashrpt

#endif  // CRASHRPT_CRASH_RECORD_H_
