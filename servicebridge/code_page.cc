#include "servicebridge/code_page.h"

#include <limits>

#include "win32/code_page.h"

namespace servicebridge {

namespace {

std::wstring ToWide(UINT code_page, std::string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
    return std::wstring();
  int length = static_cast<int>(text.size());
  int needed = MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
  if (needed <= 0)
    return std::wstring();
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  int written = MultiByteToWideChar(code_page, 0, text.data(), length, wide.data(), needed);
  wide.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return wide;
}

std::string FromWide(UINT code_page, const std::wstring& wide) {
  if (wide.empty() || wide.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
    return std::string();
  int length = static_cast<int>(wide.size());
  int needed = WideCharToMultiByte(code_page, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0)
    return std::string();
  std::string narrow(static_cast<size_t>(needed), '\0');
  int written = WideCharToMultiByte(code_page, 0, wide.data(), length, narrow.data(), needed,
                                    nullptr, nullptr);
  narrow.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return narrow;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  return FromWide(CP_UTF8, ToWide(CP_ACP, ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
  return FromWide(CP_ACP, ToWide(CP_UTF8, utf8));
}

std::wstring AnsiToWide(std::string_view ansi) {
  return ToWide(CP_ACP, ansi);
}

std::string WideToUtf8(const std::wstring& wide) {
  return FromWide(CP_UTF8, wide);
}

}  // namespace servicebridge
