#include "win32/code_page.h"

#include <errno.h>
#include <iconv.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "base/utf8.h"
#include "win32/last_error.h"

namespace {

constexpr UINT kDefaultAnsiCodePage = 936;

const char* IconvName(UINT code_page, std::string* storage) {
  switch (code_page) {
    case 936:
      return "GBK";
    case 65001:
      return "UTF-8";
    case 20127:
      return "ASCII";
    case 28591:
      return "ISO-8859-1";
    case 932:
      return "CP932";
    case 949:
      return "CP949";
    case 950:
      return "BIG5";
    case 54936:
      return "GB18030";
    default:
      *storage = "CP" + std::to_string(code_page);
      return storage->c_str();
  }
}

UINT ResolveCodePage(UINT code_page) {
  if (code_page == CP_ACP || code_page == CP_THREAD_ACP || code_page == CP_OEMCP)
    return GetACP();
  return code_page;
}

// iconv descriptors are costly to open: one per direction and code page per
// thread.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid())
      iconv_close(cd_);
  }
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    return cd_;
  }

 private:
  iconv_t cd_;
};

Converter* GetConverter(UINT code_page, bool to_wide) {
  thread_local std::map<std::pair<UINT, bool>, std::unique_ptr<Converter>> cache;
  auto& slot = cache[{code_page, to_wide}];
  if (!slot) {
    std::string storage;
    const char* name = IconvName(code_page, &storage);
    slot = to_wide ? std::make_unique<Converter>("WCHAR_T", name)
                   : std::make_unique<Converter>(name, "WCHAR_T");
  }
  return slot->valid() ? slot.get() : nullptr;
}

enum class Result { kOk, kBadCodePage, kInvalid };

// UTF-8 is converted by base/utf8.h rather than by iconv: glibc's decoder
// accepts code points past U+10FFFF, which neither UTF-8 nor Windows allow. A
// byte that does not start a well-formed character becomes one U+FFFD.
Result DecodeUtf8(const char* in, size_t size, bool strict, std::wstring* out) {
  out->reserve(size);
  std::string_view text(in, size);
  while (!text.empty()) {
    char32_t code = 0;
    size_t length = base::DecodeUtf8Char(text, &code);
    if (length == 0) {
      if (strict)
        return Result::kInvalid;
      out->push_back(L'\xFFFD');
      text.remove_prefix(1);
      continue;
    }
    out->push_back(static_cast<wchar_t>(code));
    text.remove_prefix(length);
  }
  return Result::kOk;
}

