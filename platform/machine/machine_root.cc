#include "machine/machine_root.h"

#include <locale.h>
#include <sys/stat.h>
#include <wctype.h>

#include <cerrno>
#include <cstdlib>

#include "base/utf8.h"

namespace machine {

namespace {

std::string EnvOrEmpty(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

bool MakeDirectories(const std::string& path) {
  if (path.empty())
    return false;
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty())
      continue;
    if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
      return false;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// C.UTF-8 knows the Unicode case mappings; when it is missing only ASCII is
// folded, which covers every name the programs use.
locale_t FoldLocale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

std::string RootDirectory() {
  std::string root = EnvOrEmpty("TERN_MACHINE_ROOT");
  if (!root.empty())
    return root;
  std::string state = EnvOrEmpty("XDG_STATE_HOME");
  if (state.empty()) {
    std::string home = EnvOrEmpty("HOME");
    if (home.empty())
      home = "/tmp";
    state = home + "/.local/state";
  }
  return state + "/tern-machine";
}

std::string EnsureRootDirectory() {
  std::string root = RootDirectory();
  return MakeDirectories(root) ? root : std::string();
}

std::string FoldCase(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  locale_t loc = FoldLocale();
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>((b >= 'A' && b <= 'Z') ? b + 32 : b));
      ++i;
      continue;
    }
    char32_t c = 0;
    size_t len = base::DecodeUtf8Char(s.substr(i), &c);
    if (len == 0) {
      out.push_back(static_cast<char>(b));  // Not UTF-8: keep the byte as it is.
      ++i;
      continue;
    }
    if (loc != static_cast<locale_t>(nullptr))
      c = static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
    base::AppendUtf8(c, &out);
    i += len;
  }
  return out;
}

}  // namespace machine
