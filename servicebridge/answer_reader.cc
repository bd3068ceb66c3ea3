#include "servicebridge/answer_reader.h"

#include <cmath>
#include <limits>

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

namespace servicebridge {

namespace {

// Forwards parse events to the document and refuses nesting past the limit,
// so a hostile answer cannot grow the parse stack without bound.
class DepthLimitedHandler {
 public:
  explicit DepthLimitedHandler(rapidjson::Document* document) : document_(document) {}

  bool Null() { return document_->Null(); }
  bool Bool(bool b) { return document_->Bool(b); }
  bool Int(int i) { return document_->Int(i); }
  bool Uint(unsigned u) { return document_->Uint(u); }
  bool Int64(int64_t i) { return document_->Int64(i); }
  bool Uint64(uint64_t u) { return document_->Uint64(u); }
  bool Double(double d) { return document_->Double(d); }
  bool RawNumber(const char* s, rapidjson::SizeType length, bool copy) {
    return document_->RawNumber(s, length, copy);
  }
  bool String(const char* s, rapidjson::SizeType length, bool copy) {
    return document_->String(s, length, copy);
  }
  bool StartObject() { return Enter() && document_->StartObject(); }
  bool Key(const char* s, rapidjson::SizeType length, bool copy) {
    return document_->Key(s, length, copy);
  }
  bool EndObject(rapidjson::SizeType count) {
    --depth_;
    return document_->EndObject(count);
  }
  bool StartArray() { return Enter() && document_->StartArray(); }
  bool EndArray(rapidjson::SizeType count) {
    --depth_;
    return document_->EndArray(count);
  }

 private:
  bool Enter() { return ++depth_ <= kMaxAnswerDepth; }

  rapidjson::Document* document_;
  int depth_ = 0;
};

}  // namespace

Answer::Answer(std::string_view body) {
  bool parsed = false;
  // RapidJSON sizes are 32-bit; a larger body is not an answer we can read.
  if (body.size() < std::numeric_limits<rapidjson::SizeType>::max()) {
    auto generator = [&](rapidjson::Document& document) {
      rapidjson::MemoryStream stream(body.data(), body.size());
      DepthLimitedHandler handler(&document);
      rapidjson::Reader reader;
      parsed = !reader.Parse<rapidjson::kParseIterativeFlag>(stream, handler).IsError();
      return parsed;
    };
    document_.Populate(generator);
  }
  if (!parsed || !document_.IsObject())
    document_.SetObject();
}

const rapidjson::Value* Answer::UsableData() const {
  return FindUsable(&document_, "data");
}

const rapidjson::Value* FindMember(const rapidjson::Value* object, const char* name) {
  if (!object || !object->IsObject())
    return nullptr;
  auto it = object->FindMember(name);
  if (it == object->MemberEnd())
    return nullptr;
  return &it->value;
}

const rapidjson::Value* FindUsable(const rapidjson::Value* object, const char* name) {
  const rapidjson::Value* value = FindMember(object, name);
  return value && !value->IsNull() ? value : nullptr;
}

bool ReadInt(const rapidjson::Value* object, const char* name, int* out) {
  const rapidjson::Value* value = FindMember(object, name);
  if (!value || !value->IsInt())
    return false;
  *out = value->GetInt();
  return true;
}

bool ReadInt64(const rapidjson::Value* object, const char* name, int64_t* out) {
  const rapidjson::Value* value = FindMember(object, name);
  if (!value || !value->IsInt64())
    return false;
  *out = value->GetInt64();
  return true;
}

bool ReadString(const rapidjson::Value* object, const char* name, std::string* out) {
  const rapidjson::Value* value = FindMember(object, name);
  if (!value || !value->IsString())
    return false;
  out->assign(value->GetString(), value->GetStringLength());
  return true;
}

bool ReadFloat(const rapidjson::Value* object, const char* name, float* out) {
  const rapidjson::Value* value = FindMember(object, name);
  if (!value || !value->IsDouble())
    return false;
  double d = value->GetDouble();
  if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max())
    return false;
  *out = static_cast<float>(d);
  return true;
}

const rapidjson::Value* FindArray(const rapidjson::Value* object, const char* name) {
  const rapidjson::Value* value = FindMember(object, name);
  return value && value->IsArray() ? value : nullptr;
}

}  // namespace servicebridge
