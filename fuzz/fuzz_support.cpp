#include "fuzz/fuzz_support.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace zfuzz {

namespace {

struct Folder {
  std::string path;
  Folder() {
    std::string pattern = (std::filesystem::is_directory("/dev/shm")
                               ? std::string("/dev/shm")
                               : std::filesystem::temp_directory_path().string()) +
                          "/zorfuzzXXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

const std::string& ScratchFolder() {
  static Folder folder;
  return folder.path;
}

void WriteFileBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

}  // namespace zfuzz
