#include "servicebridge/request_body.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "servicebridge/code_page.h"

namespace servicebridge {

std::string JsonBody(std::initializer_list<std::pair<const char*, std::string_view>> members) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  for (const auto& [name, value] : members) {
    writer.Key(name);
    std::string utf8 = AnsiToUtf8(value);
    writer.String(utf8.data(), static_cast<rapidjson::SizeType>(utf8.size()));
  }
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string QueryValue(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    bool keep = c > 0x20 && c < 0x7F && c != '"' && c != '#' && c != '%' && c != '&' && c != '+' &&
                c != '<' && c != '>' && c != '\\' && c != '^' && c != '`' && c != '{' && c != '|' &&
                c != '}' && c != '=' && c != '?';
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

}  // namespace servicebridge
