#include "duilib/automation_protocol.h"

namespace DuiLib::automation {

std::string EscapeField(const std::string& field) {
  std::string out;
  for (char c : field) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string UnescapeField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size()) {
      char n = field[++i];
      out += n == 't' ? '\t' : n == 'n' ? '\n' : n;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::vector<std::string> SplitLine(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(UnescapeField(line.substr(start, tab - start)));
    if (tab == std::string::npos)
      break;
    start = tab + 1;
  }
  return fields;
}

std::string JoinLine(const std::vector<std::string>& fields) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i)
      out += '\t';
    out += EscapeField(fields[i]);
  }
  return out;
}

}  // namespace DuiLib::automation
