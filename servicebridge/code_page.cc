#include "servicebridge/code_page.h"

#include "win32/code_page.h"

namespace servicebridge {

std::string AnsiToUtf8(std::string_view ansi) {
  return win32::WideToUtf8(win32::AnsiToWide(ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
  return win32::WideToAnsi(win32::Utf8ToWide(utf8));
}

}  // namespace servicebridge
