#ifndef SERVICEBRIDGE_REQUEST_BODY_H_
#define SERVICEBRIDGE_REQUEST_BODY_H_

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace servicebridge {

// A compact UTF-8 JSON object of string members in the given order. Values
// come in the ANSI code page; each is converted before it is escaped, so a
// multibyte character whose second byte looks like a backslash stays whole.
std::string JsonBody(std::initializer_list<std::pair<const char*, std::string_view>> members);

// Escapes what cannot stand in a URL query as it is (spaces, controls,
// non-ASCII bytes and the query's own delimiters); everything else is kept.
std::string QueryValue(std::string_view text);

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_REQUEST_BODY_H_
