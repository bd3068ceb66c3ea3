#include "base/command_line.h"

#include <ctype.h>

#include <sstream>

namespace base {

namespace {

CommandLine* g_current = nullptr;

bool IsPhrase(const std::string& text) {
  return text.find(' ') != std::string::npos && text.find(" -") != std::string::npos;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  std::string word;
  while (in >> word)
    words.push_back(word);
  return words;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

CommandLine::CommandLine(const StringVector& argv) : argv_(argv) {
  Parse();
}

CommandLine::CommandLine(int argc, const char* const* argv) {
  for (int i = 0; i < argc; ++i)
    argv_.push_back(argv[i] ? argv[i] : "");
  Parse();
}

bool CommandLine::Init(int argc, const char* const* argv) {
  if (g_current)
    return false;
  g_current = new CommandLine(argc, argv);
  return true;
}

void CommandLine::Reset() {
  delete g_current;
  g_current = nullptr;
}

CommandLine* CommandLine::ForCurrentProcess() {
  return g_current;
}

std::string CommandLine::CanonicalSwitchName(const std::string& name) {
  std::string out;
  bool pending_separator = false;
  for (char c : name) {
    if (c == ' ' || c == '-' || c == '\t') {
      pending_separator = !out.empty();
      continue;
    }
    if (pending_separator)
      out += '-';
    pending_separator = false;
    out += static_cast<char>(tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

void CommandLine::Parse() {
  program_ = argv_.empty() ? std::string() : argv_[0];
  switches_.clear();
  args_.clear();
  bool only_args = false;
  for (size_t i = 1; i < argv_.size(); ++i) {
    const std::string& arg = argv_[i];
    if (only_args) {
      args_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_args = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      std::string body = arg.substr(arg[1] == '-' ? 2 : 1);
      size_t eq = body.find('=');
      std::string value = eq == std::string::npos ? std::string() : body.substr(eq + 1);
      std::string name = CanonicalSwitchName(body.substr(0, eq));
      if (!name.empty()) {
        switches_[name] = value;
        continue;
      }
    }
    if (IsPhrase(arg)) {
      switches_[CanonicalSwitchName(arg)] = std::string();
      continue;
    }
    args_.push_back(arg);
  }
}

bool CommandLine::HasPhrase(const std::string& phrase) const {
  std::vector<std::string> words = SplitWords(phrase);
  if (words.size() < 2 || argv_.size() < words.size() + 1)
    return false;
  for (size_t start = 1; start + words.size() <= argv_.size(); ++start) {
    if (argv_[start] == "--")
      return false;
    bool match = true;
    for (size_t j = 0; j < words.size() && match; ++j)
      match = EqualsIgnoreCase(argv_[start + j], words[j]);
    if (match)
      return true;
  }
  return false;
}

bool CommandLine::HasSwitch(const std::string& name) const {
  if (switches_.count(CanonicalSwitchName(name)))
    return true;
  return name.find(' ') != std::string::npos && HasPhrase(name);
}

std::string CommandLine::GetSwitchValueASCII(const std::string& name) const {
  auto it = switches_.find(CanonicalSwitchName(name));
  return it == switches_.end() ? std::string() : it->second;
}

std::string CommandLine::GetCommandLineString() const {
  std::string out;
  for (size_t i = 0; i < argv_.size(); ++i) {
    if (i)
      out += ' ';
    const std::string& arg = argv_[i];
    if (arg.empty() || arg.find_first_of(" \t\"") != std::string::npos) {
      out += '"';
      for (char c : arg) {
        if (c == '"' || c == '\\')
          out += '\\';
        out += c;
      }
      out += '"';
    } else {
      out += arg;
    }
  }
  return out;
}

void CommandLine::AppendSwitch(const std::string& name) {
  AppendSwitchASCII(name, std::string());
}

void CommandLine::AppendSwitchASCII(const std::string& name, const std::string& value) {
  std::string canonical = CanonicalSwitchName(name);
  argv_.push_back("--" + canonical + (value.empty() ? "" : "=" + value));
  switches_[canonical] = value;
}

void CommandLine::AppendArg(const std::string& arg) {
  argv_.push_back(arg);
  args_.push_back(arg);
}

}  // namespace base
