// libFuzzer target for the skin archive reader: any bytes offered as a ZIP
// either fail to open or give names and entries, each read within bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "duilib/zip_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DuiLib::CZipArchive archive;
  if (!archive.Open(data, size))
    return 0;
  std::vector<std::string> names = archive.Names();
  for (size_t i = 0; i < names.size() && i < 64; ++i) {
    std::string content;
    archive.Read(names[i], &content);
    archive.Read(names[i], &content, true);
  }
  std::string missing;
  if (archive.Read("no such entry.xml", &missing, true) && names.empty())
    abort();
  archive.Close();
  return 0;
}
