// Reads the services' JSON answers: {"code": int, "info": text, "data": ...}.
// Every read is typed; a member that is missing or of another type leaves the
// caller's default in place.

#ifndef SERVICEBRIDGE_ANSWER_READER_H_
#define SERVICEBRIDGE_ANSWER_READER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include <rapidjson/document.h>

namespace servicebridge {

// Deeper answers are refused whole; real answers nest four levels at most.
inline constexpr int kMaxAnswerDepth = 128;

// Holds one parsed answer. A body that is not a JSON object (not JSON at all,
// an array, too deep) reads as an object with no members.
class Answer {
 public:
  explicit Answer(std::string_view body);
  Answer(const Answer&) = delete;
  Answer& operator=(const Answer&) = delete;

  const rapidjson::Value& root() const { return document_; }
  // `data` when present and not null, else nullptr.
  const rapidjson::Value* UsableData() const;

 private:
  rapidjson::Document document_;
};

// The member `name` of `object`, or nullptr when `object` is not an object or
// has no such member.
const rapidjson::Value* FindMember(const rapidjson::Value* object, const char* name);
// Present and not null.
const rapidjson::Value* FindUsable(const rapidjson::Value* object, const char* name);

// A JSON integer within 32-bit range.
bool ReadInt(const rapidjson::Value* object, const char* name, int* out);
// A JSON integer within 64-bit signed range.
bool ReadInt64(const rapidjson::Value* object, const char* name, int64_t* out);
// A JSON string, bytes as received (embedded zero bytes kept).
bool ReadString(const rapidjson::Value* object, const char* name, std::string* out);
// A JSON floating-point number (not an integer) within single-precision range.
bool ReadFloat(const rapidjson::Value* object, const char* name, float* out);
// A JSON array, or nullptr.
const rapidjson::Value* FindArray(const rapidjson::Value* object, const char* name);

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_ANSWER_READER_H_
