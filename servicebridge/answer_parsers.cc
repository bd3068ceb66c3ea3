#include "servicebridge/answer_parsers.h"

#include <time.h>

#include "servicebridge/answer_reader.h"

namespace servicebridge {

namespace {

using rapidjson::Value;

void ReadText(const Value* object, const char* name, TextConverter convert, std::string* out) {
  std::string utf8;
  if (ReadString(object, name, &utf8))
    *out = convert(utf8);
}

}  // namespace

std::string KeepUtf8(std::string_view utf8) {
  return std::string(utf8);
}

void ReadRegisterAnswer(std::string_view body, TextConverter convert, RegisterResult* result) {
  Answer answer(body);
  ReadInt(&answer.root(), "code", &result->code);
  ReadText(&answer.root(), "info", convert, &result->info);
  const Value* data = FindMember(&answer.root(), "data");
  if (data && data->IsObject()) {
    ReadText(data, "interim", convert, &result->interim);
    ReadText(data, "uuid", convert, &result->uuid);
  }
}

void ReadLoginAnswer(std::string_view body, TextConverter convert, LoginResult* result) {
  Answer answer(body);
  ReadInt(&answer.root(), "code", &result->code);
  ReadText(&answer.root(), "info", convert, &result->info);
  if (const Value* data = answer.UsableData()) {
    ReadText(data, "interim", convert, &result->interim);
    ReadText(data, "uuid", convert, &result->uuid);
    ReadInt(data, "suspicious", &result->suspicious);
  }
}

void ReadResetAnswer(std::string_view body, TextConverter convert, ResetResult* result) {
  Answer answer(body);
  ReadInt(&answer.root(), "code", &result->code);
  ReadText(&answer.root(), "info", convert, &result->info);
}

void ReadCaptchaAnswer(std::string_view body, TextConverter convert, CaptchaResult* result) {
  Answer answer(body);
  ReadText(&answer.root(), "info", convert, &result->info);
}

void ReadInterimAnswer(std::string_view body, TextConverter convert, InterimInfo* result) {
  Answer answer(body);
  if (const Value* data = answer.UsableData()) {
    ReadText(data, "interim", convert, &result->interim);
    ReadText(data, "uuid", convert, &result->uuid);
  }
}

std::string ReadPublicKeyAnswer(std::string_view body) {
  Answer answer(body);
  int code = 0;
  std::string key;
  if (ReadInt(&answer.root(), "code", &code) && code == 200)
    ReadString(answer.UsableData(), "content", &key);
  return key;
}

std::vector<NodeInfo> ReadNodesAnswer(std::string_view body, TextConverter convert) {
  std::vector<NodeInfo> nodes;
  Answer answer(body);
  const Value* list = FindUsable(answer.UsableData(), "nodes");
  if (!list || !list->IsArray())
    return nodes;
  for (const Value& element : list->GetArray()) {
    NodeInfo node;
    ReadText(&element, "name_cn", convert, &node.name_cn);
    ReadText(&element, "addr_ip", convert, &node.addr_ip);
    ReadInt(&element, "delay", &node.delay);
    float loss = 0;
    if (ReadFloat(&element, "loss", &loss)) {
      // Truncated toward zero; a value outside int range keeps the default.
      if (loss > -2147483648.0f && loss < 2147483648.0f)
        node.loss = static_cast<int>(loss);
    }
    const Value* icmp = FindArray(&element, "icmp");
    if (icmp && !icmp->Empty() && (*icmp)[0].IsString()) {
      const Value& first = (*icmp)[0];
      node.icmp = convert(std::string_view(first.GetString(), first.GetStringLength()));
    }
    nodes.push_back(std::move(node));
  }
  return nodes;
}

RouteAnswer ReadRoutesAnswer(std::string_view body, TextConverter convert) {
  RouteAnswer result;
  Answer answer(body);
  const Value* data = answer.UsableData();
  if (!data)
    return result;
  if (const Value* increment = FindArray(data, "increment")) {
    rapidjson::SizeType count = increment->Size();
    for (rapidjson::SizeType i = 0; i < count; ++i) {
      const Value& element = (*increment)[i];
      RouteEntry entry;
      ReadText(&element, "addr", convert, &entry.addr);
      ReadText(&element, "mask", convert, &entry.mask);
      ReadInt(&element, "status", &entry.status);
      ReadInt(&element, "app_id", &entry.app_id);
      ReadInt(&element, "id", &entry.id);
      ReadInt(&element, "cidr", &entry.cidr);
      int version = 0;
      if (i + 1 == count && ReadInt(&element, "version", &version))
        result.last_change_version = version;
      result.routes.push_back(std::move(entry));
    }
  }
  int version = 0;
  if (ReadInt(data, "version", &version))
    result.version = version;
  return result;
}

void ReadDnsAnswer(std::string_view body, TextConverter convert, DnsServerInfo* result) {
  Answer answer(body);
  int code = 0;
  if (!ReadInt(&answer.root(), "code", &code) || code != 200)
    return;
  const Value* data = answer.UsableData();
  if (!data)
    return;
  if (const Value* dns = FindArray(data, "dns")) {
    std::string joined;
    for (rapidjson::SizeType i = 0; i < dns->Size() && i < 2; ++i) {
      const Value& server = (*dns)[i];
      // A non-text entry contributes nothing, not even its separator, rather
      // than failing the answer.
      if (!server.IsString())
        continue;
      if (!joined.empty())
        joined += ',';
      joined += convert(std::string_view(server.GetString(), server.GetStringLength()));
    }
    result->dns = std::move(joined);
  }
  ReadInt(data, "forward", &result->forward);
}

void ReadUpgradeAnswer(std::string_view body, TextConverter convert, UpgradeInfo* result) {
  Answer answer(body);
  if (const Value* data = answer.UsableData()) {
    ReadInt(data, "must", &result->must);
    ReadText(data, "package", convert, &result->package);
    ReadText(data, "version", convert, &result->version);
    ReadText(data, "details", convert, &result->details);
  }
  ReadText(&answer.root(), "info", convert, &result->info);
}

void ReadMemberAnswer(std::string_view body, TextConverter convert, MemberInfo* result) {
  Answer answer(body);
  const Value* data = answer.UsableData();
  if (!data)
    return;
  int64_t deadline = 0;
  bool has_deadline = ReadInt64(data, "deadline", &deadline);
  if (has_deadline)
    result->deadline = deadline == 0 ? "0" : FormatTimeText(deadline);
  ReadText(data, "nickname", convert, &result->nickname);
  int64_t timestamp = 0;
  bool has_timestamp = ReadInt64(data, "timestamp", &timestamp);
  if (has_timestamp)
    result->timestamp = FormatTimeText(timestamp);
  if (has_deadline && has_timestamp) {
    // The difference of two 64-bit values may not fit in 64 bits.
    __int128 difference = static_cast<__int128>(deadline) - timestamp;
    result->days = static_cast<int64_t>(difference / 86400);
  }
}

std::map<std::string, GoodsItem> ReadGoodsAnswer(std::string_view body, TextConverter convert) {
  std::map<std::string, GoodsItem> goods;
  Answer answer(body);
  const Value* data = answer.UsableData();
  for (const char* plan : {"monthly", "season", "yearly"}) {
    const Value* object = FindUsable(data, plan);
    if (!object)
      continue;
    GoodsItem item;
    ReadText(object, "describe", convert, &item.describe);
    ReadInt(object, "favorable", &item.favorable);
    ReadInt(object, "handsel", &item.handsel);
    ReadInt(object, "payable", &item.payable);
    ReadInt(object, "payment", &item.payment);
    goods[plan] = std::move(item);
  }
  return goods;
}

void ReadWechatOrderAnswer(std::string_view body, TextConverter convert, WechatOrder* result) {
  Answer answer(body);
  if (const Value* data = answer.UsableData()) {
    ReadText(data, "nickname", convert, &result->nickname);
    ReadText(data, "payee", convert, &result->payee);
    ReadText(data, "qr_url", convert, &result->qr_url);
    ReadText(data, "trade_no", convert, &result->trade_no);
  }
}

int ReadPayStatusAnswer(std::string_view body) {
  Answer answer(body);
  int status = 0;
  ReadInt(answer.UsableData(), "status", &status);
  return status;
}

void ReadNoticeAnswer(std::string_view body, TextConverter convert, NoticeInfo* result) {
  Answer answer(body);
  if (const Value* data = answer.UsableData()) {
    ReadInt(data, "id", &result->id);
    ReadInt64(data, "timestamp", &result->timestamp);
    ReadInt64(data, "deadline", &result->deadline);
    ReadText(data, "text", convert, &result->text);
    ReadText(data, "title", convert, &result->title);
    ReadText(data, "url", convert, &result->url);
  }
}

std::string FormatTimeText(int64_t seconds_since_1970) {
  time_t time = static_cast<time_t>(seconds_since_1970);
  struct tm local {};
  if (!localtime_r(&time, &local))
    return std::string();
  char buffer[64];
  size_t length = strftime(buffer, sizeof(buffer), "%Y-%m-%d %H:%M:%S", &local);
  return std::string(buffer, length);
}

}  // namespace servicebridge
