#include "duilib/zip_archive.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <cstring>

namespace DuiLib {
namespace {

voidpf ZCALLBACK MemOpen(voidpf opaque, const void*, int) {
  auto* m = static_cast<ZipMemory*>(opaque);
  m->pos = 0;
  return opaque;
}

uLong ZCALLBACK MemRead(voidpf, voidpf stream, void* buf, uLong size) {
  auto* m = static_cast<ZipMemory*>(stream);
  size_t n = std::min<size_t>(size, m->size - m->pos);
  std::memcpy(buf, m->data + m->pos, n);
  m->pos += n;
  return static_cast<uLong>(n);
}

uLong ZCALLBACK MemWrite(voidpf, voidpf, const void*, uLong) {
  return 0;
}

ZPOS64_T ZCALLBACK MemTell(voidpf, voidpf stream) {
  return static_cast<ZipMemory*>(stream)->pos;
}

long ZCALLBACK MemSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* m = static_cast<ZipMemory*>(stream);
  ZPOS64_T base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR)
    base = m->pos;
  else if (origin == ZLIB_FILEFUNC_SEEK_END)
    base = m->size;
  if (base + offset > m->size)
    return -1;
  m->pos = static_cast<size_t>(base + offset);
  return 0;
}

int ZCALLBACK MemClose(voidpf, voidpf) {
  return 0;
}

int ZCALLBACK MemError(voidpf, voidpf) {
  return 0;
}

std::string Lower(std::string s) {
  for (auto& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

CZipArchive::CZipArchive() = default;

CZipArchive::~CZipArchive() {
  Close();
}

bool CZipArchive::Open(const void* data, size_t size) {
  Close();
  if (!data || size == 0)
    return false;
  memory_ = {static_cast<const unsigned char*>(data), size, 0};
  zlib_filefunc64_def funcs = {};
  funcs.zopen64_file = MemOpen;
  funcs.zread_file = MemRead;
  funcs.zwrite_file = MemWrite;
  funcs.ztell64_file = MemTell;
  funcs.zseek64_file = MemSeek;
  funcs.zclose_file = MemClose;
  funcs.zerror_file = MemError;
  funcs.opaque = &memory_;
  unzFile zf = unzOpen2_64("memory", &funcs);
  if (!zf)
    return false;
  handle_ = zf;
  for (int rc = unzGoToFirstFile(zf); rc == UNZ_OK; rc = unzGoToNextFile(zf)) {
    char name[1024];
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(zf, &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK)
      break;
    unz64_file_pos pos;
    if (unzGetFilePos64(zf, &pos) != UNZ_OK)
      break;
    names_.push_back(name);
    index_[name] = {pos.pos_in_zip_directory, pos.num_of_file};
    lower_index_.emplace(Lower(name), name);
  }
  return true;
}

void CZipArchive::Close() {
  if (handle_)
    unzClose(static_cast<unzFile>(handle_));
  handle_ = nullptr;
  names_.clear();
  index_.clear();
  lower_index_.clear();
}

std::vector<std::string> CZipArchive::Names() const {
  return names_;
}

bool CZipArchive::Read(const std::string& name, std::string* out, bool ignore_case) {
  if (!handle_)
    return false;
  auto it = index_.find(name);
  if (it == index_.end() && ignore_case) {
    auto lower = lower_index_.find(Lower(name));
    if (lower != lower_index_.end())
      it = index_.find(lower->second);
  }
  if (it == index_.end())
    return false;
  auto* zf = static_cast<unzFile>(handle_);
  unz64_file_pos pos = {it->second.pos_in_zip_directory, it->second.num_of_file};
  if (unzGoToFilePos64(zf, &pos) != UNZ_OK)
    return false;
  unz_file_info64 info;
  if (unzGetCurrentFileInfo64(zf, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
    return false;
  // Skin entries are small; anything huge is damage, not a skin.
  if (info.uncompressed_size > (256u << 20))
    return false;
  if (unzOpenCurrentFile(zf) != UNZ_OK)
    return false;
  std::string data(static_cast<size_t>(info.uncompressed_size), '\0');
  int got =
      data.empty() ? 0 : unzReadCurrentFile(zf, data.data(), static_cast<unsigned>(data.size()));
  int close_rc = unzCloseCurrentFile(zf);
  if (got < 0 || static_cast<size_t>(got) != data.size() || close_rc == UNZ_CRCERROR)
    return false;
  *out = std::move(data);
  return true;
}

}  // namespace DuiLib