// Surrogates and values past U+10FFFF become U+FFFD, as on Windows.
Result EncodeUtf8(const wchar_t* in, size_t size, bool strict, std::string* out) {
  out->reserve(size);
  for (size_t i = 0; i < size; ++i) {
    char32_t c = static_cast<char32_t>(in[i]);
    if (strict && (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
      return Result::kInvalid;
    base::AppendUtf8(c, out);
  }
  return Result::kOk;
}

// Converts bytes to wide characters; invalid or incomplete sequences become
// U+FFFD unless |strict|.
Result Decode(UINT code_page, const char* in, size_t size, bool strict, std::wstring* out) {
  out->clear();
  UINT resolved = ResolveCodePage(code_page);
  if (resolved == CP_UTF8)
    return DecodeUtf8(in, size, strict, out);
  Converter* conv = GetConverter(resolved, true);
  if (!conv)
    return Result::kBadCodePage;
  iconv_t cd = conv->get();
  char* src = const_cast<char*>(in);
  size_t src_left = size;
  wchar_t buffer[256];
  while (src_left > 0) {
    char* dst = reinterpret_cast<char*>(buffer);
    size_t dst_left = sizeof(buffer);
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    out->append(buffer, (sizeof(buffer) - dst_left) / sizeof(wchar_t));
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG)
        continue;
      if (strict)
        return Result::kInvalid;
      out->push_back(L'\xFFFD');
      ++src;
      --src_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return Result::kOk;
}

// Converts wide characters to bytes; unmappable characters become the
// default character.
Result Encode(UINT code_page,
              const wchar_t* in,
              size_t size,
              bool strict,
              const std::string& default_char,
              std::string* out,
              bool* used_default) {
  out->clear();
  *used_default = false;
  UINT resolved = ResolveCodePage(code_page);
  if (resolved == CP_UTF8)
    return EncodeUtf8(in, size, strict, out);
  Converter* conv = GetConverter(resolved, false);
  if (!conv)
    return Result::kBadCodePage;
  iconv_t cd = conv->get();
  char* src = reinterpret_cast<char*>(const_cast<wchar_t*>(in));
  size_t src_left = size * sizeof(wchar_t);
  char buffer[1024];
  while (src_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof(buffer);
    size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    out->append(buffer, sizeof(buffer) - dst_left);
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG)
        continue;
      if (strict)
        return Result::kInvalid;
      out->append(default_char);
      *used_default = true;
      src += sizeof(wchar_t);
      src_left -= sizeof(wchar_t);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return Result::kOk;
}

}  // namespace

UINT GetACP() {
  const char* env = std::getenv("TERN_ACP");
  if (env && *env) {
    char* end = nullptr;
    unsigned long value = std::strtoul(env, &end, 10);
    if (end && *end == '\0' && value > 0 && value < 65536 &&
        IsValidCodePage(static_cast<UINT>(value))) {
      return static_cast<UINT>(value);
    }
  }
  return kDefaultAnsiCodePage;
}

UINT GetOEMCP() {
  return GetACP();
}

BOOL IsValidCodePage(UINT code_page) {
  if (code_page == CP_ACP || code_page == CP_OEMCP || code_page == CP_THREAD_ACP)
    return FALSE;
  return GetConverter(code_page, true) != nullptr ? TRUE : FALSE;
}

int MultiByteToWideChar(UINT code_page,
                        DWORD flags,
                        LPCSTR multi_byte,
                        int multi_byte_length,
                        LPWSTR wide,
                        int wide_length) {
  if (!multi_byte || multi_byte_length == 0 || multi_byte_length < -1 || wide_length < 0 ||
      (wide_length > 0 && !wide)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t size = multi_byte_length == -1 ? std::strlen(multi_byte) + 1
                                        : static_cast<size_t>(multi_byte_length);
  std::wstring converted;
  Result r = Decode(code_page, multi_byte, size, (flags & MB_ERR_INVALID_CHARS) != 0, &converted);
  if (r == Result::kBadCodePage) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (r == Result::kInvalid) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (wide_length == 0)
    return static_cast<int>(converted.size());
  if (converted.size() > static_cast<size_t>(wide_length)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(wide, converted.data(), converted.size() * sizeof(wchar_t));
  return static_cast<int>(converted.size());
}

int WideCharToMultiByte(UINT code_page,
                        DWORD flags,
                        LPCWSTR wide,
                        int wide_length,
                        LPSTR multi_byte,
                        int multi_byte_length,
                        LPCSTR default_char,
                        LPBOOL used_default_char) {
  UINT resolved = ResolveCodePage(code_page);
  if (!wide || wide_length == 0 || wide_length < -1 || multi_byte_length < 0 ||
      (multi_byte_length > 0 && !multi_byte) ||
      (resolved == CP_UTF8 && (default_char || used_default_char))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t size = wide_length == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(wide_length);
  std::string replacement = default_char ? std::string(1, *default_char) : std::string("?");
  std::string converted;
  bool used = false;
  bool strict = resolved == CP_UTF8 && (flags & WC_ERR_INVALID_CHARS) != 0;
  Result r = Encode(code_page, wide, size, strict, replacement, &converted, &used);
  if (r == Result::kBadCodePage) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (r == Result::kInvalid) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (used_default_char)
    *used_default_char = used ? TRUE : FALSE;
  if (multi_byte_length == 0)
    return static_cast<int>(converted.size());
  if (converted.size() > static_cast<size_t>(multi_byte_length)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(multi_byte, converted.data(), converted.size());
  return static_cast<int>(converted.size());
}

namespace win32 {

std::wstring MultiByteToWide(std::string_view text, UINT code_page) {
  std::wstring out;
  Decode(code_page, text.data(), text.size(), false, &out);
  return out;
}

std::string WideToMultiByte(std::wstring_view text, UINT code_page) {
  std::string out;
  bool used = false;
  Encode(code_page, text.data(), text.size(), false, "?", &out, &used);
  return out;
}

bool IsValidUtf8(std::string_view text) {
  std::wstring out;
  return Decode(CP_UTF8, text.data(), text.size(), true, &out) == Result::kOk;
}

}  // namespace win32
