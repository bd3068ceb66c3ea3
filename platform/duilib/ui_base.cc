#include "duilib/ui_base.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "win32/code_page.h"

namespace DuiLib {

int CDuiString::CompareNoCase(const wchar_t* s) const {
  std::wstring a = s_;
  std::wstring b = s ? s : L"";
  for (auto& c : a)
    c = std::towlower(c);
  for (auto& c : b)
    c = std::towlower(c);
  return a.compare(b);
}

CDuiString CDuiString::Mid(int pos, int n) const {
  if (pos < 0 || pos >= GetLength())
    return CDuiString();
  return s_.substr(pos, n < 0 ? std::wstring::npos : static_cast<size_t>(n));
}

CDuiString CDuiString::Right(int n) const {
  if (n <= 0)
    return CDuiString();
  if (n >= GetLength())
    return *this;
  return s_.substr(s_.size() - n);
}

int CDuiString::Find(wchar_t ch, int start) const {
  if (start < 0 || start > GetLength())
    return -1;
  size_t p = s_.find(ch, start);
  return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CDuiString::Find(const wchar_t* s, int start) const {
  if (!s || start < 0 || start > GetLength())
    return -1;
  size_t p = s_.find(s, start);
  return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CDuiString::Replace(const wchar_t* from, const wchar_t* to) {
  if (!from || !*from)
    return 0;
  std::wstring f = from;
  std::wstring t = to ? to : L"";
  int count = 0;
  for (size_t p = s_.find(f); p != std::wstring::npos; p = s_.find(f, p + t.size())) {
    s_.replace(p, f.size(), t);
    ++count;
  }
  return count;
}

void CDuiString::MakeUpper() {
  for (auto& c : s_)
    c = std::towupper(c);
}

void CDuiString::MakeLower() {
  for (auto& c : s_)
    c = std::towlower(c);
}

int CDuiString::Format(const wchar_t* format, ...) {
  std::vector<wchar_t> buf(256);
  for (;;) {
    va_list args;
    va_start(args, format);
    int n = std::vswprintf(buf.data(), buf.size(), format, args);
    va_end(args);
    if (n >= 0 && static_cast<size_t>(n) < buf.size()) {
      s_.assign(buf.data(), n);
      return n;
    }
    if (buf.size() > (1u << 20)) {
      s_.clear();
      return -1;
    }
    buf.resize(buf.size() * 4);
  }
}

bool ParseColor(const wchar_t* value, DWORD* argb) {
  if (!value)
    return false;
  while (*value == L' ')
    ++value;
  if (*value == L'#')
    ++value;
  else if (value[0] == L'0' && (value[1] == L'x' || value[1] == L'X'))
    value += 2;
  wchar_t* end = nullptr;
  unsigned long v = std::wcstoul(value, &end, 16);
  size_t digits = static_cast<size_t>(end - value);
  if (digits == 0 || *end != 0)
    return false;
  if (digits <= 6)
    v |= 0xFF000000ul;
  *argb = static_cast<DWORD>(v);
  return true;
}

namespace {

bool ParseInts(const wchar_t* value, long* out, int count) {
  if (!value)
    return false;
  const wchar_t* p = value;
  for (int i = 0; i < count; ++i) {
    wchar_t* end = nullptr;
    out[i] = std::wcstol(p, &end, 10);
    if (end == p)
      return false;
    p = end;
    while (*p == L' ')
      ++p;
    if (i + 1 < count) {
      if (*p != L',')
        return false;
      ++p;
    }
  }
  return *p == 0;
}

}  // namespace

bool ParseRect(const wchar_t* value, RECT* rect) {
  long v[4];
  if (!ParseInts(value, v, 4))
    return false;
  *rect = {static_cast<LONG>(v[0]), static_cast<LONG>(v[1]), static_cast<LONG>(v[2]),
           static_cast<LONG>(v[3])};
  return true;
}

bool ParseSize(const wchar_t* value, SIZE* size) {
  long v[2];
  if (!ParseInts(value, v, 2))
    return false;
  *size = {static_cast<LONG>(v[0]), static_cast<LONG>(v[1])};
  return true;
}

bool ParseBool(const wchar_t* value) {
  return value && (std::wcscmp(value, L"true") == 0 || std::wcscmp(value, L"1") == 0);
}

std::string ToUtf8(const std::wstring& s) {
  return win32::WideToUtf8(s);
}

std::wstring FromUtf8(const std::string& s) {
  return win32::Utf8ToWide(s);
}

}  // namespace DuiLib
