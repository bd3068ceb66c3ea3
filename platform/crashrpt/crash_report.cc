#include "crashrpt/crash_report.h"

#include <cxxabi.h>
#include <dirent.h>
#include <elfutils/libdwfl.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

namespace crashrpt {

namespace {

std::string Hex(uintptr_t value) {
  char text[32];
  snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string Demangle(const char* name) {
  if (!name)
    return std::string();
  int status = 0;
  char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string result = status == 0 && plain ? plain : name;
  free(plain);
  return result;
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

std::string TimeText(time_t when, const char* format) {
  struct tm parts;
  localtime_r(&when, &parts);
  char text[64];
  strftime(text, sizeof(text), format, &parts);
  return text;
}

// Keeps a file name to letters, digits and "._-".
std::string SafeName(const std::string& text) {
  std::string out;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    out.push_back(isalnum(u) || c == '.' || c == '-' || c == '_' ? c : '_');
  }
  return out.empty() ? std::string("app") : out;
}

}  // namespace

std::string SignalName(int signal) {
  switch (signal) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGBUS:
      return "SIGBUS";
    case SIGFPE:
      return "SIGFPE";
    case SIGILL:
      return "SIGILL";
    case SIGABRT:
      return "SIGABRT";
    default:
      return "signal " + std::to_string(signal);
  }
}

ProcessFacts ReadProcessFacts(long long pid, long long crashed_tid) {
  ProcessFacts facts;
  std::string proc = "/proc/" + std::to_string(pid);
  std::vector<long long> tids;
  if (DIR* tasks = opendir((proc + "/task").c_str())) {
    while (dirent* entry = readdir(tasks)) {
      if (entry->d_name[0] != '.')
        tids.push_back(strtoll(entry->d_name, nullptr, 10));
    }
    closedir(tasks);
  }
  std::sort(tids.begin(), tids.end());
  for (long long tid : tids) {
    std::string line =
        std::to_string(tid) + " " + ReadFirstLine(proc + "/task/" + std::to_string(tid) + "/comm");
    if (tid == crashed_tid)
      line += " (crashed)";
    facts.threads.push_back(line);
  }
  std::ifstream maps(proc + "/maps");
  std::string line;
  std::set<std::string> seen;
  while (std::getline(maps, line)) {
    std::istringstream fields(line);
    std::string range, permissions, offset, device, inode, path;
    if (!(fields >> range >> permissions >> offset >> device >> inode))
      continue;
    std::getline(fields, path);
    path.erase(0, path.find_first_not_of(' '));
    if (permissions.size() < 3 || permissions[2] != 'x' || path.empty() || seen.count(path))
      continue;
    seen.insert(path);
    facts.modules.push_back(range + " " + path);
  }
  return facts;
}

std::vector<std::string> SymboliseFrames(long long pid, const std::vector<uintptr_t>& frames) {
  static char* debuginfo_path = nullptr;
  Dwfl_Callbacks callbacks = {};
  callbacks.find_elf = dwfl_linux_proc_find_elf;
  callbacks.find_debuginfo = dwfl_standard_find_debuginfo;
  callbacks.debuginfo_path = &debuginfo_path;
  Dwfl* dwfl = dwfl_begin(&callbacks);
  bool reported = dwfl && dwfl_linux_proc_report(dwfl, static_cast<pid_t>(pid)) == 0 &&
                  dwfl_report_end(dwfl, nullptr, nullptr) == 0;
  std::vector<std::string> lines;
  for (size_t i = 0; i < frames.size(); ++i) {
    uintptr_t address = frames[i];
    Dwarf_Addr lookup = i == 0 || address == 0 ? address : address - 1;
    std::string line = "#" + std::to_string(i) + " " + Hex(address);
    Dwfl_Module* module = reported ? dwfl_addrmodule(dwfl, lookup) : nullptr;
    if (module) {
      const char* function = dwfl_module_addrname(module, lookup);
      if (function)
        line += " in " + Demangle(function);
      Dwfl_Line* source = dwfl_module_getsrc(module, lookup);
      int number = 0;
      const char* file =
          source ? dwfl_lineinfo(source, nullptr, &number, nullptr, nullptr, nullptr) : nullptr;
      if (file)
        line += " at " + std::string(file) + ":" + std::to_string(number);
      const char* main_file = nullptr;
      const char* name = dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr,
                                          &main_file, nullptr);
      if (main_file || name)
        line += " (" + std::string(main_file ? main_file : name) + ")";
    }
    lines.push_back(line);
  }
  if (dwfl)
    dwfl_end(dwfl);
  return lines;
}

