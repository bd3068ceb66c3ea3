// UTF-8, one character at a time: the reading and writing every layer's
// text conversions are built on.
#ifndef BASE_UTF8_H_
#define BASE_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace base {

// Reads the character at the front of |text| into *code and returns its
// length in bytes; 0 when the front is not a well-formed character (a stray
// or cut-short sequence, an overlong form, a surrogate, past U+10FFFF).
size_t DecodeUtf8Char(std::string_view text, char32_t* code);

// Appends |code|; a surrogate or a value past U+10FFFF, which UTF-8 cannot
// hold, is written as U+FFFD.
void AppendUtf8(char32_t code, std::string* out);

}  // namespace base

#endif  // BASE_UTF8_H_
