// Conversions between the system ANSI code page (what the client passes in
// and gets back) and UTF-8 (the wire), through wide text as Windows does,
// with the win32 layer's converters.

#ifndef SERVICEBRIDGE_CODE_PAGE_H_
#define SERVICEBRIDGE_CODE_PAGE_H_

#include <string>
#include <string_view>

namespace servicebridge {

std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_CODE_PAGE_H_