std::vector<std::string> LastLines(const std::string& path, size_t count) {
  std::deque<std::string> kept;
  if (path.empty())
    return {};
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    kept.push_back(line);
    if (kept.size() > count)
      kept.pop_front();
  }
  return std::vector<std::string>(kept.begin(), kept.end());
}

std::string FormatReport(const CrashRecord& record,
                         const ProcessFacts& facts,
                         const std::vector<std::string>& backtrace,
                         const std::vector<std::string>& log_tail,
                         time_t when) {
  std::ostringstream out;
  out << "Crash report\n";
  out << "Application: " << record.app << "\n";
  out << "Version: " << record.version << "\n";
  out << "Program: " << record.program << "\n";
  out << "Time: " << TimeText(when, "%Y-%m-%d %H:%M:%S") << "\n";
  out << "Process: " << record.pid << "\n";
  out << "Signal: " << record.signal << " (" << SignalName(record.signal) << "), code "
      << record.code << "\n";
  out << "Fault address: " << Hex(record.address) << "\n";
  out << "Program counter: " << Hex(record.pc) << "\n";
  if (!record.email_to.empty())
    out << "Support: " << record.email_to << " (" << record.email_subject << ")\n";
  if (!record.complete)
    out << "Note: the crash record was cut short\n";
  out << "\nBacktrace of thread " << record.tid << ":\n";
  for (const std::string& line : backtrace)
    out << line << "\n";
  out << "\nThreads:\n";
  for (const std::string& line : facts.threads)
    out << line << "\n";
  out << "\nModules:\n";
  for (const std::string& line : facts.modules)
    out << line << "\n";
  out << "\nLast lines of " << (record.log_file.empty() ? "the log (none)" : record.log_file)
      << ":\n";
  for (const std::string& line : log_tail)
    out << line << "\n";
  return out.str();
}

std::string WriteReportFolder(const CrashRecord& record, const std::string& report, time_t when) {
  if (record.save_dir.empty())
    return std::string();
  std::string name = SafeName(record.app) + "_" + TimeText(when, "%Y%m%d-%H%M%S") + "_" +
                     std::to_string(record.pid);
  std::string folder = record.save_dir + "/" + name;
  std::string temporary = record.save_dir + "/." + name + ".tmp";
  std::error_code error;
  std::filesystem::create_directories(record.save_dir, error);
  std::filesystem::remove_all(temporary, error);
  if (!std::filesystem::create_directory(temporary, error))
    return std::string();
  std::string file = temporary + "/report.txt";
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0;
  size_t written = 0;
  while (ok && written < report.size()) {
    ssize_t n = write(fd, report.data() + written, report.size() - written);
    if (n < 0 && errno == EINTR)
      continue;
    ok = n > 0;
    if (ok)
      written += static_cast<size_t>(n);
  }
  if (fd >= 0) {
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
  }
  if (!ok || rename(temporary.c_str(), folder.c_str()) != 0) {
    std::filesystem::remove_all(temporary, error);
    return std::string();
  }
  return folder;
}

bool AppendLogLines(const CrashRecord& record, int wait_ms) {
  if (record.log_file.empty() || record.lines.empty())
    return true;
  int fd = open(record.log_file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  // The crashed process may have died holding the lock; do not wait on it
  // for long.
  bool locked = false;
  for (int waited = 0; !locked; waited += 20) {
    locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (locked || waited >= wait_ms)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  timeval now;
  gettimeofday(&now, nullptr);
  std::string stamp = TimeText(now.tv_sec, "%m%d/%H%M%S");
  char millis[8];
  snprintf(millis, sizeof(millis), ".%03d", static_cast<int>(now.tv_usec / 1000));
  bool ok = true;
  for (const std::string& line : record.lines) {
    std::string text = "[" + std::to_string(record.pid) + ":" + std::to_string(record.tid) + ":" +
                       stamp + millis + ":ERROR:CrashCallback:crash_rpt.cc(0)] " + line + "\n";
    ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ok;
  }
  if (locked)
    flock(fd, LOCK_UN);
  close(fd);
  return ok;
}

}  // namespace crashrpt
