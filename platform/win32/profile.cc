#include "win32/profile.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "win32/code_page.h"
#include "win32/last_error.h"

namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\v' || c == L'\f';
}

std::wstring Trim(std::wstring_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b]))
    ++b;
  while (e > b && IsBlank(s[e - 1]))
    --e;
  return std::wstring(s.substr(b, e - b));
}

std::wstring Fold(std::wstring_view s) {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  std::wstring out(s);
  for (auto& c : out) {
    if (loc != static_cast<locale_t>(nullptr))
      c = static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), loc));
    else if (c >= L'A' && c <= L'Z')
      c = c + 32;
  }
  return out;
}

struct Line {
  enum Kind { kOther, kSection, kEntry };
  Kind kind = kOther;
  std::wstring name;   // section or key name, trimmed
  std::wstring value;  // entry value, trimmed
};

Line Classify(const std::wstring& text) {
  Line line;
  std::wstring t = Trim(text);
  if (t.empty() || t[0] == L';')
    return line;
  if (t[0] == L'[') {
    size_t close = t.find(L']');
    line.kind = Line::kSection;
    line.name = Trim(std::wstring_view(t).substr(
        1, close == std::wstring::npos ? std::wstring::npos : close - 1));
    return line;
  }
  line.kind = Line::kEntry;
  size_t eq = t.find(L'=');
  if (eq == std::wstring::npos) {
    line.name = t;
  } else {
    line.name = Trim(std::wstring_view(t).substr(0, eq));
    line.value = Trim(std::wstring_view(t).substr(eq + 1));
  }
  return line;
}

struct Profile {
  std::vector<std::wstring> lines;
  bool crlf = false;

  // Index of the first section header with this name, or npos.
  size_t FindSection(const std::wstring& folded) const {
    for (size_t i = 0; i < lines.size(); ++i) {
      Line l = Classify(lines[i]);
      if (l.kind == Line::kSection && Fold(l.name) == folded)
        return i;
    }
    return std::wstring::npos;
  }
  // One past the last line of the section starting at |header|.
  size_t SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines.size() && Classify(lines[i]).kind != Line::kSection)
      ++i;
    return i;
  }
  size_t FindKey(size_t header, const std::wstring& folded) const {
    size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
      Line l = Classify(lines[i]);
      if (l.kind == Line::kEntry && Fold(l.name) == folded)
        return i;
    }
    return std::wstring::npos;
  }
};

std::wstring DecodeUtf16Le(const std::string& bytes, size_t start) {
  std::wstring out;
  for (size_t i = start; i + 1 < bytes.size(); i += 2) {
    char32_t unit =
        static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                     (static_cast<unsigned char>(bytes[i + 3]) << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
        i += 2;
        continue;
      }
    }
    out.push_back(unit >= 0xD800 && unit < 0xE000 ? L'\xFFFD' : static_cast<wchar_t>(unit));
  }
  return out;
}

bool ReadAll(int fd, std::string* out) {
  char buffer[16384];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return false;
    if (n == 0)
      return true;
    out->append(buffer, static_cast<size_t>(n));
  }
}

// False when the file cannot be read (missing counts as unreadable).
bool LoadProfile(const std::string& path, Profile* profile) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  std::string bytes;
  bool ok = ReadAll(fd, &bytes);
  close(fd);
  if (!ok)
    return false;
  std::wstring text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = DecodeUtf16Le(bytes, 2);
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = win32::Utf8ToWide(std::string_view(bytes).substr(3));
  } else if (win32::IsValidUtf8(bytes)) {
    text = win32::Utf8ToWide(bytes);
  } else {
    text = win32::AnsiToWide(bytes);  // an older file in the ANSI code page
  }
  profile->lines.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find(L'\n', start);
    if (nl == std::wstring::npos)
      nl = text.size();
    std::wstring line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == L'\r') {
      line.pop_back();
      if (profile->lines.empty())
        profile->crlf = true;
    }
    profile->lines.push_back(std::move(line));
    start = nl + 1;
  }
  return true;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Replaces |path| by the profile: temporary file, fsync, rename, fsync of
// the directory. The caller holds the write lock.
bool StoreProfile(const std::string& path, const Profile& profile) {
  std::wstring text;
  for (const auto& line : profile.lines) {
    text += line;
    text += profile.crlf ? L"\r\n" : L"\n";
  }
  std::string data = win32::WideToUtf8(text);
  // A new profile is its owner's alone (config.ini keeps account data and
  // tunnel credentials); an existing one keeps the mode it has.
  mode_t mode = 0600;
  struct stat st;
  if (stat(path.c_str(), &st) == 0)
    mode = st.st_mode & 07777;
  std::string temp = path + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0)
    return false;
  bool ok = WriteAll(fd, data) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  int dir = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

