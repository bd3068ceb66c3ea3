// Code pages: conversions between wide (UTF-32 wchar_t) strings and narrow
// strings in a code page. CP_ACP is GBK (936) unless $TERN_ACP names another
// code page number (65001 = UTF-8).
#ifndef WIN32_CODE_PAGE_H_
#define WIN32_CODE_PAGE_H_

#include <string>
#include <string_view>

#include "win32/types.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

UINT GetACP();
UINT GetOEMCP();
BOOL IsValidCodePage(UINT code_page);

// Windows' two-call protocol: a zero output size returns the size needed; a
// length of -1 means a 0-terminated input whose 0 is converted and counted.
// Failures return 0 with ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER
// or ERROR_NO_UNICODE_TRANSLATION (MB_ERR_INVALID_CHARS).
int MultiByteToWideChar(UINT code_page,
                        DWORD flags,
                        LPCSTR multi_byte,
                        int multi_byte_length,
                        LPWSTR wide,
                        int wide_length);
int WideCharToMultiByte(UINT code_page,
                        DWORD flags,
                        LPCWSTR wide,
                        int wide_length,
                        LPSTR multi_byte,
                        int multi_byte_length,
                        LPCSTR default_char,
                        LPBOOL used_default_char);

namespace win32 {

// Whole-string forms for our own code, and the one UTF-8 converter every
// layer above uses. Invalid input is replaced rather than failing: by U+FFFD
// when decoding and when encoding UTF-8, by '?' in other code pages.
std::wstring MultiByteToWide(std::string_view text, UINT code_page);
std::string WideToMultiByte(std::wstring_view text, UINT code_page);
inline std::wstring Utf8ToWide(std::string_view text) {
  return MultiByteToWide(text, CP_UTF8);
}
inline std::string WideToUtf8(std::wstring_view text) {
  return WideToMultiByte(text, CP_UTF8);
}
inline std::wstring AnsiToWide(std::string_view text) {
  return MultiByteToWide(text, CP_ACP);
}
inline std::string WideToAnsi(std::wstring_view text) {
  return WideToMultiByte(text, CP_ACP);
}
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

}  // namespace win32

#endif  // WIN32_CODE_PAGE_H_
