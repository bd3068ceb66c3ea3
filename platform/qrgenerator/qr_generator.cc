#include "qrgenerator/qr_generator.h"

#include <errno.h>
#include <fcntl.h>
#include <qrencode.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "win32/code_page.h"

namespace {

constexpr int kQuietZoneModules = 4;

void PutLe16(std::vector<uint8_t>* out, uint16_t value) {
  out->push_back(static_cast<uint8_t>(value & 0xFF));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out->push_back(static_cast<uint8_t>((value >> (8 * i)) & 0xFF));
}

// A square 24-bit bottom-up BMP of |size| pixels; dark(x, y) with y counted
// from the top.
template <typename Dark>
std::vector<uint8_t> Bitmap(int size, Dark dark) {
  uint32_t row_bytes = (static_cast<uint32_t>(size) * 3 + 3) & ~3u;
  uint32_t pixel_bytes = row_bytes * static_cast<uint32_t>(size);
  std::vector<uint8_t> out;
  out.reserve(54 + pixel_bytes);
  out.push_back('B');
  out.push_back('M');
  PutLe32(&out, 54 + pixel_bytes);
  PutLe32(&out, 0);
  PutLe32(&out, 54);
  PutLe32(&out, 40);
  PutLe32(&out, static_cast<uint32_t>(size));
  PutLe32(&out, static_cast<uint32_t>(size));
  PutLe16(&out, 1);
  PutLe16(&out, 24);
  PutLe32(&out, 0);  // no compression
  PutLe32(&out, pixel_bytes);
  PutLe32(&out, 2835);  // 72 dpi
  PutLe32(&out, 2835);
  PutLe32(&out, 0);
  PutLe32(&out, 0);
  for (int row = size - 1; row >= 0; --row) {
    size_t start = out.size();
    for (int x = 0; x < size; ++x) {
      uint8_t value = dark(x, row) ? 0x00 : 0xFF;
      out.insert(out.end(), {value, value, value});
    }
    out.resize(start + row_bytes, 0);
  }
  return out;
}

// Replaces |path| with |data| through a temporary file beside it.
bool WriteAtomically(const std::string& path, const std::vector<uint8_t>& data) {
  std::string temporary = path + ".XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0)
    return false;
  fchmod(fd, 0644);
  size_t written = 0;
  bool ok = true;
  while (ok && written < data.size()) {
    ssize_t n = write(fd, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR)
      continue;
    ok = n > 0;
    if (ok)
      written += static_cast<size_t>(n);
  }
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok && rename(name.data(), path.c_str()) == 0)
    return true;
  unlink(name.data());
  return false;
}

}  // namespace

bool QRGenerator(const char* text, const char* path) {
  if (!path || !*path)
    return false;
  std::string file = win32::WideToUtf8(win32::AnsiToWide(path));
  for (char& c : file) {
    if (c == '\\')
      c = '/';
  }
  std::string utf8 = text ? win32::WideToUtf8(win32::AnsiToWide(text)) : std::string();
  QRcode* code = utf8.empty() ? nullptr : QRcode_encodeString8bit(utf8.c_str(), 0, QR_ECLEVEL_M);
  if (!code) {
    // Nothing to show: a blank image, so no earlier code stays on screen.
    WriteAtomically(file, Bitmap(kQrMinimumPixels, [](int, int) { return false; }));
    return false;
  }
  int modules = code->width + 2 * kQuietZoneModules;
  int scale = (kQrMinimumPixels + modules - 1) / modules;
  int size = modules * scale;
  std::vector<uint8_t> bitmap = Bitmap(size, [&](int x, int y) {
    int mx = x / scale - kQuietZoneModules;
    int my = y / scale - kQuietZoneModules;
    if (mx < 0 || my < 0 || mx >= code->width || my >= code->width)
      return false;
    return (code->data[my * code->width + mx] & 1) != 0;
  });
  QRcode_free(code);
  return WriteAtomically(file, bitmap);
}