// Holds the write lock of one profile file for its lifetime.
class WriteLock {
 public:
  explicit WriteLock(const std::string& path) {
    fd_ = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
      return;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~WriteLock() {
    if (fd_ >= 0)
      close(fd_);  // releases the flock
  }
  bool locked() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

std::wstring StripQuotes(const std::wstring& value) {
  if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
    return value.substr(1, value.size() - 2);
  return value;
}

// The untruncated answer to a query: one value or a list.
struct Answer {
  bool is_list = false;
  std::wstring value;
  std::vector<std::wstring> items;
};

Answer Query(const wchar_t* app, const wchar_t* key, const wchar_t* def, const std::string& path) {
  Answer answer;
  std::wstring default_value = def ? std::wstring(def) : std::wstring();
  while (!default_value.empty() && default_value.back() == L' ')
    default_value.pop_back();
  Profile profile;
  bool loaded = LoadProfile(path, &profile);
  if (!app || !key) {
    answer.is_list = true;
    if (!loaded)
      return answer;
    if (!app) {
      std::vector<std::wstring> folded;
      for (const auto& text : profile.lines) {
        Line l = Classify(text);
        if (l.kind != Line::kSection)
          continue;
        std::wstring f = Fold(l.name);
        bool seen = false;
        for (const auto& s : folded)
          seen = seen || s == f;
        if (!seen) {
          folded.push_back(f);
          answer.items.push_back(l.name);
        }
      }
      return answer;
    }
    size_t header = profile.FindSection(Fold(app));
    if (header == std::wstring::npos)
      return answer;
    size_t end = profile.SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
      Line l = Classify(profile.lines[i]);
      if (l.kind == Line::kEntry)
        answer.items.push_back(l.name);
    }
    return answer;
  }
  answer.value = default_value;
  if (!loaded)
    return answer;
  size_t header = profile.FindSection(Fold(app));
  if (header == std::wstring::npos)
    return answer;
  size_t index = profile.FindKey(header, Fold(key));
  if (index != std::wstring::npos)
    answer.value = StripQuotes(Classify(profile.lines[index]).value);
  return answer;
}

template <typename Char>
DWORD CopyValue(const std::basic_string<Char>& value, Char* out, DWORD size) {
  if (!out || size == 0)
    return 0;
  size_t n = value.size() < size ? value.size() : size - 1;
  std::memcpy(out, value.data(), n * sizeof(Char));
  out[n] = 0;
  return static_cast<DWORD>(n);
}

// Items each ended by 0, the list ended by a second 0; a list that does not
// fit is cut and returns size - 2.
template <typename Char>
DWORD CopyList(const std::vector<std::basic_string<Char>>& items, Char* out, DWORD size) {
  if (!out || size == 0)
    return 0;
  if (size == 1) {
    out[0] = 0;
    return 0;
  }
  std::basic_string<Char> joined;
  for (const auto& item : items) {
    joined += item;
    joined.push_back(0);
  }
  if (joined.size() + 1 <= size) {
    std::memcpy(out, joined.data(), joined.size() * sizeof(Char));
    out[joined.size()] = 0;
    if (joined.empty())
      out[1] = 0;
    return static_cast<DWORD>(joined.size());
  }
  std::memcpy(out, joined.data(), (size - 2) * sizeof(Char));
  out[size - 2] = 0;
  out[size - 1] = 0;
  return size - 2;
}

std::string PathOf(const wchar_t* file) {
  return file ? win32::WideToUtf8(file) : std::string();
}

std::wstring FromAnsi(const char* s) {
  return win32::AnsiToWide(s);
}

uint32_t ParseInt(const std::wstring& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
    negative = text[i++] == L'-';
  uint32_t value = 0;
  while (i < text.size() && text[i] >= L'0' && text[i] <= L'9')
    value = value * 10 + static_cast<uint32_t>(text[i++] - L'0');
  return negative ? 0u - value : value;
}

}  // namespace

DWORD GetPrivateProfileStringW(LPCWSTR app_name,
                               LPCWSTR key_name,
                               LPCWSTR default_value,
                               LPWSTR returned,
                               DWORD size,
                               LPCWSTR file_name) {
  if (!file_name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Answer a = Query(app_name, key_name, default_value, PathOf(file_name));
  SetLastError(ERROR_SUCCESS);
  return a.is_list ? CopyList(a.items, returned, size) : CopyValue(a.value, returned, size);
}

DWORD GetPrivateProfileStringA(LPCSTR app_name,
                               LPCSTR key_name,
                               LPCSTR default_value,
                               LPSTR returned,
                               DWORD size,
                               LPCSTR file_name) {
  if (!file_name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::wstring app = app_name ? FromAnsi(app_name) : std::wstring();
  std::wstring key = key_name ? FromAnsi(key_name) : std::wstring();
  std::wstring def = default_value ? FromAnsi(default_value) : std::wstring();
  Answer a = Query(app_name ? app.c_str() : nullptr, key_name ? key.c_str() : nullptr,
                   default_value ? def.c_str() : nullptr, win32::WideToUtf8(FromAnsi(file_name)));
  SetLastError(ERROR_SUCCESS);
  if (!a.is_list)
    return CopyValue(win32::WideToAnsi(a.value), returned, size);
  std::vector<std::string> items;
  for (const auto& item : a.items)
    items.push_back(win32::WideToAnsi(item));
  return CopyList(items, returned, size);
}

UINT GetPrivateProfileIntW(LPCWSTR app_name,
                           LPCWSTR key_name,
                           INT default_value,
                           LPCWSTR file_name) {
  if (!app_name || !key_name || !file_name)
    return static_cast<UINT>(default_value);
  static const wchar_t kMissing[] = L"\x1\x2missing";
  Answer a = Query(app_name, key_name, kMissing, PathOf(file_name));
  if (a.value == kMissing)
    return static_cast<UINT>(default_value);
  return ParseInt(a.value);
}

UINT GetPrivateProfileIntA(LPCSTR app_name, LPCSTR key_name, INT default_value, LPCSTR file_name) {
  if (!app_name || !key_name || !file_name)
    return static_cast<UINT>(default_value);
  return GetPrivateProfileIntW(FromAnsi(app_name).c_str(), FromAnsi(key_name).c_str(),
                               default_value, FromAnsi(file_name).c_str());
}

BOOL WritePrivateProfileStringW(LPCWSTR app_name,
                                LPCWSTR key_name,
                                LPCWSTR value,
                                LPCWSTR file_name) {
  if (!app_name) {
    if (!key_name && !value)
      return TRUE;  // the "flush the cache" call: nothing is cached here
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!file_name || !*file_name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A line break would end the entry early and start lines of the caller's
  // choosing: other keys, other sections (a service's text written as a
  // value could replace the service hosts). Such a write changes nothing.
  auto has_line_break = [](LPCWSTR text) { return text && wcspbrk(text, L"\r\n") != nullptr; };
  if (has_line_break(app_name) || has_line_break(key_name) || has_line_break(value)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path = PathOf(file_name);
  WriteLock lock(path);
  if (!lock.locked()) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  Profile profile;
  bool existed = LoadProfile(path, &profile);
  std::vector<std::wstring> before = profile.lines;
  std::wstring section = Trim(app_name);
  size_t header = profile.FindSection(Fold(section));
  if (!key_name) {
    if (header != std::wstring::npos) {
      size_t end = profile.SectionEnd(header);
      profile.lines.erase(profile.lines.begin() + static_cast<long>(header),
                          profile.lines.begin() + static_cast<long>(end));
    }
  } else {
    std::wstring key = Trim(key_name);
    size_t index =
        header == std::wstring::npos ? std::wstring::npos : profile.FindKey(header, Fold(key));
    if (!value) {
      if (index != std::wstring::npos)
        profile.lines.erase(profile.lines.begin() + static_cast<long>(index));
    } else if (index != std::wstring::npos) {
      profile.lines[index] = Classify(profile.lines[index]).name + L"=" + value;
    } else if (header != std::wstring::npos) {
      // After the section's last non-blank line, so blank separators stay.
      size_t pos = profile.SectionEnd(header);
      while (pos > header + 1 && Trim(profile.lines[pos - 1]).empty())
        --pos;
      profile.lines.insert(profile.lines.begin() + static_cast<long>(pos), key + L"=" + value);
    } else {
      profile.lines.push_back(L"[" + section + L"]");
      profile.lines.push_back(key + L"=" + value);
    }
  }
  if (existed && profile.lines == before) {
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  }
  if (!existed && profile.lines.empty()) {
    SetLastError(ERROR_SUCCESS);
    return TRUE;  // deleting from a missing file leaves no file
  }
  if (!StoreProfile(path, profile)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WritePrivateProfileStringA(LPCSTR app_name, LPCSTR key_name, LPCSTR value, LPCSTR file_name) {
  if (!file_name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::wstring app = app_name ? FromAnsi(app_name) : std::wstring();
  std::wstring key = key_name ? FromAnsi(key_name) : std::wstring();
  std::wstring val = value ? FromAnsi(value) : std::wstring();
  return WritePrivateProfileStringW(app_name ? app.c_str() : nullptr,
                                    key_name ? key.c_str() : nullptr, value ? val.c_str() : nullptr,
                                    FromAnsi(file_name).c_str());
}
